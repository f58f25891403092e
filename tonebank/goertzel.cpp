#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "bank.h"
#include "recurrence.h"
#include "window.h"

using tonebank::goertzel_bin;

namespace {

constexpr double kTwoPi = 6.283185307179586;

// The bin's filter over the newest block of the history; under the bank's lock.
double BlockPower(const goertzel_bank& bank, const goertzel_bin& bin) {
    // The block is the newest `n` samples; a short history uses the first window entries.
    uint32_t n = bank.fill;
    uint32_t start = 0;
    if (n > bin.block_length) {
        start = n - bin.block_length;
        n = bin.block_length;
    }
    return tonebank::goertzel_block_power(
        bank.history + start, tonebank::window_shape(bank.window_type, bin.block_length), n,
        bin.coefficient);
}

}  // namespace

extern "C" {

TONEBANK_API goertzel_bank* goertzel_create(uint32_t sample_rate) {
    // Below 2 Hz half the rate is 0 and every block would be empty.
    if (sample_rate < 2) {
        return nullptr;
    }
    auto* bank = new (std::nothrow) goertzel_bank;
    if (bank == nullptr) {
        return nullptr;
    }
    bank->sample_rate = sample_rate;
    bank->capacity = sample_rate;
    bank->fill = 0;
    bank->bin_count = 0;
    bank->window_type = 0;
    bank->generation = 1;
    std::memset(bank->bins, 0, sizeof(bank->bins));
    bank->storage = static_cast<float*>(std::malloc(sizeof(float) * 2 * size_t{sample_rate}));
    if (bank->storage == nullptr) {
        delete bank;
        return nullptr;
    }
    bank->history = bank->storage;
    return bank;
}

TONEBANK_API void goertzel_destroy(goertzel_bank* bank) {
    for (uint32_t i = 0; i < bank->bin_count; ++i) {
        std::free(bank->bins[i]);
    }
    std::free(bank->storage);
    delete bank;
}

TONEBANK_API int32_t goertzel_addbin(goertzel_bank* bank, double frequency, double bandwidth) {
    // The window is not kept per bin: the recurrence makes it from the bank's window code and
    // the bin's length as it runs.
    auto* bin = static_cast<goertzel_bin*>(std::calloc(1, sizeof(goertzel_bin)));
    if (bin == nullptr) {
        return -2;
    }
    const double half = static_cast<double>(bank->sample_rate / 2);
    // A frequency that is not a number cannot be measured either.
    if (!(frequency <= half)) {
        bin->inactive = 1;
    } else {
        const double rate = static_cast<double>(bank->sample_rate);
        // Written so that a bandwidth that is not a number takes the narrowest band.
        if (!(bandwidth >= 1.0)) {
            bandwidth = 1.0;
        } else if (bandwidth > half) {
            bandwidth = half;
        }
        const double nf = rate / bandwidth;
        const double k = std::trunc(frequency * nf / rate + 0.5);
        bin->coefficient = 2.0 * std::cos(kTwoPi * k / nf);
        bin->block_length = static_cast<uint32_t>(nf + 0.5);
        bin->frequency = frequency;
        bin->bandwidth = bandwidth;
    }
    std::lock_guard guard(bank->lock);
    if (bank->bin_count >= tonebank::kMaxBins) {
        std::free(bin);
        return -1;
    }
    const uint32_t index = bank->bin_count;
    bank->bins[index] = bin;
    bank->bin_count = index + 1;
    return static_cast<int32_t>(index);
}

TONEBANK_API void goertzel_setwindowing(goertzel_bank* bank, int32_t window_type) {
    std::lock_guard guard(bank->lock);
    if (bank->window_type != window_type) {
        bank->window_type = window_type;
        ++bank->generation;
    }
}

TONEBANK_API void goertzel_addsamples(goertzel_bank* bank, const float* samples, uint32_t count) {
    std::lock_guard guard(bank->lock);
    if (count == 0) {
        return;
    }
    ++bank->generation;
    const uint32_t capacity = bank->capacity;
    if (count >= capacity) {
        std::memcpy(bank->storage, samples + (count - capacity), sizeof(float) * capacity);
        bank->history = bank->storage;
        bank->fill = capacity;
        return;
    }
    const size_t used = static_cast<size_t>(bank->history - bank->storage) + bank->fill;
    if (used + count > 2 * size_t{capacity}) {
        // Out of room at the end: the samples that stay move back to the start.
        const uint32_t keep = std::min(bank->fill, capacity - count);
        std::memmove(bank->storage, bank->history + (bank->fill - keep), sizeof(float) * keep);
        bank->history = bank->storage;
        bank->fill = keep;
    }
    std::memcpy(bank->history + bank->fill, samples, sizeof(float) * count);
    bank->fill += count;
    if (bank->fill > capacity) {
        bank->history += bank->fill - capacity;
        bank->fill = capacity;
    }
}

TONEBANK_API double goertzel_getresult(goertzel_bank* bank, uint32_t index) {
    uint32_t block_length = 0;
    double power = 0.0;
    {
        std::lock_guard guard(bank->lock);
        if (index >= bank->bin_count || bank->bins[index]->inactive) {
            return 0.0;
        }
        goertzel_bin* bin = bank->bins[index];
        block_length = bin->block_length;
        if (bin->cached_generation == bank->generation) {
            power = bin->cached_power;
        } else {
            power = BlockPower(*bank, *bin);
            bin->cached_power = power;
            bin->cached_generation = bank->generation;
        }
    }
    const double n = static_cast<double>(block_length);
    return power / (n * n);
}
TONEBANK_API void goertzel_flush(goertzel_bank* bank) {
    std::lock_guard guard(bank->lock);
    bank->fill = 0;
    ++bank->generation;
}

}  // extern "C"
