// The command line of spectrino-meter.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "meter/band_meter.h"
#include "meter/level_writers.h"

namespace spectrino {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class MeterMode : uint8_t { File, Capture, Bands, ListDevices, Help };

struct MeterOptions {
    MeterMode mode = MeterMode::Help;
    std::string file;
    std::string device = "WaveMapper";
    uint32_t rate = 44100;           // capture and band table; a file brings its own
    std::optional<double> duration;  // seconds of stream time to capture
    OutputFormat format = OutputFormat::Csv;
    MeterSettings settings;
};

// Raises UsageError for unknown options, missing or bad values and conflicting inputs.
MeterOptions ParseMeterOptions(const std::vector<std::string>& args);

extern const char* const kMeterUsage;

}  // namespace spectrino
