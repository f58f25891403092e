// The 128 analysis bands: four semitone-wide bands around each third-octave frequency from
// 16 Hz to 20 kHz.
#pragma once

#include <array>

namespace spectrino {

inline constexpr int kBandCount = 128;
inline constexpr int kSeparatorCount = 32;

// Nominal third-octave centre frequencies (ISO 266), also where the separator lines stand.
inline constexpr std::array<float, kSeparatorCount> SeperatorFrequencies = {
    16,   20,   25,   31.5f, 40,   50,   63,    80,    100,   125,  160,
    200,  250,  315,  400,   500,  630,  800,   1000,  1250,  1600, 2000,
    2500, 3150, 4000, 5000,  6300, 8000, 10000, 12500, 16000, 20000};

struct BandTable {
    std::array<float, kBandCount> BandCentres{};
    std::array<float, kBandCount> BandWidths{};

    void GetBand(int index, float& centre, float& width) const {
        centre = BandCentres[index];
        width = BandWidths[index];
    }
};

// From 48000 Hz up every band lies one semitone higher than below it, so the top band still
// fits under half the sample rate.
BandTable ComputeBands(float rate);

}  // namespace spectrino
