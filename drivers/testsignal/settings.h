// What the test-signal driver offers, read from its registry key when a driver object is made
// (and again when its control panel is asked for).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/com.h"

namespace spectrino::testsignal {

// {8D2E6A51-3F7C-4E19-B6A2-5C1D9E0F7A34}
inline constexpr platform::CLSID kClassId{
    0x8D2E6A51, 0x3F7C, 0x4E19, {0xB6, 0xA2, 0x5C, 0x1D, 0x9E, 0x0F, 0x7A, 0x34}};

inline constexpr const char* kDriverName = "Spectrino Test Signal";
// Settings of the registered class, below HKEY_LOCAL_MACHINE. Further classes served by the
// same file keep theirs in a subkey named after their class id (brace form).
inline constexpr const char* kSettingsKey = "software\\Spectrino\\Test Signal";

enum class Waveform { Sine, Noise, Silence, Loopback };

struct Tone {
    Waveform waveform = Waveform::Sine;
    double frequency = 1000.0;  // Hz
    double level = -20.0;       // dB relative to full scale (peak)
};

struct Settings {
    int32_t inputs = 2;
    int32_t outputs = 2;
    int32_t bufferMinimum = 64;
    int32_t bufferMaximum = 8192;
    int32_t bufferPreferred = 512;
    int32_t bufferGranularity = -1;  // -1: powers of two
    int32_t sampleType = 19;         // ASIOSTFloat32LSB
    std::vector<double> sampleRates{44100.0, 48000.0};
    double sampleRate = 44100.0;
    std::vector<Tone> tones;              // one per input channel
    std::optional<int32_t> inputLatency;  // default: the buffer size
    std::optional<int32_t> outputLatency;
    bool timeInfo = true;  // use bufferSwitchTimeInfo when the host supports it
    bool initFails = false;
    bool createBuffersFails = false;
    bool startFails = false;
    int32_t startThrows = 0;  // how many calls of start raise an exception before one works
    int32_t version = 1;

    bool SupportsRate(double rate) const;
    // Whether `size` is one of the buffer sizes offered.
    bool SupportsBufferSize(int32_t size) const;
};

// The settings key of `clsid`, or nullopt when this file does not serve that class.
std::optional<std::string> SettingsKeyFor(const platform::CLSID& clsid);

// Reads the settings below `key`; missing or unreadable values keep their defaults.
Settings ReadSettings(const std::string& key);

}  // namespace spectrino::testsignal
