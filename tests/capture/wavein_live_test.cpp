// The component on the platform's own wave input, reading the test server's null-sink monitor
// while a tone plays into the sink: winmm under Wine on Windows (where a script plays the
// tone), PulseAudio elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

#include "capture/wavein.h"
#include "platform/event_loop.h"
#include "wait_for.h"

#if !defined(_WIN32)
#include "e2e/tone_player.h"
#endif

namespace {

using namespace std::chrono_literals;
using spectrino::TWaveIn;
using spectrino::testing::WaitFor;

constexpr const char* kMonitor = "Monitor of TestSink";

TEST(WaveInLive, RateChangesWhileRecordingKeepDataComing) {
#if !defined(_WIN32)
    const spectrino_test::TonePlayer player(1000.0, 0.1, 44100, 12);
#endif
    int argc = 1;
    char name[] = "wavein_live_test";
    char* argv[] = {name, nullptr};
    const spectrino::platform::EventLoop loop(argc, argv);

    TWaveIn wave;
    bool listed = false;
    for (uint32_t i = 0; i < wave.Count(); ++i) {
        listed = listed || wave.DeviceName(static_cast<int>(i)) == kMonitor;
    }
    ASSERT_TRUE(listed) << "the test sound server's null sink is not among the devices";

    int blocks = 0;
    int loud = 0;  // blocks that carry the tone (-20 dBFS peaks at about 3277)
    int lost = 0;
    wave.OnData = [&](TWaveIn& sender, const int16_t* ptr) {
        ++blocks;
        const auto [low, high] = std::minmax_element(ptr, ptr + sender.BlockSize() * 2);
        if (*high > 1000 && *low < -1000) {
            ++loud;
        }
    };
    wave.OnDeviceLost = [&](TWaveIn&) { ++lost; };
    wave.SetBlockSize(2048);
    wave.SetCurrentDevice(kMonitor);
    wave.SetEnabled(true);
    // An idle null sink may take up to two seconds to wake.
    ASSERT_TRUE(WaitFor([&] { return loud >= 3; }, 6s))
        << blocks << " blocks, " << loud << " with the tone";

    for (const uint32_t rate : {48000u, 44100u}) {
        SCOPED_TRACE(rate);
        wave.SetSampleRate(rate);
        const int before = loud;
        EXPECT_TRUE(WaitFor([&] { return loud >= before + 5; }, 4s))
            << loud - before << " blocks with the tone after the change";
        EXPECT_EQ(lost, 0);
    }
    wave.SetEnabled(false);
    WaitFor([] { return false; }, 200ms);  // late notices of the last opening
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(wave.BufferCount(), 0u);
}

}  // namespace
