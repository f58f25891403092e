#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

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

// Window tables by bin index, owned until they are handed to the bins.
class TableSet {
public:
    TableSet() = default;
    ~TableSet() {
        for (double* table : tables_) {
            tonebank::window_free(table);
        }
    }
    TableSet(const TableSet&) = delete;
    TableSet& operator=(const TableSet&) = delete;

    double*& operator[](uint32_t index) { return tables_[index]; }

private:
    std::array<double*, tonebank::kMaxBins> tables_{};
};

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

    // Append under the lock. Should the window have changed while the table was made, make it
    // again outside the lock and retry, so that no table is ever made while a feed waits.
    for (;;) {
        bool full = false;
        {
            std::lock_guard guard(bank->lock);
            full = bank->bin_count >= tonebank::kMaxBins;
            if (!full && (bin->inactive || bank->window_type == window_type)) {
                const uint32_t index = bank->bin_count;
                bank->bins[index] = bin;
                bank->bin_count = index + 1;
                return static_cast<int32_t>(index);
            }
            window_type = bank->window_type;
        }
        if (full) {
            free_bin(bin);
            return -1;
        }
        double* table = tonebank::window_create(window_type, bin->block_length);
        if (table == nullptr) {
            free_bin(bin);
            return -3;
        }
        tonebank::window_free(bin->window);
        bin->window = table;
    }
}

TONEBANK_API void goertzel_setwindowing(goertzel_bank* bank, int32_t window_type) {
    // The tables are made outside the lock, which the audio thread's feed waits for; only the
    // exchange happens under it. Bins added meanwhile get theirs in another round. Should
    // memory run out, the bank keeps its old window: a bin never runs without a table.
    TableSet tables;
    uint32_t made = 0;  // bins below this index have their new table in `tables`
    for (;;) {
        uint32_t count = 0;
        {
            std::lock_guard guard(bank->lock);
            // Also when another call set the same window meanwhile.
            if (window_type == bank->window_type) {
                return;
            }
            count = bank->bin_count;
            if (made == count) {
                bank->window_type = window_type;
                for (uint32_t i = 0; i < count; ++i) {
                    if (!bank->bins[i]->inactive) {
                        std::swap(bank->bins[i]->window, tables[i]);
                    }
                }
                break;  // the old tables are freed with `tables`, after the lock
            }
        }
        // Bins below `count` stay where they are and their lengths never change.
        for (uint32_t i = made; i < count; ++i) {
            const goertzel_bin* bin = bank->bins[i];
            if (bin->inactive) {
                continue;
            }
            tables[i] = tonebank::window_create(window_type, bin->block_length);
            if (tables[i] == nullptr) {
                return;
            }
        }
        made = count;
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
