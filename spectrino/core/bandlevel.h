// Conversion of a filter-bank result into a level in hundredths of a decibel.
#pragma once

#include <cstdint>

namespace spectrino {

// The level of silence, of a missing filter bank and of results too small to measure.
inline constexpr int32_t kFloorLevel = -14400;

// 1000 log10(r / 0.04), rounded down (r = 0.04 is 0 dB); kFloorLevel when r / 0.04 <= 1e-9.
int32_t BandLevel(double result);

}  // namespace spectrino
