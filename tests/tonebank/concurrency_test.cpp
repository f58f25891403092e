// Feeding, reading and changing the window from three threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "bank_fixture.h"
#include "core/bandtable.h"
#include "window.h"

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

int32_t WindowType(goertzel_bank& bank) {
    const std::lock_guard guard(bank.lock);
    return bank.window_type;
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

// The feed must not wait while a window change makes its tables (tens of milliseconds for the
// band table): each feed below that completes while the old window is still in force went
// through during a change.
TEST(FilterBankThreads, FeedsGoOnWhileTheWindowChanges) {
    auto bank = BandBank(44100);
    const auto tone = Sine(1000.0, 0.5, 44100, 2048);
    int fedDuringChanges = 0;
    for (const int32_t code : {3, 1, 2, 3, 4}) {
        const int32_t before = WindowType(*bank);
        std::atomic<bool> started{false};
        std::thread change([&] {
            started = true;
            goertzel_setwindowing(bank.get(), code);
        });
        while (!started) {
            std::this_thread::yield();
        }
        while (true) {
            goertzel_addsamples(bank.get(), tone.data(), 2048);
            if (WindowType(*bank) != before) {
                break;
            }
            ++fedDuringChanges;
        }
        change.join();
    }
    EXPECT_GT(fedDuringChanges, 0);
}

// Window changes racing each other and new bins. A checker looks at the whole bank whenever it
// gets the lock: every active bin must run a table of the bank's current window and of its own
// length at all times, and the bank ends with one window.
TEST(FilterBankThreads, RacingWindowChangesAndNewBinsKeepOneWindow) {
    constexpr double kWidths[] = {1.0, 10.0, 100.0, 1000.0};
    // The table every bin should hold, by window code and width.
    std::vector<std::vector<double>> expected[6];
    for (int32_t code = 0; code < 6; ++code) {
        for (const double width : kWidths) {
            const auto n = static_cast<uint32_t>(44100.0 / width + 0.5);
            double* table = tonebank::window_create(code, n);
            expected[code].emplace_back(table, table + n);
            tonebank::window_free(table);
        }
    }
    const auto width_index = [&](const tonebank::goertzel_bin& bin) {
        return std::find(std::begin(kWidths), std::end(kWidths), bin.bandwidth) -
               std::begin(kWidths);
    };
    // Number of active bins whose table is not that of the bank's window; under the lock.
    const auto stale = [&](const goertzel_bank& bank) {
        int count = 0;
        for (uint32_t i = 0; i < bank.bin_count; ++i) {
            const tonebank::goertzel_bin& bin = *bank.bins[i];
            if (bin.inactive) {
                continue;
            }
            const std::vector<double>& want =
                expected[bank.window_type][static_cast<size_t>(width_index(bin))];
            if (bin.window == nullptr ||
                std::memcmp(want.data(), bin.window, sizeof(double) * want.size()) != 0) {
                ++count;
            }
        }
        return count;
    };

    auto bank = MakeBank(44100);
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
