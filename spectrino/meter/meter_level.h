// Filter-bank results as the meter's levels.
#pragma once

#include <cstdint>

namespace spectrino {

// Hundredths of a decibel of a result, rounded as the analyzer rounds (-144.00 for silence).
// Unlike the analyzer's conversion it does not narrow huge results to single precision, so
// samples far beyond full scale read as loud as they are.
int32_t MeterLevel(double result);

}  // namespace spectrino
