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

// One layout with its size and byte order fixed at compile time, so that a block's loop has no
// decisions left in it. `scale` is the integer full scale (unused for floats).
template <int Bytes, bool IsFloat, bool BigEndian>
struct Codec {
    static void Encode(double value, double scale, std::byte* out) {
        std::array<std::byte, 8> little{};
        if constexpr (IsFloat && Bytes == 4) {
            const auto single = static_cast<float>(value);
            std::memcpy(little.data(), &single, 4);
        } else if constexpr (IsFloat) {
            std::memcpy(little.data(), &value, 8);
        } else {
            const double scaled = std::clamp(std::nearbyint(value * scale), -scale - 1.0, scale);
            const auto integer = static_cast<uint32_t>(static_cast<int32_t>(scaled));
            for (int i = 0; i < 4; ++i) {
                little[static_cast<std::size_t>(i)] = static_cast<std::byte>(integer >> (8 * i));
            }
        }
        for (int i = 0; i < Bytes; ++i) {
            out[i] = little[static_cast<std::size_t>(BigEndian ? Bytes - 1 - i : i)];
        }
    }

    static double Decode(const std::byte* in, double scale) {
        std::array<std::byte, 8> little{};
        for (int i = 0; i < Bytes; ++i) {
            little[static_cast<std::size_t>(i)] = in[BigEndian ? Bytes - 1 - i : i];
        }
        if constexpr (IsFloat && Bytes == 4) {
            float single = 0.0f;
            std::memcpy(&single, little.data(), 4);
            return single;
        } else if constexpr (IsFloat) {
            double value = 0.0;
            std::memcpy(&value, little.data(), 8);
            return value;
        } else {
            uint32_t integer = 0;
            for (int i = 0; i < Bytes; ++i) {
                integer |= static_cast<uint32_t>(little[static_cast<std::size_t>(i)]) << (8 * i);
            }
            // Sign-extend what the container holds.
            constexpr int kShift = 32 - 8 * Bytes;
            const int32_t value = static_cast<int32_t>(integer << kShift) >> kShift;
            return value / scale;
        }
    }
};

template <int Bytes, bool IsFloat, bool BigEndian>
struct EncodeBlock {
    static void Run(double scale, const double* values, std::size_t count, std::byte* out) {
        for (std::size_t i = 0; i < count; ++i) {
            Codec<Bytes, IsFloat, BigEndian>::Encode(values[i], scale, out + i * Bytes);
        }
    }
};

template <int Bytes, bool IsFloat, bool BigEndian>
struct DecodeBlock {
    static void Run(double scale, const std::byte* in, std::size_t count, double* values) {
        for (std::size_t i = 0; i < count; ++i) {
            values[i] = Codec<Bytes, IsFloat, BigEndian>::Decode(in + i * Bytes, scale);
        }
    }
};

template <int Bytes, bool IsFloat, bool BigEndian>
struct PeakBlock {
    static double Run(double scale, const std::byte* in, std::size_t count) {
        double peak = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            peak = std::max(
                peak, std::abs(Codec<Bytes, IsFloat, BigEndian>::Decode(in + i * Bytes, scale)));
        }
        return peak;
    }
};

// Runs the block `Kernel` instantiated for the layout of `format`, which must be known.
template <template <int, bool, bool> class Kernel, typename... Args>
auto WithLayout(const SampleFormat& format, Args... args) {
    const double scale = format.isFloat ? 1.0 : FullScale(format.bits);
    const bool big = format.bigEndian;
    switch (format.bytes) {
        case 2:
            return big ? Kernel<2, false, true>::Run(scale, args...)
                       : Kernel<2, false, false>::Run(scale, args...);
        case 3:
            return big ? Kernel<3, false, true>::Run(scale, args...)
                       : Kernel<3, false, false>::Run(scale, args...);
        case 4:
            if (format.isFloat) {
                return big ? Kernel<4, true, true>::Run(scale, args...)
                           : Kernel<4, true, false>::Run(scale, args...);
            }
            return big ? Kernel<4, false, true>::Run(scale, args...)
                       : Kernel<4, false, false>::Run(scale, args...);
        default:
            return big ? Kernel<8, true, true>::Run(scale, args...)
                       : Kernel<8, true, false>::Run(scale, args...);
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

void EncodeSamples(const SampleFormat& format, const double* values, std::size_t count,
                   std::byte* out) {
    if (format.bytes != 0) {
        WithLayout<EncodeBlock>(format, values, count, out);
    }
}

void DecodeSamples(const SampleFormat& format, const std::byte* in, std::size_t count,
                   double* values) {
    if (format.bytes != 0) {
        WithLayout<DecodeBlock>(format, in, count, values);
    } else {
        std::fill_n(values, count, 0.0);
    }
}

double PeakOfSamples(const SampleFormat& format, const std::byte* in, std::size_t count) {
    return format.bytes != 0 ? WithLayout<PeakBlock>(format, in, count) : 0.0;
}

void EncodeSample(const SampleFormat& format, double value, std::byte* out) {
    EncodeSamples(format, &value, 1, out);
}

double DecodeSample(const SampleFormat& format, const std::byte* in) {
    double value = 0.0;
    DecodeSamples(format, in, 1, &value);
    return value;
}

}  // namespace spectrino::testsignal
