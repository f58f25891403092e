// Feeding, reading and changing the window from three threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "bank_fixture.h"
#include "display/bandtable.h"

namespace {

using namespace tonebank_test;

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
