// Finds the offset from the meter's levels to sound pressure levels: the input holds a
// calibrator's steady tone of a known level, and the offset is what makes its band read that.
#pragma once

#include <vector>

#include "meter/band_meter.h"

namespace spectrino {

class Calibration : public RowConsumer {
public:
    // The rows of the first second are left out: the longest bands need that long to fill.
    static constexpr double kSettleSeconds = 1.0;
    static constexpr uint64_t kMinimumRows = 10;
    // Against the tone's band, the bands beyond its two neighbours either side must stay this
    // far down, each and all together; an unwindowed bank leaks a pure tone into them at about
    // -16 and -9 dB at worst. The tone's band must stay within kSteadyDb of its mean.
    static constexpr double kMaximumOtherDb = -10.0;
    static constexpr double kMaximumRestDb = -3.0;
    static constexpr double kSteadyDb = 1.0;

    // `level`: what the tone is, in hundredths of a dB.
    Calibration(const BandTable& bands, int32_t level, LevelWriter& writer);

    void Start() override {}
    void Row(double seconds, const BandResults& results) override;
    // Writes the offset in hundredths of a dB; raises Exception with the reason when the input
    // is clipped, too short, silent, not one tone or not steady.
    void Finish(bool inputClipped) override;

private:
    const BandTable& bands_;
    const int32_t level_;
    LevelWriter& writer_;
    BandResults sum_{};
    BandResults max_{};
    BandResults min_{};
    uint64_t rows_ = 0;
};

}  // namespace spectrino
