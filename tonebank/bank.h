// The filter bank's records. Internal to the library; tests look inside through this header.
#pragma once

#include <cstdint>
#include <mutex>

#include "tonebank.h"

namespace tonebank {

constexpr uint32_t kMaxBins = 1024;

struct goertzel_bin {
    double frequency;    // centre as requested, Hz
    double bandwidth;    // after clamping, Hz
    double coefficient;  // 2 cos(omega)
    uint32_t block_length;
    int32_t inactive;
    // The last power computed and the bank's generation it belongs to (0: none yet).
    uint64_t cached_generation;
    double cached_power;
};

}  // namespace tonebank

struct goertzel_bank {
    uint32_t sample_rate;
    uint32_t capacity;
    uint32_t fill;
    // The newest `fill` samples, oldest first, kept in one run inside `storage` (twice the
    // capacity): new samples go after them, and only when the end of the storage is reached
    // are the ones still needed moved back to its start, once per capacity fed.
    float* history;
    float* storage;
    std::recursive_mutex lock;
    uint32_t bin_count;
    int32_t window_type;
    // Counts the changes that can change a result (feeding, flushing, another window), so a
    // result asked for again while nothing changed comes from the bin's cache. Starts at 1.
    uint64_t generation;
    tonebank::goertzel_bin* bins[tonebank::kMaxBins];
};
