// The windows the recurrence generates while it runs, against the tables written down; and the
// history, which moves its samples only now and then, against the stream fed into it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <numeric>
#include <vector>

#include "bank_fixture.h"
#include "core/bandtable.h"
#include "recurrence.h"
#include "window.h"

namespace {

using namespace tonebank_test;

using Table = std::unique_ptr<double, decltype(&tonebank::window_free)>;

// Every code (the unknown ones are rectangular), lengths around the split into chains and the
// longest blocks, full and partial blocks (a short history runs the first entries only).
TEST(Recurrence, GeneratedWindowsAgreeWithTheirTables) {
    const auto signal = Noise(48000, 17, 1.0f);
    const double ms = MeanSquare(signal.data(), signal.size());
    for (int32_t code = -1; code <= 7; ++code) {
        for (uint32_t n : {2u, 3u, 5u, 8u, 127u, 128u, 129u, 135u, 742u, 1001u, 43751u, 48000u}) {
            const Table table(tonebank::window_create(code, n), &tonebank::window_free);
            const tonebank::WindowShape shape = tonebank::window_shape(code, n);
            for (double omega : {0.0, 0.00228, 0.1, 1.0, 3.0, std::numbers::pi}) {
                const double c = 2 * std::cos(omega);
                for (uint32_t m : {n, n - 1, n / 2 + 1, std::min(n, 130u)}) {
                    const double scale = double(n) * n;
                    const double plain =
                        tonebank::goertzel_power(
                            tonebank::goertzel_run_serial(signal.data(), table.get(), m, c), c) /
                        scale;
                    const double fast =
                        tonebank::goertzel_block_power(signal.data(), shape, m, c) / scale;
                    ASSERT_NEAR(fast, plain, Allowed(plain, ms))
                        << "code " << code << " n " << n << " m " << m << " omega " << omega;
                }
            }
        }
    }
}

// Fed in blocks of every kind of size, the history always holds the newest second of the
// stream in time order, also right where it moves back to the start of its storage.
TEST(FilterBank, HistoryHoldsTheNewestSamplesAcrossItsMoves) {
    const uint32_t rate = 44100;
    auto bank = MakeBank(rate);
    std::vector<float> stream(12 * rate);
    std::iota(stream.begin(), stream.end(), 1.0f);
    const uint32_t sizes[] = {2048, 1, 441, 44099, 7, 3000, 2048, 0, 44100, 512, 50000, 2048, 2048};
    size_t fed = 0;
    int moves = 0;
    for (int round = 0; fed + 50000 < stream.size(); ++round) {
        const uint32_t size = sizes[round % std::size(sizes)];
        const float* before = bank->history;
        goertzel_addsamples(bank.get(), stream.data() + fed, size);
        fed += size;
        moves += bank->history < before ? 1 : 0;
        const auto fill = static_cast<uint32_t>(std::min<size_t>(fed, rate));
        ASSERT_EQ(bank->fill, fill) << "after " << fed;
        ASSERT_TRUE(std::equal(bank->history, bank->history + fill, stream.data() + fed - fill))
            << "after " << fed;
        ASSERT_GE(bank->history, bank->storage);
        ASSERT_LE(bank->history + fill, bank->storage + 2 * rate);
    }
    EXPECT_GT(moves, 3);
}

// Every band under every window at both rates agrees with the literal loop over the tables:
// on a short history, on a full one, and on both sides of each move of the history.
TEST(FilterBank, EveryBandAndWindowAgreesWithTheLiteralLoopAtBothRates) {
    for (const uint32_t rate : {44100u, 48000u}) {
        auto bank = MakeBank(rate);
        const auto table = spectrino::ComputeBands(static_cast<float>(rate));
        for (int i = 0; i < spectrino::kBandCount; ++i) {
            goertzel_addbin(bank.get(), table.BandCentres[i], table.BandWidths[i]);
        }
        auto signal = Noise(4 * rate, rate, 0.3f);
        const auto tone = Sine(1000.0, 0.5, rate, signal.size());
        for (size_t i = 0; i < signal.size(); ++i) {
            signal[i] += tone[i];
        }
        const double ms = MeanSquare(signal.data(), signal.size());
        const auto check = [&](const char* when) {
            for (int32_t code : {0, 1, 2, 3, 4, 5, 9}) {
                goertzel_setwindowing(bank.get(), code);
                for (uint32_t i = 0; i < bank->bin_count; ++i) {
                    const double literal = LiteralResult(*bank, i);
                    ASSERT_NEAR(goertzel_getresult(bank.get(), i), literal, Allowed(literal, ms))
                        << when << ": rate " << rate << " window " << code << " band " << i;
                }
            }
        };
        goertzel_addsamples(bank.get(), signal.data(), 100);
        check("100 samples");
        goertzel_addsamples(bank.get(), signal.data() + 100, rate - 100);
        check("full");
        // Blocks of the capture's size until the history has moved twice.
        size_t fed = rate;
        for (int moves = 0; moves < 2;) {
            goertzel_addsamples(bank.get(), signal.data() + fed, 2048);
            fed += 2048;
            if (bank->history == bank->storage) {
                ++moves;
                check("just moved");
            } else if (bank->history + bank->fill + 2048 > bank->storage + 2 * rate) {
                check("about to move");
            }
        }
    }
}

// A result is computed again after every change that can alter it (feeding, flushing,
// another window) and only then; asked again without a change, it is the same.
TEST(FilterBank, ResultsFollowEveryChangeAndRepeatOtherwise) {
    auto bank = MakeBank(44100);
    ASSERT_EQ(goertzel_addbin(bank.get(), 1000.0, 60.0), 0);
    const auto noise = Noise(3000, 23);
    const double ms = MeanSquare(noise.data(), noise.size());
    goertzel_addsamples(bank.get(), noise.data(), 2000);
    const double first = goertzel_getresult(bank.get(), 0);
    EXPECT_EQ(goertzel_getresult(bank.get(), 0), first);

    const auto expectLiteral = [&](const char* after) {
        const double literal = LiteralResult(*bank, 0);
        EXPECT_NEAR(goertzel_getresult(bank.get(), 0), literal, Allowed(literal, ms)) << after;
    };
    goertzel_addsamples(bank.get(), noise.data() + 2000, 1);
    EXPECT_NE(goertzel_getresult(bank.get(), 0), first);
    expectLiteral("one more sample");
    const double fed = goertzel_getresult(bank.get(), 0);
    goertzel_addsamples(bank.get(), noise.data(), 0);
    EXPECT_EQ(goertzel_getresult(bank.get(), 0), fed);

    goertzel_setwindowing(bank.get(), 2);
    expectLiteral("Gaussian");
    const double gaussian = goertzel_getresult(bank.get(), 0);
    EXPECT_NE(gaussian, fed);
    goertzel_setwindowing(bank.get(), 2);
    EXPECT_EQ(goertzel_getresult(bank.get(), 0), gaussian);

    goertzel_flush(bank.get());
    EXPECT_EQ(goertzel_getresult(bank.get(), 0), 0.0);
    goertzel_addsamples(bank.get(), noise.data(), 1000);
    expectLiteral("flushed and fed");
}

}  // namespace
