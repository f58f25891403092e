#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "convert_fixture.h"

namespace spectrino::test {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

Bytes Out32(TASIOSampleType type, std::vector<float> in) {
    Bytes out(in.size() * ASIOSampleSize(type));
    OutputConverters[type].Oc32(in.data(), out.data(), static_cast<int>(in.size()));
    return out;
}

template <typename T>
std::vector<T> In(TASIOSampleType type, Bytes bytes) {
    std::vector<T> out(bytes.size() / ASIOSampleSize(type));
    const TInConverter pair = InputConverters[type];
    if constexpr (sizeof(T) == 4) {
        pair.Ic32(bytes.data(), out.data(), static_cast<int>(out.size()));
    } else {
        pair.Ic64(bytes.data(), out.data(), static_cast<int>(out.size()));
    }
    return out;
}

TEST_F(ConverterTest, StatedValues) {
    UseConverters(plPlain);
    EXPECT_EQ(In<float>(ASIOSTInt16LSB, {0xFF, 0x7F, 0x00, 0x80}),
              (std::vector<float>{1.0f, -1.000030517578125f}));
    EXPECT_EQ(Out32(ASIOSTInt16LSB, {1.0f, -1.0f}), (Bytes{0xFF, 0x7F, 0x01, 0x80}));
    EXPECT_EQ(Out32(ASIOSTInt24LSB, {1.0f, -1.0f}), (Bytes{0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80}));
    EXPECT_EQ(In<float>(ASIOSTInt24MSB, {0x80, 0x00, 0x00}), std::vector<float>{-1.0000001f});
    EXPECT_EQ(In<double>(ASIOSTInt24MSB, {0x80, 0x00, 0x00}),
              std::vector<double>{-8388608.0 / 8388607.0});
    // The LSB type's 32-bit input reads the bytes as the top of a 32-bit integer.
    EXPECT_EQ(In<float>(ASIOSTInt24LSB, {0x00, 0x00, 0x80}),
              std::vector<float>{static_cast<float>(-2147483648.0L / 2147483647.0L)});
    EXPECT_EQ(Out32(ASIOSTInt32MSB, {0.5f}), (Bytes{0x40, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Out32(ASIOSTInt32LSB, {0.5f}), (Bytes{0x00, 0x00, 0x00, 0x40}));
    // 1.0 on an 18-bit type in a 32-bit word: 131071, sign-extended through the word.
    EXPECT_EQ(Out32(ASIOSTInt32LSB18, {1.0f, -1.0f}),
              (Bytes{0xFF, 0xFF, 0x01, 0x00, 0x01, 0x00, 0xFE, 0xFF}));

    // Beyond the range: saturation at the held width; NaN writes silence.
    EXPECT_EQ(Out32(ASIOSTInt16LSB, {1.5f, -2.0f, kInf, kNaN}),
              (Bytes{0xFF, 0x7F, 0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00}));
    EXPECT_EQ(Out32(ASIOSTInt32LSB20, {4.0f}), (Bytes{0xFF, 0xFF, 0x07, 0x00}));
    std::vector<double> wide{-3.0, std::numeric_limits<double>::quiet_NaN()};
    Bytes wideOut(8);
    OutputConverters[ASIOSTInt32LSB].Oc64(wide.data(), wideOut.data(), 2);
    EXPECT_EQ(wideOut, (Bytes{0x00, 0x00, 0x00, 0x80, 0, 0, 0, 0}));

    EXPECT_EQ(InputConverters[-1].Ic32, nullptr);
    EXPECT_EQ(InputConverters[5].Ic32, nullptr);
    EXPECT_EQ(OutputConverters[kASIOSampleTypeLimit].Oc64, nullptr);
    EXPECT_EQ(OutputConverters[1000].Oc32, nullptr);
}

TEST_F(ConverterTest, ClippingValues) {
    for (TProcessorLevel level : {plPlain, plSSE}) {
        UseConverters(level);
        SCOPED_TRACE(level);
        std::vector<float> digital{1.5f, -3.0f, kNaN, -kNaN, kInf, 0.25f, -1.0f, -0.0f};
        ClipDigital.Load().Cb32(digital.data(), static_cast<int>(digital.size()));
        EXPECT_EQ(digital,
                  (std::vector<float>{1.0f, -1.0f, 1.0f, -1.0f, 1.0f, 0.25f, -1.0f, 0.0f}));
        EXPECT_TRUE(std::signbit(digital[7]));

        std::vector<float> analog{1.0f, 0.0f, -1.0f, 1e30f, -kInf};
        ClipAnalog.Load().Cb32(analog.data(), static_cast<int>(analog.size()));
        EXPECT_EQ(analog, (std::vector<float>{0.8f, 0.0f, -0.8f, 2.0f, -2.0f}));
    }
    std::vector<double> digital{1.5,
                                -3.0,
                                0.25,
                                1e300,
                                -std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::quiet_NaN()};
    ClipDigital.Load().Cb64(digital.data(), static_cast<int>(digital.size()));
    EXPECT_EQ(digital, (std::vector<double>{1.0, -1.0, 0.25, 1.0, -1.0, -1.0}));
    std::vector<double> analog{1.0, -0.5};
    ClipAnalog.Load().Cb64(analog.data(), 2);
    EXPECT_DOUBLE_EQ(analog[0], 0.8);
    EXPECT_DOUBLE_EQ(analog[1], -2 * 0.5 * 3.5 / (6 + 0.5 * 3.5));
}

// Output then input returns each value within half a step of the type (plus the float's own
// rounding), for every type and both precisions.
TEST_F(ConverterTest, RoundTrips) {
    UseConverters(plPlain);
    std::vector<double> values;
    for (int i = -64; i <= 64; ++i) {
        values.push_back(i / 64.0 - i * 1e-4);
    }
    for (const TypeInfo& t : AllTypes()) {
        SCOPED_TRACE(std::to_string(t.type));
        const int n = static_cast<int>(values.size());
        const double step = t.bits ? 1.0 / ((std::int64_t{1} << (t.bits - 1)) - 1) : 0.0;
        std::vector<float> in32(values.begin(), values.end()), back32(n);
        std::vector<double> back64(n);
        Bytes buffer(n * ASIOSampleSize(t.type));

        OutputConverters[t.type].Oc32(in32.data(), buffer.data(), n);
        InputConverters[t.type].Ic32(buffer.data(), back32.data(), n);
        OutputConverters[t.type].Oc64(values.data(), buffer.data(), n);
        InputConverters[t.type].Ic64(buffer.data(), back64.data(), n);
        for (int i = 0; i < n; ++i) {
            const double tolerance32 = step / 2 + 2e-7 * std::fabs(in32[i]);
            EXPECT_NEAR(back32[i], in32[i], tolerance32) << i;
            const double tolerance64 = t.bits ? step / 2 + 1e-15
                                       : t.type == ASIOSTFloat32LSB || t.type == ASIOSTFloat32MSB
                                           ? 6e-8 * std::fabs(values[i])
                                           : 0.0;
            EXPECT_NEAR(back64[i], values[i], tolerance64) << i;
        }
    }
}

// Big-endian types read and write what their twin does with each sample's bytes reversed;
// input reverses the driver's buffer in place only for the types that are meant to.
TEST_F(ConverterTest, BigEndianTwins) {
    UseConverters(plPlain);
    std::mt19937 random(7);
    for (const TypeInfo& t : AllTypes()) {
        SCOPED_TRACE(std::to_string(t.type));
        const int size = ASIOSampleSize(t.type);
        Bytes raw(9 * size);
        for (auto& b : raw) {
            b = static_cast<std::uint8_t>(random());
        }
        Bytes buffer = raw;
        const std::vector<float> got32 = [&] {
            std::vector<float> out(9);
            InputConverters[t.type].Ic32(buffer.data(), out.data(), 9);
            return out;
        }();
        EXPECT_EQ(buffer, t.reversesIn32 ? ReverseEach(raw, size) : raw);
        buffer = raw;
        std::vector<double> got64(9);
        InputConverters[t.type].Ic64(buffer.data(), got64.data(), 9);
        EXPECT_EQ(buffer, t.reversesIn64 ? ReverseEach(raw, size) : raw);
        if (t.twin == t.type) {
            continue;
        }
        if (t.type != ASIOSTInt24MSB) {
            EXPECT_EQ(0, std::memcmp(got32.data(), In<float>(t.twin, ReverseEach(raw, size)).data(),
                                     9 * 4));
        }
        EXPECT_EQ(
            0, std::memcmp(got64.data(), In<double>(t.twin, ReverseEach(raw, size)).data(), 9 * 8));
        const std::vector<float> samples{0.3f,  -0.7f,   1.0f, -1.0f, 0.0f,
                                         1e-3f, -0.999f, 0.5f, 2.0f};
        EXPECT_EQ(Out32(t.type, samples), ReverseEach(Out32(t.twin, samples), size));
    }
}

TEST_F(ConverterTest, SingleVariantsTruncateAndSaturate) {
    UseConverters(pl3DNow);
    // Plain rounds 0.5 * 32767 = 16383.5 to the even 16384; this variant truncates toward zero.
    EXPECT_EQ(Out32(ASIOSTInt32LSB16, {0.5f, -0.5f}),
              (Bytes{0xFF, 0x3F, 0, 0, 0x01, 0xC0, 0xFF, 0xFF}));
    // 2^31 scaling: -1.0 reaches the lowest integer, 1.0 saturates at the highest.
    EXPECT_EQ(
        Out32(ASIOSTInt32LSB, {-1.0f, 1.0f, 0.5f, kNaN, -kInf}),
        (Bytes{0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0x80}));
    // Saturation is at the 32-bit limits, not at the width the word holds.
    EXPECT_EQ(Out32(ASIOSTInt32LSB24, {1000.0f}), (Bytes{0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(In<float>(ASIOSTInt32LSB, {0, 0, 0, 0x40, 0, 0, 0, 0x80}),
              (std::vector<float>{0.5f, -1.0f}));
    // Other types and the 64-bit path stay plain.
    EXPECT_EQ(Out32(ASIOSTInt16LSB, {0.5f}), (Bytes{0x00, 0x40}));
    std::vector<double> half{0.5};
    Bytes out(4);
    OutputConverters[ASIOSTInt32LSB16].Oc64(half.data(), out.data(), 1);
    EXPECT_EQ(out, (Bytes{0x00, 0x40, 0, 0}));
}

// Runs `routine` over `count` items at once and one item at a time, from the same dither seed,
// and expects the same bytes and nothing written past the end.
template <typename In, typename Out, typename Routine>
void ExpectBlockEqualsSingles(Routine routine, std::vector<In> source, int inStride, int outStride,
                              int count) {
    std::vector<In> copy = source;  // input converters may reverse their buffer
    std::vector<Out> block(count * outStride + 16 / sizeof(Out)), single(block.size());
    std::memset(block.data(), 0x7F, block.size() * sizeof(Out));
    std::memset(single.data(), 0x7F, single.size() * sizeof(Out));
    DitherSeed = 99;
    routine(source.data(), block.data(), count);
    DitherSeed = 99;
    for (int i = 0; i < count; ++i) {
        routine(copy.data() + i * inStride, single.data() + i * outStride, 1);
    }
    EXPECT_EQ(0, std::memcmp(block.data(), single.data(), block.size() * sizeof(Out)));
}

// Every routine of every routine set converts exactly `count` samples, and a block gives the
// same result as its samples one at a time: vector blocks follow the per-sample rules of their
// remainders, and vector clipping gives the plain results.
TEST_F(ConverterTest, EveryCountAndRemainder) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> spread(-1.3f, 1.3f);
    for (int setup = 0; setup < 5; ++setup) {
        if (setup < 3) {
            UseConverters(static_cast<TProcessorLevel>(setup));
        } else {
            ApplyOutputDither(setup == 3 ? odUDF : odTDF, {});
        }
        for (int count : {1, 3, 7, 15, 16, 17, 4096}) {
            SCOPED_TRACE("set " + std::to_string(setup) + " count " + std::to_string(count));
            std::vector<float> samples(count);
            for (float& s : samples) {
                s = spread(random);
            }
            samples[count / 2] = kNaN;
            samples[count - 1] = -kInf;
            const std::vector<double> wide(samples.begin(), samples.end());
            for (const TypeInfo& t : AllTypes()) {
                SCOPED_TRACE(std::to_string(t.type));
                const int size = ASIOSampleSize(t.type);
                const TOutConverter out = OutputConverters[t.type];
                const TInConverter in = InputConverters[t.type];
                ExpectBlockEqualsSingles<float, std::uint8_t>(out.Oc32, samples, 1, size, count);
                ExpectBlockEqualsSingles<double, std::uint8_t>(out.Oc64, wide, 1, size, count);
                Bytes driver(count * size);
                out.Oc64(wide.data(), driver.data(), count);
                ExpectBlockEqualsSingles<std::uint8_t, float>(in.Ic32, driver, size, 1, count);
                ExpectBlockEqualsSingles<std::uint8_t, double>(in.Ic64, driver, size, 1, count);
            }
            for (const TClipPair clip : {ClipDigital.Load(), ClipAnalog.Load()}) {
                const auto clipCopy = [&](const float* from, float* to, int n) {
                    std::copy(from, from + n, to);
                    clip.Cb32(to, n);
                };
                ExpectBlockEqualsSingles<float, float>(clipCopy, samples, 1, 1, count);
            }
        }
    }
}

}  // namespace
}  // namespace spectrino::test
