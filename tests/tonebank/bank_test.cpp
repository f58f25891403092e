#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>
#include <vector>

#include "bank_fixture.h"
#include "recurrence.h"
#include "window.h"

namespace {

using namespace tonebank_test;

double Power(tonebank::GoertzelState s, double c, uint32_t n) {
    return tonebank::goertzel_power(s, c) / (double(n) * n);
}

TEST(FilterBank, RefusesRatesThatGiveEmptyBlocks) {
    EXPECT_EQ(goertzel_create(0), nullptr);
    EXPECT_EQ(goertzel_create(1), nullptr);
    auto bank = MakeBank(2);
    ASSERT_NE(bank, nullptr);
    EXPECT_EQ(goertzel_addbin(bank.get(), 1.0, 1.0), 0);
    EXPECT_EQ(bank->bins[0]->block_length, 2u);
}

TEST(FilterBank, TunesBinsToTheNearestMultipleOfTheBandwidth) {
    auto bank = MakeBank(44100);
    ASSERT_EQ(goertzel_addbin(bank.get(), 1000.0, 60.0), 0);
    const auto* bin = bank->bins[0];
    EXPECT_EQ(bin->block_length, 735u);
    EXPECT_DOUBLE_EQ(bin->coefficient, 2.0 * std::cos(2.0 * std::numbers::pi * 17.0 / 735.0));
    EXPECT_NEAR(bin->coefficient, 1.97892, 1e-5);
    EXPECT_EQ(bin->frequency, 1000.0);
    EXPECT_EQ(bin->bandwidth, 60.0);

    // Bandwidth clamped to [1, rate / 2]; a bandwidth that is not a number takes 1 Hz.
    ASSERT_EQ(goertzel_addbin(bank.get(), 100.0, 0.5), 1);
    EXPECT_EQ(bank->bins[1]->bandwidth, 1.0);
    EXPECT_EQ(bank->bins[1]->block_length, 44100u);
    ASSERT_EQ(goertzel_addbin(bank.get(), 100.0, 30000.0), 2);
    EXPECT_EQ(bank->bins[2]->bandwidth, 22050.0);
    EXPECT_EQ(bank->bins[2]->block_length, 2u);
    ASSERT_EQ(goertzel_addbin(bank.get(), 100.0, std::nan("")), 3);
    EXPECT_EQ(bank->bins[3]->block_length, 44100u);
}

TEST(FilterBank, BinsAboveHalfTheRateAreInactiveButCountAnIndex) {
    auto bank = MakeBank(44100);
    EXPECT_EQ(goertzel_addbin(bank.get(), 22050.0, 100.0), 0);
    EXPECT_EQ(goertzel_addbin(bank.get(), 22050.5, 100.0), 1);
    EXPECT_EQ(goertzel_addbin(bank.get(), std::nan(""), 100.0), 2);
    EXPECT_EQ(goertzel_addbin(bank.get(), 1000.0, 100.0), 3);
    EXPECT_FALSE(bank->bins[0]->inactive);
    EXPECT_TRUE(bank->bins[1]->inactive);
    EXPECT_TRUE(bank->bins[2]->inactive);

    const auto tone = Sine(22050.0 - 50, 1.0, 44100, 44100);
    goertzel_addsamples(bank.get(), tone.data(), 44100);
    EXPECT_GT(goertzel_getresult(bank.get(), 0), 0.0);
    EXPECT_EQ(goertzel_getresult(bank.get(), 1), 0.0);
    EXPECT_EQ(goertzel_getresult(bank.get(), 2), 0.0);
    EXPECT_EQ(goertzel_getresult(bank.get(), 4), 0.0);  // index == bin count
    EXPECT_EQ(goertzel_getresult(bank.get(), 0xFFFFFFFFu), 0.0);
}

TEST(FilterBank, HoldsAtMost1024Bins) {
    auto bank = MakeBank(8000);
    for (int i = 0; i < 1024; ++i) {
        ASSERT_EQ(goertzel_addbin(bank.get(), 100.0 + i, 50.0), i);
    }
    EXPECT_EQ(goertzel_addbin(bank.get(), 100.0, 50.0), -1);
    EXPECT_EQ(bank->bin_count, 1024u);
}

TEST(FilterBank, HistoryKeepsTheNewestSecondInTimeOrder) {
    auto bank = MakeBank(44100);
    std::vector<float> ramp(50000);
    std::iota(ramp.begin(), ramp.end(), 0.0f);

    goertzel_addsamples(bank.get(), ramp.data(), 100);
    goertzel_addsamples(bank.get(), ramp.data() + 100, 200);
    EXPECT_EQ(bank->fill, 300u);
    EXPECT_EQ(bank->history[299], 299.0f);

    // Oversized feed keeps only its last second.
    goertzel_addsamples(bank.get(), ramp.data(), 50000);
    EXPECT_EQ(bank->fill, 44100u);
    EXPECT_EQ(bank->history[0], 5900.0f);
    EXPECT_EQ(bank->history[44099], 49999.0f);

    // Feeding into a full history drops the oldest.
    const std::vector<float> hundred(100, -1.0f);
    goertzel_addsamples(bank.get(), hundred.data(), 100);
    EXPECT_EQ(bank->fill, 44100u);
    EXPECT_EQ(bank->history[0], 6000.0f);
    EXPECT_EQ(bank->history[43999], 49999.0f);
    EXPECT_EQ(bank->history[44000], -1.0f);

    // An overflow that only partly fits slides the history by the excess.
    goertzel_flush(bank.get());
    goertzel_addsamples(bank.get(), ramp.data(), 44000);
    goertzel_addsamples(bank.get(), ramp.data() + 44000, 300);
    EXPECT_EQ(bank->fill, 44100u);
    EXPECT_EQ(bank->history[0], 200.0f);
    EXPECT_EQ(bank->history[44099], 44299.0f);
}

TEST(FilterBank, ShortHistoryUsesTheFirstWindowEntriesAndTheFullBlockLength) {
    auto bank = MakeBank(44100);
    ASSERT_EQ(goertzel_addbin(bank.get(), 1000.0, 60.0), 0);
    goertzel_setwindowing(bank.get(), 4);
    EXPECT_EQ(goertzel_getresult(bank.get(), 0), 0.0);

    const auto noise = Noise(100, 7);
    goertzel_addsamples(bank.get(), noise.data(), 100);
    const auto* bin = bank->bins[0];
    const std::unique_ptr<double, decltype(&tonebank::window_free)> hann(
        tonebank::window_create(4, 735), &tonebank::window_free);
    const double expected =
        Power(tonebank::goertzel_run_serial(noise.data(), hann.get(), 100, bin->coefficient),
              bin->coefficient, 735);
    EXPECT_GT(expected, 0.0);
    EXPECT_NEAR(goertzel_getresult(bank.get(), 0), expected, expected * 1e-12);

    // A full history runs over exactly the newest block.
    const auto more = Noise(2000, 8);
    goertzel_addsamples(bank.get(), more.data(), 2000);
    const double full = Power(
        tonebank::goertzel_run_serial(more.data() + 2000 - 735, hann.get(), 735, bin->coefficient),
        bin->coefficient, 735);
    EXPECT_NEAR(goertzel_getresult(bank.get(), 0), full, full * 1e-9);

    goertzel_flush(bank.get());
    EXPECT_EQ(goertzel_getresult(bank.get(), 0), 0.0);
    EXPECT_EQ(bank->bin_count, 1u);
    EXPECT_EQ(bank->window_type, 4);
}

TEST(FilterBank, WindowChangeAppliesToEveryActiveBinAtItsOwnLength) {
    auto bank = MakeBank(44100);
    goertzel_addbin(bank.get(), 1000.0, 60.0);
    goertzel_addbin(bank.get(), 30000.0, 60.0);  // inactive
    goertzel_addbin(bank.get(), 100.0, 10.0);
    const auto noise = Noise(44100, 11);
    goertzel_addsamples(bank.get(), noise.data(), 44100);
    const double ms = MeanSquare(noise.data(), noise.size());
    const double rect0 = goertzel_getresult(bank.get(), 0);

    goertzel_setwindowing(bank.get(), 0);  // unchanged code
    EXPECT_EQ(goertzel_getresult(bank.get(), 0), rect0);

    goertzel_setwindowing(bank.get(), 5);
    EXPECT_EQ(bank->window_type, 5);
    EXPECT_EQ(goertzel_getresult(bank.get(), 1), 0.0);
    for (uint32_t i : {0u, 2u}) {
        const double literal = LiteralResult(*bank, i);
        EXPECT_NEAR(goertzel_getresult(bank.get(), i), literal, Allowed(literal, ms)) << i;
    }
    EXPECT_NE(goertzel_getresult(bank.get(), 0), rect0);

    // Bins added later take the bank's window; any code is stored as passed and one without a
    // shape of its own is rectangular.
    goertzel_setwindowing(bank.get(), 9);
    EXPECT_EQ(bank->window_type, 9);
    EXPECT_EQ(goertzel_addbin(bank.get(), 500.0, 50.0), 3);
    EXPECT_EQ(goertzel_getresult(bank.get(), 0), rect0);
}

TEST(FilterBank, SteadySineReadsAQuarterOfItsSquaredAmplitude) {
    const uint32_t rate = 44100;
    auto bank = MakeBank(rate);
    ASSERT_EQ(goertzel_addbin(bank.get(), 1000.0, 60.0), 0);  // tuned to 1020 Hz
    const double a = 0.5;
    const auto tone = Sine(1020.0, a, rate, rate);
    goertzel_addsamples(bank.get(), tone.data(), rate);
    const double rect = goertzel_getresult(bank.get(), 0);
    EXPECT_NEAR(rect, a * a / 4, a * a / 4 * 0.01);

    goertzel_setwindowing(bank.get(), 4);
    const double hann = goertzel_getresult(bank.get(), 0);
    EXPECT_NEAR(10 * std::log10(rect / hann), 6.02, 0.05);
}

// The split recurrence must agree with the plain loop for every length and tuning: within
// 1e-6 relative, or within 1e-9 of the input's mean square where leakage leaves only rounding.
TEST(Recurrence, SplitChainsAgreeWithThePlainLoop) {
    const auto signal = Noise(48000, 3, 1.0f);
    double mean_square = 0.0;
    for (float v : signal) {
        mean_square += double(v) * v;
    }
    mean_square /= signal.size();
    std::vector<double> window(48000, 1.0);
    for (size_t i = 0; i < window.size(); ++i) {
        window[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / 47999.0);
    }
    for (double omega : {0.0, 0.0001, 0.00228, 0.1, 1.0, 3.0, std::numbers::pi}) {
        const double c = 2 * std::cos(omega);
        for (uint32_t n : {1u, 2u, 127u, 128u, 129u, 135u, 735u, 1001u, 44100u, 48000u}) {
            const double plain =
                Power(tonebank::goertzel_run_serial(signal.data(), window.data(), n, c), c, n);
            const double split =
                tonebank::goertzel_block_power(signal.data(), window.data(), n, c) /
                (double(n) * n);
            EXPECT_NEAR(split, plain, std::max(plain * 1e-6, mean_square * 1e-9))
                << "omega " << omega << " n " << n;
        }
    }
    EXPECT_EQ(tonebank::goertzel_block_power(signal.data(), window.data(), 0, 2.0), 0.0);
}

}  // namespace
