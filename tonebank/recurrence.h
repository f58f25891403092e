// The Goertzel recurrence s[j] = x[j] w[j] + c s[j-1] - s[j-2] over one block.
#pragma once

#include <cstdint>

#include "window.h"

namespace tonebank {

struct GoertzelState {
    double s1;  // last state value
    double s2;  // the one before it
};

// s1^2 + s2^2 - c s1 s2 of the recurrence run from a zero state over x[0..n) weighted by
// w[0..n): the squared magnitude of the weighted block's transform at the tuned frequency.
// Long blocks are split into independent chains that are joined afterwards, so the processor
// is not held up by one serial dependency; results match the plain loop to within rounding.
double goertzel_block_power(const float* x, const double* w, uint32_t n, double c);

// The same with the window w[0..n) generated from its shape while the recurrence runs: no table
// is read, so a whole refresh works from the history alone, which stays in the cache.
double goertzel_block_power(const float* x, const WindowShape& w, uint32_t n, double c);

// The plain serial loop, used for short blocks.
GoertzelState goertzel_run_serial(const float* x, const double* w, uint32_t n, double c);

// Power of the final state: (s1^2 + s2^2 - c s1 s2).
inline double goertzel_power(GoertzelState s, double c) {
    return s.s1 * s.s1 + s.s2 * s.s2 - c * s.s1 * s.s2;
}

}  // namespace tonebank
