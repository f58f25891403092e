// The analyzer's measurement without its window: a mono stream goes into a filter bank with one
// bin per band, and every 80 ms of stream time the 128 band levels are read out, optionally
// passed through the bar graph's rise, decay and peak rules, and written as one row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/bandtable.h"
#include "core/level_tracker.h"
#include "filterbank/utonebank.h"
#include "meter/level_writers.h"
#include "core/input_routing.h"

namespace spectrino {

struct MeterSettings {
    int32_t windowType = 0;              // the Windowing codes 0 .. 5
    int32_t inputMode = kLeftPlusRight;  // the Input Mode codes 1 .. 4
    // Set: report what the bar graph shows (displayed levels and peaks) instead of raw levels.
    std::optional<TPeakDisplay> peakDisplay;
    TDecaySpeed decaySpeed = TDecaySpeed::dsSlow;
};

class BandMeter {
public:
    static constexpr uint32_t kRefreshMs = 80;

    // Raises Exception when the filter bank cannot be made.
    BandMeter(uint32_t sampleRate, const MeterSettings& settings, LevelWriter& writer);

    // Writes the header row.
    void Start();
    // Two channels of `count` frames, combined by the input mode.
    void AddChannels(const float* left, const float* right, size_t count);
    // Interleaved 16-bit stereo frames as a capture device delivers them.
    void AddWaveFrames(const int16_t* frames, size_t count);
    void Finish() { writer_.Flush(); }

    uint64_t Frames() const { return frames_; }
    uint64_t Rows() const { return rows_; }
    const BandTable& Bands() const { return bands_; }

private:
    // Feeds mono samples, emitting a row at every refresh boundary they cross.
    void AddMono(const float* samples, size_t count);
    void EmitRow();

    const MeterSettings settings_;
    const uint32_t samplesPerRefresh_;
    const BandTable bands_;
    LevelWriter& writer_;
    std::unique_ptr<TGoertzel> bank_;
    std::optional<LevelTracker> tracker_;
    std::vector<float> mono_;
    uint64_t frames_ = 0;
    uint64_t rows_ = 0;
    uint32_t sinceRefresh_ = 0;
    TSpectArray levels_{};
};

}  // namespace spectrino
