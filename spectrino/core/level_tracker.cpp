#include "core/level_tracker.h"

#include <algorithm>
#include <limits>

#include "core/bandlevel.h"

namespace spectrino {
namespace {

int32_t SaturatedSub(int32_t value, int32_t step) {
    return static_cast<int32_t>(
        std::max<int64_t>(static_cast<int64_t>(value) - step, std::numeric_limits<int32_t>::min()));
}

// Thresholds come from the settings file unchecked; in 64 bits any of them compares sanely.
int64_t Hundredths(int threshold) {
    return int64_t{threshold} * 100;
}

}  // namespace

int32_t DecayStep(TDecaySpeed speed) {
    switch (speed) {
        case TDecaySpeed::dsMedium:
            return 400;
        case TDecaySpeed::dsFast:
            return 800;
        case TDecaySpeed::dsSlow:
            break;
    }
    return 200;
}

LevelTracker::LevelTracker() {
    ResetLevels();
}

void LevelTracker::ResetLevels() {
    levels_.fill(kFloorLevel);
    peaks_.fill(kFloorLevel);
}

LevelTracker::BandUpdate LevelTracker::UpdateBand(int band, int32_t value, bool force) {
    const auto i = static_cast<size_t>(band);
    BandUpdate update;
    if (force || value != levels_[i]) {
        update.Old = kFloorLevel;
        if (!force) {
            update.Old = levels_[i];
            levels_[i] = value > levels_[i]
                             ? value
                             : std::max(value, SaturatedSub(levels_[i], DecayStep(decaySpeed_)));
        }
        if (levels_[i] > peaks_[i]) {
            peaks_[i] = levels_[i];
            peakZones_[i] = peaks_[i] >= Hundredths(highTreshhold_)  ? 2
                            : peaks_[i] >= Hundredths(midTreshhold_) ? 1
                                                                     : 0;
        }
        update.Drawn = true;
    }
    if (peakDisplay_ == TPeakDisplay::pdDecay) {
        update.OldPeak = update.Drawn ? kNoPeakErase : peaks_[i];
        peaks_[i] = std::max(SaturatedSub(peaks_[i], kPeakDecayStep), levels_[i]);
    }
    return update;
}

void LevelTracker::Update(const TSpectArray& values, bool force) {
    for (int i = 0; i < kBandCount; ++i) {
        UpdateBand(i, values[static_cast<size_t>(i)], force);
    }
}

}  // namespace spectrino
