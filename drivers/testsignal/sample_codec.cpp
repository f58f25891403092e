#include "sample_codec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace spectrino::testsignal {

namespace {

constexpr std::array<SampleFormat, 18> kFormats{{
    {0, 2, 16, false, true},
    {1, 3, 24, false, true},
    {2, 4, 32, false, true},
    {3, 4, 0, true, true},
    {4, 8, 0, true, true},
    {8, 4, 16, false, true},
    {9, 4, 18, false, true},
    {10, 4, 20, false, true},
    {11, 4, 24, false, true},
    {16, 2, 16, false, false},
    {17, 3, 24, false, false},
    {18, 4, 32, false, false},
    {19, 4, 0, true, false},
    {20, 8, 0, true, false},
    {24, 4, 16, false, false},
    {25, 4, 18, false, false},
    {26, 4, 20, false, false},
    {27, 4, 24, false, false},
}};

double FullScale(int bits) {
    return std::ldexp(1.0, bits - 1) - 1.0;
}

// Little-endian bytes of the value, then reversed for big-endian layouts.
void Store(const SampleFormat& format, const std::byte* little, std::byte* out) {
    for (int i = 0; i < format.bytes; ++i) {
        out[i] = little[format.bigEndian ? format.bytes - 1 - i : i];
    }
}

void Load(const SampleFormat& format, const std::byte* in, std::byte* little) {
    for (int i = 0; i < format.bytes; ++i) {
        little[i] = in[format.bigEndian ? format.bytes - 1 - i : i];
    }
}

}  // namespace

SampleFormat FormatOf(int32_t type) {
    for (const SampleFormat& format : kFormats) {
        if (format.type == type) {
            return format;
        }
    }
    return SampleFormat{type, 0, 0, false, false};
}

void EncodeSample(const SampleFormat& format, double value, std::byte* out) {
    std::array<std::byte, 8> little{};
    if (format.isFloat && format.bytes == 4) {
        const auto single = static_cast<float>(value);
        std::memcpy(little.data(), &single, 4);
    } else if (format.isFloat) {
        std::memcpy(little.data(), &value, 8);
    } else {
        const double scale = FullScale(format.bits);
        const double scaled = std::clamp(std::nearbyint(value * scale), -scale - 1.0, scale);
        const auto integer = static_cast<uint32_t>(static_cast<int32_t>(scaled));
        for (int i = 0; i < 4; ++i) {
            little[static_cast<std::size_t>(i)] = static_cast<std::byte>(integer >> (8 * i));
        }
    }
    Store(format, little.data(), out);
}

double DecodeSample(const SampleFormat& format, const std::byte* in) {
    std::array<std::byte, 8> little{};
    Load(format, in, little.data());
    if (format.isFloat && format.bytes == 4) {
        float single = 0.0f;
        std::memcpy(&single, little.data(), 4);
        return single;
    }
    if (format.isFloat) {
        double value = 0.0;
        std::memcpy(&value, little.data(), 8);
        return value;
    }
    uint32_t integer = 0;
    for (int i = 0; i < format.bytes; ++i) {
        integer |= static_cast<uint32_t>(little[static_cast<std::size_t>(i)]) << (8 * i);
    }
    // Sign-extend what the container holds.
    const int containerBits = 8 * format.bytes;
    const int32_t value =
        static_cast<int32_t>(integer << (32 - containerBits)) >> (32 - containerBits);
    return value / FullScale(format.bits);
}

}  // namespace spectrino::testsignal
