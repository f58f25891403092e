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

void free_bin(goertzel_bin* bin) {
    if (bin != nullptr) {
        tonebank::window_free(bin->window);
        std::free(bin);
    }
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
    std::memset(bank->bins, 0, sizeof(bank->bins));
    bank->history = static_cast<float*>(std::malloc(sizeof(float) * size_t{sample_rate}));
    if (bank->history == nullptr) {
        delete bank;
        return nullptr;
    }
    return bank;
}

TONEBANK_API void goertzel_destroy(goertzel_bank* bank) {
    for (uint32_t i = 0; i < bank->bin_count; ++i) {
        free_bin(bank->bins[i]);
    }
    std::free(bank->history);
    delete bank;
}

TONEBANK_API int32_t goertzel_addbin(goertzel_bank* bank, double frequency, double bandwidth) {
    int32_t window_type = 0;
    {
        std::lock_guard guard(bank->lock);
        if (bank->bin_count >= tonebank::kMaxBins) {
            return -1;
        }
        window_type = bank->window_type;
    }
    // The bin and its table are made outside the lock: a long table would otherwise hold up
    // the feed.
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
        bin->window = tonebank::window_create(window_type, bin->block_length);
        if (bin->window == nullptr) {
            std::free(bin);
            return -3;
        }
    }

    std::lock_guard guard(bank->lock);
    if (bank->bin_count >= tonebank::kMaxBins) {
        free_bin(bin);
        return -1;
    }
    // The window may have changed while the table was made.
    if (!bin->inactive && bank->window_type != window_type) {
        double* table = tonebank::window_create(bank->window_type, bin->block_length);
        if (table == nullptr) {
            free_bin(bin);
            return -3;
        }
        tonebank::window_free(bin->window);
        bin->window = table;
    }
    const uint32_t index = bank->bin_count;
    bank->bins[index] = bin;
    bank->bin_count = index + 1;
    return static_cast<int32_t>(index);
}

TONEBANK_API void goertzel_setwindowing(goertzel_bank* bank, int32_t window_type) {
    std::lock_guard guard(bank->lock);
    if (window_type == bank->window_type) {
        return;
    }
    // Make every new table before replacing any, so that a bin never runs without one: if
    // memory runs out the bank keeps its old window.
    double* tables[tonebank::kMaxBins] = {};
    for (uint32_t i = 0; i < bank->bin_count; ++i) {
        const goertzel_bin* bin = bank->bins[i];
        if (bin->inactive) {
            continue;
        }
        tables[i] = tonebank::window_create(window_type, bin->block_length);
        if (tables[i] == nullptr) {
            for (uint32_t j = 0; j < i; ++j) {
                tonebank::window_free(tables[j]);
            }
            return;
        }
    }
    bank->window_type = window_type;
    for (uint32_t i = 0; i < bank->bin_count; ++i) {
        goertzel_bin* bin = bank->bins[i];
        if (!bin->inactive) {
            tonebank::window_free(bin->window);
            bin->window = tables[i];
        }
    }
}

TONEBANK_API void goertzel_addsamples(goertzel_bank* bank, const float* samples, uint32_t count) {
    std::lock_guard guard(bank->lock);
    const uint32_t capacity = bank->capacity;
    if (count >= capacity) {
        std::memcpy(bank->history, samples + (count - capacity), sizeof(float) * capacity);
        bank->fill = capacity;
    } else if (bank->fill + count <= capacity) {
        std::memcpy(bank->history + bank->fill, samples, sizeof(float) * count);
        bank->fill += count;
    } else {
        const uint32_t drop = bank->fill + count - capacity;
        std::memmove(bank->history, bank->history + drop, sizeof(float) * (bank->fill - drop));
        std::memcpy(bank->history + (capacity - count), samples, sizeof(float) * count);
        bank->fill = capacity;
    }
}

TONEBANK_API double goertzel_getresult(goertzel_bank* bank, uint32_t index) {
    double coefficient = 0.0;
    uint32_t block_length = 0;
    double power = 0.0;
    {
        std::lock_guard guard(bank->lock);
        if (index >= bank->bin_count || bank->bins[index]->inactive) {
            return 0.0;
        }
        const goertzel_bin* bin = bank->bins[index];
        coefficient = bin->coefficient;
        block_length = bin->block_length;
        // The block is the newest `n` samples; a short history uses the first window entries.
        uint32_t n = bank->fill;
        uint32_t start = 0;
        if (n > block_length) {
            start = n - block_length;
            n = block_length;
        }
        power = tonebank::goertzel_block_power(bank->history + start, bin->window, n, coefficient);
    }
    const double n = static_cast<double>(block_length);
    return power / (n * n);
}

TONEBANK_API void goertzel_flush(goertzel_bank* bank) {
    std::lock_guard guard(bank->lock);
    bank->fill = 0;
}

}  // extern "C"
