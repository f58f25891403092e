// Feeding, reading and changing the window from three threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "bank_fixture.h"
#include "core/bandtable.h"

namespace {

using namespace tonebank_test;

BankPtr BandBank(uint32_t rate) {
    auto bank = MakeBank(rate);
    const auto table = spectrino::ComputeBands(static_cast<float>(rate));
    for (int i = 0; i < spectrino::kBandCount; ++i) {
        goertzel_addbin(bank.get(), table.BandCentres[i], table.BandWidths[i]);
    }
    return bank;
}

TEST(FilterBankThreads, FeedReadAndWindowChangeOverlapSafely) {
    auto bank = MakeBank(44100);
    const auto table = spectrino::ComputeBands(44100.0f);
    for (int i = 0; i < 128; ++i) {
        goertzel_addbin(bank.get(), table.BandCentres[i], table.BandWidths[i]);
    }
    const auto tone = Sine(1000.0, 0.5, 44100, 2048 * 16);
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::atomic<int> changes{0};

    std::thread feeder([&] {
        for (int b = 0; !stop; b = (b + 1) % 16) {
            goertzel_addsamples(bank.get(), tone.data() + b * 2048, 2048);
            ++blocks;
        }
    });
    std::thread windows([&] {
        for (int code = 0; !stop; code = (code + 1) % 6) {
            goertzel_setwindowing(bank.get(), code);
            ++changes;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    int bad = 0;
    for (int pass = 0; pass < 10 || blocks < 20 || changes < 5; ++pass) {
        for (uint32_t i = 0; i < 128; ++i) {
            const double r = goertzel_getresult(bank.get(), i);
            if (!std::isfinite(r) || r < 0.0) {
                ++bad;
            }
        }
        if (pass % 10 == 9) {
            goertzel_flush(bank.get());
        }
    }
    stop = true;
    feeder.join();
    windows.join();
    EXPECT_EQ(bad, 0);

    // The bank is intact afterwards: the tone's band stands out.
    goertzel_setwindowing(bank.get(), 4);
    goertzel_addsamples(bank.get(), tone.data(), static_cast<uint32_t>(tone.size()));
    uint32_t loudest = 0;
    for (uint32_t i = 1; i < 128; ++i) {
        if (goertzel_getresult(bank.get(), i) > goertzel_getresult(bank.get(), loudest)) {
            loudest = i;
        }
    }
    EXPECT_EQ(loudest, 74u);
}

}  // namespace

namespace {

// A feeder and window changes from two threads while results are read: a result read under
// the lock always matches the literal loop over the history and the window of that moment, so
// no read ever mixes two windows or a half-done feed.
TEST(FilterBankThreads, ReadsMatchTheHistoryAndWindowOfTheirMoment) {
    auto bank = BandBank(44100);
    const auto noise = Noise(44100 + 2048 * 8, 21);
    goertzel_addsamples(bank.get(), noise.data(), 44100);
    const double ms = MeanSquare(noise.data(), noise.size());
    std::atomic<bool> stop{false};
    std::atomic<int> feeds{0};
    std::thread feeder([&] {
        for (uint32_t b = 0; !stop; b = (b + 1) % 8) {
            goertzel_addsamples(bank.get(), noise.data() + 44100 + b * 2048, 2048 - b * 97);
            ++feeds;
        }
    });
    int mismatches = 0;
    for (int round = 0; round < 24 || feeds < 20; ++round) {
        goertzel_setwindowing(bank.get(), round % 7);
        const std::lock_guard guard(bank->lock);
        for (uint32_t i : {40u, 74u, 127u}) {
            const double literal = LiteralResult(*bank, i);
            if (std::abs(goertzel_getresult(bank.get(), i) - literal) > Allowed(literal, ms)) {
                ++mismatches;
            }
        }
    }
    stop = true;
    feeder.join();
    EXPECT_EQ(mismatches, 0);
}

// Window changes racing each other and new bins. A checker looks at the bank whenever it gets
// the lock: the newest active bin must run the bank's current window at its own length, and
// the bank ends with one window.
TEST(FilterBankThreads, RacingWindowChangesAndNewBinsKeepOneWindow) {
    constexpr double kWidths[] = {1.0, 10.0, 100.0, 1000.0};
    auto bank = MakeBank(44100);
    const auto noise = Noise(44100, 5);
    goertzel_addsamples(bank.get(), noise.data(), 44100);
    const double ms = MeanSquare(noise.data(), noise.size());
    // Number of the last active bins (up to two) whose result is not that of the bank's
    // window; under the lock.
    const auto stale = [&](goertzel_bank& bank) {
        int count = 0;
        int looked = 0;
        for (uint32_t i = bank.bin_count; i-- > 0 && looked < 2;) {
            if (bank.bins[i]->inactive) {
                continue;
            }
            ++looked;
            const double literal = LiteralResult(bank, i);
            if (std::abs(goertzel_getresult(&bank, i) - literal) > Allowed(literal, ms)) {
                ++count;
            }
        }
        return count;
    };

    std::atomic<bool> adding{true};
    std::atomic<int> staleSeen{0};
    std::atomic<int> checks{0};
    const auto cycle = [&](int32_t first) {
        for (int32_t code = first; adding; code = (code + 1) % 6) {
            goertzel_setwindowing(bank.get(), code);
        }
    };
    std::thread a(cycle, 1);
    std::thread b(cycle, 4);
    std::thread checker([&] {
        while (adding) {
            {
                const std::lock_guard guard(bank->lock);
                staleSeen += stale(*bank);
            }
            ++checks;
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 120; ++i) {
        // Every fifth bin lies above half the rate.
        const double centre = i % 5 == 4 ? 30000.0 : 50.0 + i * 150.0;
        ASSERT_EQ(goertzel_addbin(bank.get(), centre, kWidths[i % 4]), i);
        // Adding is quick: let the checker look between additions.
        for (const int seen = checks; checks == seen;) {
            std::this_thread::yield();
        }
    }
    adding = false;
    a.join();
    b.join();
    checker.join();
    EXPECT_GT(checks, 0);
    EXPECT_EQ(staleSeen, 0);
    EXPECT_EQ(stale(*bank), 0) << "window " << bank->window_type;
}

}  // namespace
