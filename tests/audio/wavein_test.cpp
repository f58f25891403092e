// The wave-input service against the sound server the test run provides (a null sink "test").
#include <gtest/gtest.h>

#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "wavein_support.h"

namespace spectrino_test {
namespace {

constexpr uint32_t kBlockFrames = 2048;
constexpr uint32_t kBlockBytes = kBlockFrames * 4;  // 16-bit stereo

TEST(WaveInWindow, DeliversPostsInOrderOnItsThreadAndDropsThemWhenDestroyed) {
    std::vector<uint32_t> seen;
    std::vector<Qt::HANDLE> threads;
    auto window = std::make_unique<WaveInWindow>([&](uint32_t message, uintptr_t, WAVEHDR*) {
        seen.push_back(message);
        threads.push_back(QThread::currentThreadId());
    });
    std::thread poster([&] {
        for (uint32_t i = 0; i < 100; ++i) {
            window->Post(i, 0, nullptr);
        }
    });
    poster.join();
    EXPECT_TRUE(seen.empty()) << "posts must wait for the window's thread";
    Recorder pump;
    pump.PumpUntil([&] { return seen.size() == 100; }, 2s);
    std::vector<uint32_t> expected(100);
    std::iota(expected.begin(), expected.end(), 0u);
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(std::all_of(threads.begin(), threads.end(),
                            [](Qt::HANDLE t) { return t == QThread::currentThreadId(); }));

    window->Post(1, 0, nullptr);
    window.reset();
    pump.Pump(50ms);
    EXPECT_EQ(seen.size(), 100u);
}

class WaveIn : public ::testing::Test {
protected:
    void SetUp() override {
        const char* server = std::getenv("PULSE_SERVER");
        ASSERT_GT(service.waveInGetNumDevs(), 0u)
            << "No PulseAudio server reachable (PULSE_SERVER=" << (server ? server : "unset")
            << "). Run the suite through scripts/test.sh, which starts one with a null sink.";
    }

    WaveInService& service = SystemWaveIn();
    Recorder recorder;
};

TEST_F(WaveIn, ListsSourcesAndRejectsBadArguments) {
    const uint32_t count = service.waveInGetNumDevs();
    EXPECT_GE(FindDevice(service, "Monitor of TestSink"), 0);
    WAVEINCAPS caps;
    EXPECT_EQ(service.waveInGetDevCaps(count, caps), MMSYSERR_BADDEVICEID);

    HWAVEIN handle = 99;
    const WAVEFORMATEX good = Pcm16(2, 44100);
    EXPECT_EQ(service.waveInOpen(handle, static_cast<int32_t>(count), good, recorder.Window(), 0,
                                 CALLBACK_WINDOW),
              MMSYSERR_BADDEVICEID);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(service.waveInOpen(handle, -7, good, recorder.Window(), 0, CALLBACK_WINDOW),
              MMSYSERR_BADDEVICEID);

    std::vector<WAVEFORMATEX> bad(6, good);
    bad[0].wBitsPerSample = 8;
    bad[0].nBlockAlign = 2;
    bad[1].wBitsPerSample = 24;
    bad[1].nBlockAlign = 6;
    bad[2] = Pcm16(3, 44100);
    bad[3].wFormatTag = 3;  // IEEE float
    bad[4].nBlockAlign = 2;
    bad[5] = Pcm16(2, 0);
    for (const WAVEFORMATEX& format : bad) {
        EXPECT_EQ(
            service.waveInOpen(handle, WAVE_MAPPER, format, recorder.Window(), 0, CALLBACK_WINDOW),
            WAVERR_BADFORMAT);
    }

    WAVEHDR header;
    EXPECT_EQ(service.waveInPrepareHeader(123456, &header), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(service.waveInReset(123456), MMSYSERR_INVALHANDLE);
    recorder.Pump(50ms);
    EXPECT_TRUE(recorder.Log().empty());
}

TEST_F(WaveIn, FollowsTheHeaderRulesAndNeverReusesHandles) {
    HWAVEIN handle = 0;
    ASSERT_EQ(service.waveInOpen(handle, WAVE_MAPPER, Pcm16(1, 48000), recorder.Window(), 0,
                                 CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    ASSERT_NE(handle, 0u);

    Blocks blocks(2, 4096);
    WAVEHDR empty;
    EXPECT_EQ(service.waveInPrepareHeader(handle, nullptr), MMSYSERR_INVALPARAM);
    EXPECT_EQ(service.waveInPrepareHeader(handle, &empty), MMSYSERR_INVALPARAM);
    EXPECT_EQ(service.waveInAddBuffer(handle, blocks[0]), WAVERR_UNPREPARED);

    ASSERT_EQ(service.waveInPrepareHeader(handle, blocks[0]), MMSYSERR_NOERROR);
    ASSERT_EQ(service.waveInPrepareHeader(handle, blocks[1]), MMSYSERR_NOERROR);
    blocks[0]->dwFlags |= WHDR_DONE;
    ASSERT_EQ(service.waveInAddBuffer(handle, blocks[0]), MMSYSERR_NOERROR);
    ASSERT_EQ(service.waveInAddBuffer(handle, blocks[1]), MMSYSERR_NOERROR);
    EXPECT_EQ(blocks[0]->dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
    EXPECT_EQ(service.waveInAddBuffer(handle, blocks[0]), WAVERR_STILLPLAYING);
    EXPECT_EQ(service.waveInUnprepareHeader(handle, blocks[0]), WAVERR_STILLPLAYING);
    EXPECT_EQ(service.waveInClose(handle), WAVERR_STILLPLAYING);

    // Never started: the reset hands both back empty, in queue order.
    ASSERT_EQ(service.waveInReset(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder.PumpUntil([&] { return recorder.Of(MM_WIM_DATA).size() == 2; }, 2s));
    const auto returned = recorder.Of(MM_WIM_DATA);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(returned[i].header, blocks[i]);
        EXPECT_EQ(returned[i].handle, handle);
        EXPECT_EQ(returned[i].flags, WHDR_PREPARED | WHDR_DONE);
        EXPECT_EQ(returned[i].bytes, 0u);
        EXPECT_EQ(service.waveInUnprepareHeader(handle, blocks[i]), MMSYSERR_NOERROR);
        EXPECT_EQ(blocks[i]->dwFlags, WHDR_DONE);
    }
    ASSERT_EQ(service.waveInClose(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(service.waveInClose(handle), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(service.waveInStart(handle), MMSYSERR_INVALHANDLE);
    ASSERT_TRUE(recorder.PumpUntil([&] { return !recorder.Of(MM_WIM_CLOSE).empty(); }, 2s));
    EXPECT_EQ(recorder.Log().front().message, MM_WIM_OPEN);
    EXPECT_EQ(recorder.Log().front().handle, handle);
    EXPECT_EQ(recorder.Log().back().message, MM_WIM_CLOSE);
    EXPECT_EQ(recorder.Log().back().handle, handle);

    HWAVEIN next = 0;
    ASSERT_EQ(service.waveInOpen(next, WAVE_MAPPER, Pcm16(2, 44100), recorder.Window(), 0,
                                 CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    EXPECT_NE(next, handle);
    EXPECT_EQ(service.waveInClose(next), MMSYSERR_NOERROR);
}

TEST_F(WaveIn, CapturesAToneIntoFullBuffersInQueueOrderOnlyWhileStarted) {
    TonePlayer tone("test", 1000);
    const int id = FindDevice(service, "Monitor of TestSink");
    ASSERT_GE(id, 0);
    HWAVEIN handle = 0;
    ASSERT_EQ(
        service.waveInOpen(handle, id, Pcm16(2, 44100), recorder.Window(), 0, CALLBACK_WINDOW),
        MMSYSERR_NOERROR);

    // Returned buffers are queued again, as the capture component does, up to `wanted`.
    Blocks blocks(8, kBlockBytes);
    size_t queued = 0;
    size_t wanted = 0;
    struct Seen {
        double tone;
        double off;
        bool requeued;
    };
    std::vector<Seen> seen;
    recorder.on_data = [&](WAVEHDR* header) {
        const bool requeue = seen.size() < wanted;
        seen.push_back(
            {PowerAt(*header, 2, 1000, 44100), PowerAt(*header, 2, 3000, 44100), requeue});
        if (requeue) {
            EXPECT_EQ(service.waveInUnprepareHeader(handle, header), MMSYSERR_NOERROR);
            EXPECT_EQ(service.waveInPrepareHeader(handle, header), MMSYSERR_NOERROR);
            EXPECT_EQ(service.waveInAddBuffer(handle, header), MMSYSERR_NOERROR);
            ++queued;
        }
    };
    const auto queue_all = [&] {
        // Continue the cycle where the last returned buffer left it.
        const size_t next = queued;
        for (size_t i = 0; i < blocks.size(); ++i, ++queued) {
            WAVEHDR* header = blocks[(next + i) % blocks.size()];
            ASSERT_EQ(service.waveInPrepareHeader(handle, header), MMSYSERR_NOERROR);
            ASSERT_EQ(service.waveInAddBuffer(handle, header), MMSYSERR_NOERROR);
        }
    };
    const auto reset_and_collect = [&] {
        wanted = 0;
        ASSERT_EQ(service.waveInReset(handle), MMSYSERR_NOERROR);
        ASSERT_TRUE(recorder.PumpUntil([&] { return seen.size() == queued; }, 2s));
    };

    // Run until the null sink is awake and audio flows, then stop everything.
    queue_all();
    wanted = 4;
    ASSERT_EQ(service.waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder.PumpUntil([&] { return seen.size() >= wanted; }, 10s));
    reset_and_collect();

    // Queued but not started: nothing fills although audio flows.
    queue_all();
    const size_t before_start = seen.size();
    recorder.Pump(300ms);
    EXPECT_EQ(seen.size(), before_start) << "buffers filled while not started";

    constexpr size_t kRun = 40;
    const size_t run_end = before_start + kRun;
    wanted = run_end;
    ASSERT_EQ(service.waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder.PumpUntil([&] { return seen.size() >= wanted; }, 10s))
        << seen.size() << " buffers came back";
    ASSERT_FALSE(tone.Failed());
    EXPECT_EQ(service.waveInClose(handle), WAVERR_STILLPLAYING);
    reset_and_collect();
    ASSERT_EQ(service.waveInClose(handle), MMSYSERR_NOERROR);

    // Every buffer came back in the order it was queued; all that were not cut short by a
    // reset are full.
    const auto data = recorder.Of(MM_WIM_DATA);
    ASSERT_EQ(data.size(), seen.size());
    for (size_t k = 0; k < data.size(); ++k) {
        ASSERT_EQ(blocks.IndexOf(data[k].header), static_cast<int>(k % blocks.size())) << k;
        EXPECT_EQ(data[k].handle, handle);
        EXPECT_EQ(data[k].flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
        if (seen[k].requeued) {
            EXPECT_EQ(data[k].bytes, kBlockBytes) << k;
        }
    }

    // The latest full blocks hold the tone and nothing else. A heavily loaded machine (a
    // sanitizer build on two cores) may starve the player into a short underrun, so a
    // silent block or two are allowed, a wrong signal never.
    size_t toned = 0;
    for (size_t k = run_end - 8; k < run_end; ++k) {
        SCOPED_TRACE(k);
        if (seen[k].tone > 1e-4) {
            ++toned;
            EXPECT_GT(seen[k].tone, 1000 * seen[k].off);
        } else {
            EXPECT_LT(seen[k].off, 1e-6);
        }
    }
    EXPECT_GE(toned, 6u);

    // Blocks of 2048 frames at 44100 Hz stand for 46 ms each; reported, not asserted.
    const auto span = data[run_end - 1].when - data[run_end - kRun / 2].when;
    std::printf("mean gap between %u-frame blocks: %.1f ms\n", kBlockFrames,
                std::chrono::duration<double, std::milli>(span).count() / (kRun / 2 - 1));
}

}  // namespace
}  // namespace spectrino_test
