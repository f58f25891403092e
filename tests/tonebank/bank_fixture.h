// Helpers for tests that look inside a filter bank.
#pragma once

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "bank.h"

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

}  // namespace tonebank_test
