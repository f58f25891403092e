// Tone-to-bar latency, for measuring: with SPECTRINO_LATENCY_PROBE set, the first block of
// samples that carries a tone and the first refresh that raises a bar each write one line to
// the debugger output with the time on the monotonic clock, which other programs on the
// machine share. Without it both calls cost one test.
#pragma once

#include <cstdint>

namespace spectrino::latency_probe {

bool Enabled();
// A block handed to the filter bank.
void SamplesArrived(const float* samples, int32_t count);
// The levels a refresh has drawn, in hundredths of a decibel.
void LevelsDrawn(const int32_t* levels, int count);

}  // namespace spectrino::latency_probe
