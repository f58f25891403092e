// What the bar graph shows of a stream of band levels: bars that rise at once and fall at a
// limited speed, and peak markers that hold or decay slowly. Plain arithmetic, no drawing.
#pragma once

#include <array>
#include <cstdint>

#include "core/bandtable.h"

namespace spectrino {

// Band levels in hundredths of a decibel, index 0 the lowest band.
using TSpectArray = std::array<int32_t, kBandCount>;

enum class TPeakDisplay : uint8_t { pdHold, pdDecay };
enum class TDecaySpeed : uint8_t { dsSlow, dsMedium, dsFast };

// Hundredths of a decibel a falling bar may drop per update: 2, 4 or 8 dB.
int32_t DecayStep(TDecaySpeed speed);

class LevelTracker {
public:
    // Marker level that means "no old marker to erase".
    static constexpr int32_t kNoPeakErase = 0xFFFF;
    static constexpr int32_t kPeakDecayStep = 20;  // 0.2 dB per update

    // What one band's update changed, for whoever draws it.
    struct BandUpdate {
        bool Drawn = false;              // the bar must be redrawn
        int32_t Old = 0;                 // the level the bar stood at before
        int32_t OldPeak = kNoPeakErase;  // the marker to erase, or kNoPeakErase
    };

    LevelTracker();

    TPeakDisplay PeakDisplay() const { return peakDisplay_; }
    void SetPeakDisplay(TPeakDisplay value) { peakDisplay_ = value; }
    TDecaySpeed DecaySpeed() const { return decaySpeed_; }
    void SetDecaySpeed(TDecaySpeed value) { decaySpeed_ = value; }
    // Colour-zone thresholds in whole decibels; they decide a peak's zone when it is lifted.
    int HighTreshhold() const { return highTreshhold_; }
    void SetHighTreshhold(int value) { highTreshhold_ = value; }
    int MidTreshhold() const { return midTreshhold_; }
    void SetMidTreshhold(int value) { midTreshhold_ = value; }

    // Every level and peak back to the floor; the zones stay.
    void ResetLevels();
    // One band: a new level rises at once or falls by at most the decay step, then the peak
    // follows. A forced update leaves the level alone and only asks for a redraw.
    BandUpdate UpdateBand(int band, int32_t value, bool force);
    // All bands in order.
    void Update(const TSpectArray& values, bool force);

    const TSpectArray& Levels() const { return levels_; }
    const TSpectArray& Peaks() const { return peaks_; }
    const TSpectArray& PeakZones() const { return peakZones_; }

private:
    TPeakDisplay peakDisplay_ = TPeakDisplay::pdDecay;
    TDecaySpeed decaySpeed_ = TDecaySpeed::dsSlow;
    int highTreshhold_ = -10;
    int midTreshhold_ = -20;
    TSpectArray levels_{};
    TSpectArray peaks_{};
    TSpectArray peakZones_{};
};

}  // namespace spectrino
