// The analyzer's measurement without its window: a mono stream goes into a filter bank with one
// bin per band, and every 80 ms of stream time the 128 band results are read out and handed to
// whatever makes rows of them: the levels as the analyzer or its bar graph shows them,
// weighted and time-weighted measurements, or a calibration.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/bandtable.h"
#include "core/input_routing.h"
#include "core/level_tracker.h"
#include "filterbank/utonebank.h"
#include "meter/level_writers.h"
#include "meter/time_weighting.h"
#include "meter/weighting.h"

namespace spectrino {

struct MeterSettings {
    int32_t windowType = 0;              // the Windowing codes 0 .. 5
    int32_t inputMode = kLeftPlusRight;  // the Input Mode codes 1 .. 4
    // Set: report what the bar graph shows (displayed levels and peaks) instead of raw levels.
    std::optional<TPeakDisplay> peakDisplay;
    TDecaySpeed decaySpeed = TDecaySpeed::dsSlow;

    // Measurement; any of these set makes the rows name what they hold.
    std::optional<FrequencyWeighting> weighting;
    std::optional<TimeWeighting> timeWeighting;
    std::optional<int32_t> offset;  // hundredths of a dB added to every level
    bool summary = false;           // one row of Leq, Lmax and Lmin at the end instead
    bool thirdOctaves = false;      // 32 third-octave columns instead of 128 bands
    // Set: report the offset that makes the input's tone read this level (hundredths of a dB).
    std::optional<int32_t> calibrate;

    bool Measuring() const {
        return weighting || timeWeighting || offset || summary || thirdOctaves;
    }
};

using BandResults = std::array<double, kBandCount>;

// Makes rows of the band results, one call per 80 ms of stream time.
class RowConsumer {
public:
    virtual ~RowConsumer() = default;
    virtual void Start() = 0;
    virtual void Row(double seconds, const BandResults& results) = 0;
    // `inputClipped`: a sample reached full scale (only watched while calibrating).
    virtual void Finish(bool inputClipped) = 0;
};

class BandMeter {
public:
    static constexpr uint32_t kRefreshMs = 80;

    // Raises Exception when the filter bank cannot be made.
    BandMeter(uint32_t sampleRate, const MeterSettings& settings, LevelWriter& writer);
    ~BandMeter();

    // Writes the header row.
    void Start();
    // Two channels of `count` frames, combined by the input mode.
    void AddChannels(const float* left, const float* right, size_t count);
    // Interleaved 16-bit stereo frames as a capture device delivers them.
    void AddWaveFrames(const int16_t* frames, size_t count);
    // Writes what comes at the end and flushes; raises Exception when a calibration fails.
    void Finish();

    uint64_t Frames() const { return frames_; }
    uint64_t Rows() const { return rows_; }
    const BandTable& Bands() const { return bands_; }

private:
    // Feeds mono samples, emitting a row at every refresh boundary they cross.
    void AddMono(const float* samples, size_t count);
    void EmitRow();
    bool UsesLeft() const { return settings_.inputMode != kRightOnly; }
    bool UsesRight() const { return settings_.inputMode != kLeftOnly; }

    const MeterSettings settings_;
    const uint32_t samplesPerRefresh_;
    const BandTable bands_;
    LevelWriter& writer_;
    std::unique_ptr<TGoertzel> bank_;
    std::unique_ptr<RowConsumer> consumer_;
    std::vector<float> mono_;
    uint64_t frames_ = 0;
    uint64_t rows_ = 0;
    uint32_t sinceRefresh_ = 0;
    bool clipped_ = false;
    BandResults results_{};
};

}  // namespace spectrino
