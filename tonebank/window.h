// Window tables for the filter bank's bins, and the same windows as formulas the recurrence
// generates as it runs, so that no bin has to keep a table.
#pragma once

#include <cstdint>

namespace tonebank {

// Returns a newly allocated table of n doubles shaped by the window code (codes without a
// shape of their own give the rectangular window), or null when memory runs out. The caller
// frees it with window_free.
double* window_create(int32_t code, uint32_t n);
void window_free(double* table);

// Entry i of a window of one of three forms:
//   kOnes:     1.0
//   kCosine:   a0 + a1 c + a2 c^2 + a3 c^3 with c = cos((i + offset) step); every sum of up to
//              four cosine harmonics is such a cubic of the first one
//   kGaussian: exp(g (2i - m)^2)
struct WindowShape {
    enum class Kind { kOnes, kCosine, kGaussian };
    Kind kind = Kind::kOnes;
    double a[4] = {1.0, 0.0, 0.0, 0.0};
    double offset = 0.0;
    double step = 0.0;
    double g = 0.0;
    double m = 0.0;
};

// The shape of window_create(code, n), entry for entry.
WindowShape window_shape(int32_t code, uint32_t n);

}  // namespace tonebank
