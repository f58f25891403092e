// The 32 nominal third-octave bands 16 Hz .. 20 kHz as groups of the 128 semitone bands.
#pragma once

#include "core/bandtable.h"

namespace spectrino {

inline constexpr int kThirdOctaveCount = kSeparatorCount;

struct BandRange {
    int first = 0;
    int last = 0;  // inclusive
};

// The semitone bands that make third octave `index` (0 is 16 Hz): each third octave spans two
// semitones either side of its nominal frequency. Below 48000 Hz that is bands 4n .. 4n+3; from
// 48000 Hz the band table lies a semitone higher, so it is bands 4n-1 .. 4n+2, 16 Hz has only
// bands 0 .. 2 and band 127 belongs to none.
BandRange ThirdOctaveBands(float rate, int index);

}  // namespace spectrino
