// Window tables for the filter bank's bins.
#pragma once

#include <cstdint>

namespace tonebank {

// Returns a newly allocated table of n doubles shaped by the window code (codes without a
// shape of their own give the rectangular window), or null when memory runs out. The caller
// frees it with window_free.
double* window_create(int32_t code, uint32_t n);
void window_free(double* table);

}  // namespace tonebank
