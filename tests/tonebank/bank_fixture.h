// Helpers for tests that look inside a filter bank.
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "bank.h"
#include "window.h"

namespace tonebank_test {

using BankPtr = std::unique_ptr<goertzel_bank, decltype(&goertzel_destroy)>;

inline BankPtr MakeBank(uint32_t rate) {
    return BankPtr(goertzel_create(rate), &goertzel_destroy);
}

inline std::vector<float> Sine(double frequency, double amplitude, uint32_t rate, size_t count) {
    std::vector<float> out(count);
    for (size_t i = 0; i < count; ++i) {
        out[i] =
            static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / rate));
    }
    return out;
}

inline std::vector<float> Noise(size_t count, unsigned seed, float amplitude = 0.5f) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    std::vector<float> out(count);
    for (float& s : out) {
        s = dist(gen);
    }
    return out;
}

// Bin `index`'s result by the recurrence exactly as written down, one sample after the other,
// over the table of the bank's window. Call it under the bank's lock where others feed.
inline double LiteralResult(const goertzel_bank& bank, uint32_t index) {
    const tonebank::goertzel_bin& bin = *bank.bins[index];
    const std::unique_ptr<double, decltype(&tonebank::window_free)> window(
        tonebank::window_create(bank.window_type, bin.block_length), &tonebank::window_free);
    const uint32_t n = bank.fill < bin.block_length ? bank.fill : bin.block_length;
    const float* x = bank.history + (bank.fill - n);
    double s1 = 0.0, s2 = 0.0;
    for (uint32_t j = 0; j < n; ++j) {
        const double s = x[j] * window.get()[j] + bin.coefficient * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double len = bin.block_length;
    return (s1 * s1 + s2 * s2 - bin.coefficient * s1 * s2) / (len * len);
}

inline double MeanSquare(const float* x, size_t n) {
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        sum += double(x[i]) * x[i];
    }
    return n == 0 ? 0.0 : sum / n;
}

// The agreed tolerance between a fast result and the literal loop: 1e-6 relative, or 1e-9 of
// the input's mean square where leakage leaves only rounding.
inline double Allowed(double literal, double mean_square) {
    return std::max(std::abs(literal) * 1e-6, mean_square * 1e-9);
}

}  // namespace tonebank_test
