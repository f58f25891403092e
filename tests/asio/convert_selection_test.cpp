#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <utility>

#include "convert_fixture.h"
#include "platform/tick_count.h"

namespace spectrino::test {
namespace {

// Whether the 32-bit clip routines, and the 32-bit converters of the 32-bit integer types, are
// other than the plain ones.
using Installed = std::pair<bool, bool>;

class SelectionTest : public ConverterTest {
protected:
    void SetUp() override {
        UseConverters(plPlain);
        plain_ = {ClipDigital.Load(), ClipAnalog.Load(), InputConverters[ASIOSTInt32LSB],
                  OutputConverters[ASIOSTInt32LSB]};
    }

    Installed Current() const {
        const TClipPair digital = ClipDigital.Load(), analog = ClipAnalog.Load();
        const TInConverter in = InputConverters[ASIOSTInt32LSB];
        const TOutConverter out = OutputConverters[ASIOSTInt32LSB];
        EXPECT_EQ(digital.Cb64, plain_.digital.Cb64);
        EXPECT_EQ(in.Ic64, plain_.in.Ic64);
        EXPECT_EQ(digital.Cb32 != plain_.digital.Cb32, analog.Cb32 != plain_.analog.Cb32);
        EXPECT_EQ(in.Ic32 != plain_.in.Ic32, out.Oc32 != plain_.out.Oc32);
        return {digital.Cb32 != plain_.digital.Cb32, in.Ic32 != plain_.in.Ic32};
    }

private:
    struct {
        TClipPair digital, analog;
        TInConverter in;
        TOutConverter out;
    } plain_;
};

TEST_F(SelectionTest, ProgramStartFollowsTheProcessor) {
    struct Case {
        platform::CpuFeatures features;
        TProcessorLevel level;
        Installed installed;
    };
    const Case cases[] = {
        {{false, 0, false}, plPlain, {false, false}},
        {{true, 0x80000008, false}, plSSE, {true, false}},
        {{true, 0x80000008, true}, pl3DNow, {true, true}},
        {{false, 0x80000001, true}, pl3DNow, {false, true}},
        {{true, 0x80000000, true}, plSSE, {true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        SetupConverters(c.features);
        EXPECT_EQ(ProcessorLevel(), c.level);
        EXPECT_TRUE(Current() == c.installed);
    }
}

TEST_F(SelectionTest, ConvertOptimizationsNeedTheMatchingLevel) {
    SetupConverters({true, 0, false});
    ApplyConvertOptimizations({coSSE, co3DNow});
    EXPECT_TRUE((Current() == Installed{true, false}));
    ApplyConvertOptimizations({co3DNow});
    EXPECT_TRUE((Current() == Installed{false, false}));

    // At the 3DNow! level only the 3DNow! converters come back, not the SSE clipping.
    SetupConverters({true, 0x80000001, true});
    ApplyConvertOptimizations({coSSE});
    EXPECT_TRUE((Current() == Installed{false, false}));
    ApplyConvertOptimizations({coSSE, co3DNow});
    EXPECT_TRUE((Current() == Installed{false, true}));
}

// Share of samples, all at 100.25 steps, that leave a type's output converter as 101
// rather than 100; 0 without dither.
double RoundedUpShare(TASIOSampleType type, int bits) {
    constexpr int kCount = 8192;
    const double step = 1.0 / ((std::int64_t{1} << (bits - 1)) - 1);
    const std::vector<double> samples(kCount, 100.25 * step);
    Bytes buffer(kCount * ASIOSampleSize(type));
    OutputConverters[type].Oc64(samples.data(), buffer.data(), kCount);
    std::vector<double> back(kCount);
    InputConverters[type].Ic64(buffer.data(), back.data(), kCount);
    int up = 0;
    for (double v : back) {
        const double level = std::round(v / step);
        EXPECT_TRUE(level == 100 || level == 101) << level;
        up += level == 101;
    }
    return static_cast<double>(up) / kCount;
}

TEST_F(SelectionTest, DitherReachesOnlyItsTypes) {
    for (TASIOOutputDither dither : {odUDF, odTDF}) {
        SetupConverters({true, 0x80000001, true});
        ApplyOutputDither(dither, {coSSE, co3DNow});
        EXPECT_TRUE((Current() == Installed{false, false}));
        for (const TypeInfo& t : AllTypes()) {
            if (t.bits == 0) {
                continue;
            }
            SCOPED_TRACE(std::to_string(t.type) + " dither " + std::to_string(dither));
            const std::uint32_t seed = DitherSeed;
            const double share = RoundedUpShare(t.type, t.bits);
            if (!t.dithered) {
                EXPECT_EQ(share, 0.0);
                EXPECT_EQ(DitherSeed, seed);
            } else {
                // P(d >= 0.25): 1/4 for the uniform, 1/8 for the triangular density.
                EXPECT_NEAR(share, dither == odUDF ? 0.25 : 0.125, 0.02);
            }
        }
    }
}

TEST_F(SelectionTest, HostOptionsAndTheDitherRule) {
    UseConverters(pl3DNow);
    TConverterOptions options;
    EXPECT_TRUE((options.ConvertOptimizations() == TConvertOptimizations{coSSE, co3DNow}));
    EXPECT_EQ(options.OutputDither(), odNone);
    EXPECT_TRUE((Current() == Installed{false, true}));  // construction left the tables alone

    DitherSeed = 0;
    const std::uint32_t before = platform::TickCount();
    options.SetOutputDither(odUDF);
    EXPECT_LE(DitherSeed - before, platform::TickCount() - before);
    EXPECT_GT(RoundedUpShare(ASIOSTInt16LSB, 16), 0.1);

    // Setting the optimizations drops the dither; re-selecting the same dither is no change.
    options.SetConvertOptimizations({coSSE});
    EXPECT_EQ(RoundedUpShare(ASIOSTInt16LSB, 16), 0.0);
    options.SetOutputDither(odUDF);
    EXPECT_EQ(RoundedUpShare(ASIOSTInt16LSB, 16), 0.0);
    options.SetOutputDither(odNone);
    options.SetOutputDither(odUDF);
    EXPECT_GT(RoundedUpShare(ASIOSTInt16LSB, 16), 0.1);
    EXPECT_EQ(options.ConvertOptimizations(), TConvertOptimizations{coSSE});
}

// A driver thread keeps converting while the options are rewritten: it always finds a complete
// pair, and the shared tables and seed stay free of data races.
TEST_F(SelectionTest, TablesChangeWhileADriverConverts) {
    std::atomic<bool> stop{false};
    std::thread driver([&] {
        std::vector<float> samples(64, 1.5f);
        Bytes buffer(64 * 2);
        while (!stop.load()) {
            const TOutConverter out = OutputConverters[ASIOSTInt16LSB];
            const TClipPair clip = ClipDigital.Load();
            ASSERT_NE(out.Oc32, nullptr);
            ASSERT_NE(clip.Cb32, nullptr);
            clip.Cb32(samples.data(), 64);
            out.Oc32(samples.data(), buffer.data(), 64);
            ASSERT_EQ(buffer[0], 0xFF);
        }
    });
    TConverterOptions options;
    for (int i = 0; i < 300; ++i) {
        options.SetOutputDither(i % 3 == 0 ? odNone : i % 3 == 1 ? odUDF : odTDF);
        UseConverters(static_cast<TProcessorLevel>(i % 3));
    }
    stop = true;
    driver.join();
}

TEST(DitherGenerator, StepsAndBounds) {
    std::uint32_t seed = 0;
    EXPECT_EQ(UniformDither(seed), 0x1p-32);
    EXPECT_EQ(seed, 1u);
    UniformDither(seed);
    EXPECT_EQ(seed, 134775814u);
    UniformDither(seed);
    EXPECT_EQ(seed, 3698175007u);

    seed = 2796574515u;  // next state 0x80000000
    EXPECT_EQ(UniformDither(seed), -0.5);
    seed = 3445665382u;  // next state 0x7FFFFFFF
    EXPECT_EQ(UniformDither(seed), 0.5 - 0x1p-32);
    seed = 0;
    EXPECT_EQ(TriangularDither(seed), (1.0 + 134775814.0) * 0x1p-33);
    EXPECT_EQ(seed, 134775814u);

    // Dither is added before rounding: 0.5 on 16 bits is 16383.5, and d = -0.5 makes it 16383.
    UseConverters(plPlain);
    ApplyOutputDither(odUDF, {});
    DitherSeed = 2796574515u;
    const float half = 0.5f;
    Bytes out(2);
    OutputConverters[ASIOSTInt16LSB].Oc32(&half, out.data(), 1);
    EXPECT_EQ(out, (Bytes{0xFF, 0x3F}));
    // Ties go to even: 0 - 0.5 becomes 0, not -1.
    DitherSeed = 2796574515u;
    const float zero = 0.0f;
    OutputConverters[ASIOSTInt16LSB].Oc32(&zero, out.data(), 1);
    EXPECT_EQ(out, (Bytes{0x00, 0x00}));
    SetupConverters(platform::ProbeCpuFeatures());
}

template <typename Draw, typename Cdf>
void CheckDistribution(Draw draw, Cdf cdf, double variance) {
    constexpr int kDraws = 1 << 20;
    constexpr int kBins = 16;
    std::vector<int> bins(kBins);
    double sum = 0, squares = 0;
    std::uint32_t seed = 12345;
    for (int i = 0; i < kDraws; ++i) {
        const double d = draw(seed);
        ASSERT_GE(d, -0.5);
        ASSERT_LT(d, 0.5);
        sum += d;
        squares += d * d;
        ++bins[static_cast<int>((d + 0.5) * kBins)];
    }
    EXPECT_NEAR(sum / kDraws, 0.0, 0.002);
    EXPECT_NEAR(squares / kDraws, variance, variance * 0.01);
    for (int b = 0; b < kBins; ++b) {
        const double expected = (cdf(-0.5 + (b + 1.0) / kBins) - cdf(-0.5 + double(b) / kBins));
        EXPECT_NEAR(bins[b] / double(kDraws), expected, expected * 0.03 + 1e-4) << b;
    }
}

TEST(DitherGenerator, Distributions) {
    CheckDistribution(
        UniformDither, [](double x) { return x + 0.5; }, 1.0 / 12);
    CheckDistribution(
        TriangularDither,
        [](double x) { return x <= 0 ? 2 * (x + 0.5) * (x + 0.5) : 1 - 2 * (0.5 - x) * (0.5 - x); },
        1.0 / 24);
}

TEST(PlatformServices, ProcessorAndTicks) {
#if defined(__x86_64__)
    const platform::CpuFeatures features = platform::ProbeCpuFeatures();
    EXPECT_TRUE(features.sse);
    EXPECT_GE(features.highestExtendedLeaf, 0x80000001u);
    EXPECT_NE(ProcessorLevel(), plPlain);
#endif
    const std::uint32_t start = platform::TickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::uint32_t elapsed = platform::TickCount() - start;
    EXPECT_GE(elapsed, 49u);
    EXPECT_LT(elapsed, 5000u);
}

}  // namespace
}  // namespace spectrino::test
