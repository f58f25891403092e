// Frequency weightings A and C of sound level meters, and Z (none).
#pragma once

#include <cstdint>

namespace spectrino {

enum class FrequencyWeighting : uint8_t { Z, A, C };

// The weighting's gain in dB at `hz` (> 0), from its analytic definition: poles at 20.6 Hz and
// 12194 Hz (both weightings) and 107.7 Hz and 737.9 Hz (A only), normalised to 0 dB at 1 kHz.
double WeightingDb(FrequencyWeighting weighting, double hz);

// 'Z', 'A' or 'C'.
char WeightingLetter(FrequencyWeighting weighting);

}  // namespace spectrino
