#include "window.h"

#include <cmath>
#include <cstdlib>

namespace tonebank {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kFourPi = 12.566370614359172;
constexpr double kSixPi = 18.84955592153876;

}  // namespace

double* window_create(int32_t code, uint32_t n) {
    auto* table = static_cast<double*>(std::malloc(sizeof(double) * (n > 0 ? n : 1)));
    if (table == nullptr) {
        return nullptr;
    }
    // A one-entry table has no shape to speak of (the common term would divide by zero).
    if (n <= 1) {
        if (n == 1) {
            table[0] = 1.0;
        }
        return table;
    }
    const double delta = 1.0 / static_cast<double>(static_cast<uint32_t>(n - 1));
    switch (code) {
        case 1:  // Blackman, in product form
            for (uint32_t i = 0; i < n; ++i) {
                const double c = std::cos((i * kTwoPi) * delta);
                table[i] = c * (0.16 * c - 0.5) + 0.34;
            }
            break;
        case 2: {  // Gaussian, exp(-5) at both ends
            const uint64_t m = n - 1;
            const double g = -5.0 / static_cast<double>(m * m);
            for (uint32_t i = 0; i < n; ++i) {
                const double d = 2.0 * i - static_cast<double>(m);
                table[i] = std::exp(g * d * d);
            }
            break;
        }
        case 3:  // four-term Blackman-Harris, sampled at i + 0.5
            for (uint32_t i = 0; i < n; ++i) {
                const double t = i + 0.5;
                table[i] = 0.35875 - 0.48829 * std::cos((t * kTwoPi) * delta) +
                           0.14128 * std::cos((t * kFourPi) * delta) -
                           0.01168 * std::cos((t * kSixPi) * delta);
            }
            break;
        case 4:  // Hann
            for (uint32_t i = 0; i < n; ++i) {
                table[i] = (1.0 - std::cos((i * kTwoPi) * delta)) * 0.5;
            }
            break;
        case 5:  // Hamming
            for (uint32_t i = 0; i < n; ++i) {
                table[i] = 0.54 - 0.46 * std::cos((i * kTwoPi) * delta);
            }
            break;
        default:  // rectangular, also for unknown codes
            for (uint32_t i = 0; i < n; ++i) {
                table[i] = 1.0;
            }
            break;
    }
    return table;
}

void window_free(double* table) {
    std::free(table);
}

WindowShape window_shape(int32_t code, uint32_t n) {
    WindowShape shape;
    if (n <= 1 || code < 1 || code > 5) {
        return shape;
    }
    const double delta = 1.0 / static_cast<double>(static_cast<uint32_t>(n - 1));
    if (code == 2) {
        const uint64_t m = n - 1;
        shape.kind = WindowShape::Kind::kGaussian;
        shape.g = -5.0 / static_cast<double>(m * m);
        shape.m = static_cast<double>(m);
        return shape;
    }
    shape.kind = WindowShape::Kind::kCosine;
    shape.step = kTwoPi * delta;
    auto set = [&shape](double a0, double a1, double a2, double a3) {
        shape.a[0] = a0;
        shape.a[1] = a1;
        shape.a[2] = a2;
        shape.a[3] = a3;
    };
    switch (code) {
        case 1:  // c (0.16 c - 0.5) + 0.34
            set(0.34, -0.5, 0.16, 0.0);
            break;
        case 3:  // cos 2x = 2c^2 - 1, cos 3x = 4c^3 - 3c
            shape.offset = 0.5;
            set(0.35875 - 0.14128, -0.48829 + 3 * 0.01168, 2 * 0.14128, -4 * 0.01168);
            break;
        case 4:
            set(0.5, -0.5, 0.0, 0.0);
            break;
        default:  // 5
            set(0.54, -0.46, 0.0, 0.0);
            break;
    }
    return shape;
}

}  // namespace tonebank
