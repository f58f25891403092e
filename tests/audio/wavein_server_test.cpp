// The service with a sound server of its own, which the tests start, kill and start again.
#include <gtest/gtest.h>

#include <string>

#include "e2e/sound_server.h"
#include "wavein_support.h"

namespace spectrino_test {
namespace {

constexpr const char* kSine = "Sine source at 1000 Hz";

// The daemon these tests start and kill, with the devices they use; this process points at it.
class PrivateServer {
public:
    PrivateServer()
        : server_({"module-null-sink sink_name=test sink_properties=device.description=TestSink",
                   "module-null-sink sink_name=long "
                   "sink_properties=device.description=Überlange-Gerätebeschreibung-für-Tests",
                   "module-sine-source source_name=sine1k rate=44100 frequency=1000"}),
          address_(server_.Address()) {}

    // Starts the daemon and waits until `service` lists its devices.
    bool Start(WaveInService& service) {
        if (!server_.Start()) {
            return false;
        }
        for (int i = 0; i < 100; ++i) {
            if (service.waveInGetNumDevs() > 0) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    void Kill() { server_.Kill(); }

private:
    PrivateSoundServer server_;
    ServerAddress address_;
};

MMRESULT Open(WaveInService& service, HWAVEIN& handle, int32_t id, Recorder& recorder) {
    return service.waveInOpen(handle, id, Pcm16(1, 44100), recorder.Window(), 0,
                              CALLBACK_WINDOW | WAVE_ALLOWSYNC);
}

void Queue(WaveInService& service, HWAVEIN handle, Blocks& blocks) {
    for (size_t i = 0; i < blocks.size(); ++i) {
        ASSERT_EQ(service.waveInPrepareHeader(handle, blocks[i]), MMSYSERR_NOERROR);
        ASSERT_EQ(service.waveInAddBuffer(handle, blocks[i]), MMSYSERR_NOERROR);
    }
}

TEST(WaveInServer, NoServerThenCaptureThenServerDeathThenReconnect) {
    PrivateServer server;
    WaveInService& service = SystemWaveIn();
    Recorder recorder;

    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(service.waveInGetNumDevs(), 0u);
    WAVEINCAPS caps;
    EXPECT_EQ(service.waveInGetDevCaps(0, caps), MMSYSERR_BADDEVICEID);
    HWAVEIN handle = 5;
    EXPECT_EQ(Open(service, handle, WAVE_MAPPER, recorder), MMSYSERR_NODRIVER);
    EXPECT_EQ(handle, 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s) << "a missing server must not stall";

    ASSERT_TRUE(server.Start(service));
    const int sine = FindDevice(service, kSine);
    ASSERT_GE(sine, 0);
    ASSERT_EQ(Open(service, handle, sine, recorder), MMSYSERR_NOERROR);
    Blocks blocks(4, 2048);
    Queue(service, handle, blocks);

    bool requeue = true;
    recorder.on_data = [&](WAVEHDR* header) {
        EXPECT_GT(PowerAt(*header, 1, 1000, 44100), 1000 * PowerAt(*header, 1, 3000, 44100));
        if (requeue) {
            service.waveInAddBuffer(handle, header);
        }
    };
    ASSERT_EQ(service.waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder.PumpUntil([&] { return recorder.Of(MM_WIM_DATA).size() >= 8; }, 5s));
    requeue = false;
    recorder.on_data = nullptr;

    server.Kill();
    ASSERT_TRUE(recorder.PumpUntil([&] { return !recorder.Of(MM_WIM_CLOSE).empty(); }, 5s));
    Blocks idle(1, 2048);
    EXPECT_EQ(service.waveInPrepareHeader(handle, idle[0]), MMSYSERR_NOERROR);
    EXPECT_EQ(service.waveInAddBuffer(handle, idle[0]), MMSYSERR_NODRIVER);
    EXPECT_EQ(service.waveInStart(handle), MMSYSERR_NODRIVER);
    EXPECT_EQ(service.waveInReset(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(service.waveInStop(handle), MMSYSERR_NOERROR);
    recorder.Pump(200ms);
    for (size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i]->dwFlags & WHDR_INQUEUE, 0u);
        EXPECT_EQ(service.waveInUnprepareHeader(handle, blocks[i]), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(service.waveInClose(handle), MMSYSERR_NOERROR);
    recorder.Pump(100ms);
    const auto closes = recorder.Of(MM_WIM_CLOSE);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].handle, handle);

    EXPECT_EQ(service.waveInGetNumDevs(), 0u);
    HWAVEIN again = 0;
    EXPECT_EQ(Open(service, again, WAVE_MAPPER, recorder), MMSYSERR_NODRIVER);

    ASSERT_TRUE(server.Start(service));
    EXPECT_GE(FindDevice(service, kSine), 0);
    ASSERT_EQ(Open(service, again, WAVE_MAPPER, recorder), MMSYSERR_NOERROR);
    EXPECT_NE(again, handle);
    Blocks more(2, 2048);
    Queue(service, again, more);
    ASSERT_EQ(service.waveInStart(again), MMSYSERR_NOERROR);
    EXPECT_TRUE(recorder.PumpUntil(
        [&] {
            return recorder.Log().back().handle == again &&
                   recorder.Log().back().message == MM_WIM_DATA;
        },
        5s));
    EXPECT_EQ(service.waveInReset(again), MMSYSERR_NOERROR);
    EXPECT_EQ(service.waveInClose(again), MMSYSERR_NOERROR);
    recorder.Pump(100ms);
}

TEST(WaveInServer, ChosenSourceThatGoesAwayIsLostAndLongNamesAreCut) {
    PrivateServer server;
    WaveInService& service = SystemWaveIn();
    ASSERT_TRUE(server.Start(service));
    Recorder recorder;

    // 31 characters, two of them two bytes long.
    EXPECT_GE(FindDevice(service, "Monitor of Überlange-Gerätebesc"), 0);

    const int sine = FindDevice(service, kSine);
    ASSERT_GE(sine, 0);
    HWAVEIN handle = 0;
    ASSERT_EQ(Open(service, handle, sine, recorder), MMSYSERR_NOERROR);
    Blocks blocks(3, 2048);
    Queue(service, handle, blocks);
    ASSERT_EQ(service.waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder.PumpUntil([&] { return !recorder.Of(MM_WIM_DATA).empty(); }, 5s));

    ASSERT_EQ(std::system("pactl unload-module module-sine-source"), 0);
    ASSERT_TRUE(recorder.PumpUntil([&] { return !recorder.Of(MM_WIM_CLOSE).empty(); }, 5s));
    EXPECT_EQ(service.waveInReset(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(service.waveInClose(handle), MMSYSERR_NOERROR);

    // The snapshot still lists the source until the next enumeration; opening it now fails.
    HWAVEIN gone = 0;
    EXPECT_EQ(Open(service, gone, sine, recorder), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(FindDevice(service, kSine), -1);
    recorder.Pump(100ms);
    EXPECT_EQ(recorder.Of(MM_WIM_CLOSE).size(), 1u);
}

}  // namespace
}  // namespace spectrino_test
