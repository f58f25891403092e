// The ALSA driver against the test sound server through ALSA's "pulse" PCM: capture from the
// null sink's monitor, playback into the sink, an overrun on purpose, and the round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <vector>

#include <QAction>
#include <QMenu>

#include "alsa_test_support.h"
#include "core/bandlevel.h"
#include "core/bandtable.h"
#include "core/input_routing.h"
#include "e2e/device_menu.h"
#include "e2e/predicted_level.h"
#include "e2e/sound_server.h"
#include "e2e/tone_player.h"
#include "filterbank/utonebank.h"
#include "shell/Unit1.h"

namespace spectrino {
namespace {

using alsa_test::AlsaRegistryTest;
using alsa_test::Block;
using alsa_test::BlockLog;
using alsa_test::WaitFor;

void AddBands(TGoertzel& bank, int rate) {
    const BandTable table = ComputeBands(static_cast<float>(rate));
    for (int i = 0; i < kBandCount; ++i) {
        bank.AddBin(table.BandCentres[i], table.BandWidths[i]);
    }
}

using spectrino_test::PredictedToneLevel;

class AlsaEndToEnd : public AlsaRegistryTest {
protected:
    void SetUp() override {
        AlsaRegistryTest::SetUp();
        Set("Device", "pulse");
    }
    static std::unique_ptr<TASIOHost> Open() {
        auto host = std::make_unique<TASIOHost>();
        host->SetDriverName("Spectrino ALSA");
        EXPECT_TRUE(host->BuffersCreated());
        return host;
    }
};

// Lets the host's queued work run meanwhile.
void RunFor(int milliseconds) {
    WaitFor([] { return false; }, std::chrono::milliseconds(milliseconds));
}

bool LastSecondWhole(const std::vector<Block>& blocks, int rate) {
    if (blocks.size() < 2) {
        return false;
    }
    const int64_t step = blocks.back().position - blocks[blocks.size() - 2].position;
    for (std::size_t i = blocks.size() - 1; i > 0; --i) {
        if (blocks[i].position - blocks[i - 1].position != step) {
            return false;
        }
        if (blocks.back().position - blocks[i - 1].position >= rate) {
            return true;
        }
    }
    return false;
}

void CheckToneShows(int rate, int band) {
    spectrino_test::TonePlayer player(1000.0, 0.1, rate, 12);
    ASSERT_TRUE(player.Running()) << "pacat could not play into the test sink";
    TGoertzel bank(rate);
    AddBands(bank, rate);
    std::vector<float> mono;
    BlockLog log;
    auto host = std::make_unique<TASIOHost>();
    host->SetDriverName("Spectrino ALSA");
    ASSERT_TRUE(host->BuffersCreated());
    ASSERT_GE(host->InputChannelCount(), 2);
    host->SetSampleRate(rate);
    ASSERT_EQ(host->SampleRate(), rate);
    // Frames since the last block without the tone: a player starved on a busy machine leaves
    // silence in the sink's monitor that the bank's second would average in.
    std::atomic<int64_t> toneFrames{0};
    log.Attach(*host, [&](const TQorArrayOfSingleDynArray& in, TQorArrayOfSingleDynArray&) {
        mono.resize(in[0].size());
        MixChannels(in[0].data(), in[1].data(), mono.size(), kLeftPlusRight, mono.data());
        bank.AddSamples(mono.data(), static_cast<int32_t>(mono.size()));
        float peak = 0.0f;
        for (const float sample : mono) {
            peak = std::max(peak, std::abs(sample));
        }
        toneFrames = peak > 0.02f ? toneFrames + static_cast<int64_t>(mono.size()) : 0;
    });
    host->SetActive(true);
    ASSERT_TRUE(host->Active());
    // An idle null sink may sleep for up to two seconds before data flows.
    RunFor(4000);
    // An overrun on a busy machine leaves a gap that the bank's second would average in;
    // measure a second streamed whole, with the tone in all of it.
    const auto wholeSecond = [&] {
        return LastSecondWhole(log.Blocks(), rate) && toneFrames > rate;
    };
    for (int extra = 0; extra < 8 && !wholeSecond(); ++extra) {
        RunFor(1000);
    }
    host->SetActive(false);
    ASSERT_GT(log.Count(), 100u);

    std::vector<int32_t> levels(kBandCount);
    for (int i = 0; i < kBandCount; ++i) {
        levels[i] = BandLevel(bank.GetResult(i));
    }
    const auto loudest = std::max_element(levels.begin(), levels.end()) - levels.begin();
    const int32_t predicted = PredictedToneLevel(rate, band, 1000.0);
    std::printf("%d Hz: band %d reads %.2f dB, predicted %.2f dB\n", rate, band,
                levels[band] / 100.0, predicted / 100.0);
    EXPECT_EQ(loudest, band);
    EXPECT_NEAR(levels[band], predicted, 100);
    for (int i = 0; i < kBandCount; ++i) {
        if (std::abs(i - band) >= 12) {
            EXPECT_LE(levels[i], levels[band] - 2000) << "band " << i;
        }
    }
}

TEST_F(AlsaEndToEnd, ToneShowsInItsBand) {
    CheckToneShows(44100, 74);
    CheckToneShows(48000, 73);
}

// As a user does it: the pair picked from the window's Device menu, the tone in the bars.
TEST_F(AlsaEndToEnd, ToneShowsThroughTheWindowsDeviceMenu) {
    spectrino_test::TonePlayer player(1000.0, 0.1, 44100, 12);
    ASSERT_TRUE(player.Running()) << "pacat could not play into the test sink";
    TForm1 form(nullptr);
    // Test programs carry no version block; these name the settings key.
    AppCompanyName = "Test Maker";
    AppProductName = "Spectrino";
    form.FormShow();
    const QString pair = QStringLiteral("In 1 / In 2 [Spectrino ALSA]");
    QAction* item = spectrino_test::DeviceMenuItem(form, pair);
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_EQ(form.windowTitle(), "Spectrino [" + pair + "]");
    EXPECT_TRUE(form.ControlPanel1->isVisible());
    ASSERT_TRUE(form.Analyzer().ASIOHost->Active());
    // An idle null sink may sleep for up to two seconds before data flows; then a full second.
    WaitFor([] { return false; }, std::chrono::milliseconds(4000));
    TSpectArray levels{};
    form.Spectrum1Refresh(levels);
    const int32_t predicted = PredictedToneLevel(44100, 74, 1000.0);
    EXPECT_EQ(std::max_element(levels.begin(), levels.end()) - levels.begin(), 74);
    EXPECT_NEAR(levels[74], predicted, 100);
    AppCompanyName.clear();
    AppProductName.clear();
}

TEST_F(AlsaEndToEnd, StreamingGoesOnAfterAStalledThread) {
    Set("PeriodSize", "256");
    Set("Periods", "3");
    Set("StallOnceMs", "200");
    BlockLog log;
    const auto host = Open();
    log.Attach(*host);
    host->SetActive(true);
    // The stall comes one second into the stream, which may itself wait for the sink to wake;
    // then allow one and a half seconds more (258 blocks).
    WaitFor([&] { return log.Count() > 173 + 258; }, std::chrono::seconds(10));
    const auto stopped = std::chrono::steady_clock::now();
    host->SetActive(false);

    const auto blocks = log.Blocks();
    ASSERT_GT(blocks.size(), 100u);
    std::size_t gap = 1;
    for (std::size_t i = 1; i < blocks.size(); ++i) {
        ASSERT_GT(blocks[i].position, blocks[i - 1].position) << "block " << i;
        if (blocks[i].arrived - blocks[i - 1].arrived >
            blocks[gap].arrived - blocks[gap - 1].arrived) {
            gap = i;
        }
    }
    const auto stalled = std::chrono::duration_cast<std::chrono::milliseconds>(
        blocks[gap].arrived - blocks[gap - 1].arrived);
    const int64_t skipped = blocks[gap].position - blocks[gap - 1].position;
    std::printf(
        "stall of %lld ms at block %zu; position advanced %lld frames across it; "
        "%zu blocks followed\n",
        static_cast<long long>(stalled.count()), gap, static_cast<long long>(skipped),
        blocks.size() - gap);
    EXPECT_GE(stalled.count(), 190);
    // Streaming went on to the end: the last block came shortly before the stop.
    EXPECT_GE(blocks.size() - gap, 100u);
    EXPECT_LT(stopped - blocks.back().arrived, std::chrono::milliseconds(100));
    // The frames an overrun drops still count, so the position covers the stall; a PCM that
    // kept them delivers them late instead, block after block.
    if (skipped != 256) {
        EXPECT_GE(skipped, 0.15 * 44100);
        EXPECT_LE(skipped, (stalled.count() + 50) * 44100 / 1000);
    }
    // Afterwards blocks follow one period apart again. A busy machine may overrun once more on
    // its own; such a jump must be explained by a late block of its own, and stay rare.
    std::size_t overruns = 0;
    for (std::size_t i = gap + 1; i < blocks.size(); ++i) {
        const int64_t step = blocks[i].position - blocks[i - 1].position;
        if (step == 256) {
            continue;
        }
        ++overruns;
        const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(
            blocks[i].arrived - blocks[i - 1].arrived);
        EXPECT_LE(step, (late.count() + 50) * 44100 / 1000) << "block " << i;
    }
    EXPECT_LE(overruns, (blocks.size() - gap) / 20);
}

TEST_F(AlsaEndToEnd, OutputReturnsThroughTheSinkMonitor) {
    Set("PeriodSize", "256");
    Set("Periods", "3");
    BlockLog log;
    const auto host = Open();
    ASSERT_GE(host->OutputChannelCount(), 2);
    const int rate = 44100;
    std::atomic<int64_t> sent{-1};
    std::atomic<int64_t> heard{-1};
    TASIOTimeSub& time = host->ASIOTime();
    log.Attach(*host, [&](const TQorArrayOfSingleDynArray& in, TQorArrayOfSingleDynArray& out) {
        const int64_t position = time.SamplePos();
        // A burst one block long, once the sink is awake.
        if (sent < 0 && position >= 2 * rate) {
            for (auto& channel : out) {
                for (std::size_t i = 0; i < channel.size(); ++i) {
                    channel[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 1000.0 *
                                                                   static_cast<double>(i) / rate));
                }
            }
            sent = position;
        }
        if (sent >= 0 && heard < 0) {
            for (std::size_t i = 0; i < in[0].size(); ++i) {
                if (std::abs(in[0][i]) > 0.2f) {
                    heard = position + static_cast<int64_t>(i);
                    break;
                }
            }
        }
    });
    host->SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return heard >= 0; }, std::chrono::seconds(6)));
    host->SetActive(false);
    const double roundTrip = 1000.0 * static_cast<double>(heard - sent) / rate;
    std::printf(
        "buffer %u frames; reported latency in %d + out %d frames (%.1f ms); "
        "measured round trip %lld frames (%.1f ms)\n",
        host->BufferSize(), host->InputLatency(), host->OutputLatency(),
        1000.0 * (host->InputLatency() + host->OutputLatency()) / rate,
        static_cast<long long>(heard - sent), roundTrip);
    EXPECT_GT(heard, sent);
    EXPECT_LT(roundTrip, 1000.0);
}

// With shared memory, libpulse can deadlock inside the device when its server dies, and the
// streaming thread never comes back; without, the read fails. Either way the host hears of it,
// and nothing waits for the lost thread.
TEST_F(AlsaEndToEnd, VanishedServerBecomesAResetRequest) {
    for (const bool sharedMemory : {true, false}) {
        SCOPED_TRACE(sharedMemory ? "shared memory" : "no shared memory");
        spectrino_test::PrivateSoundServer server({"module-null-sink sink_name=test"},
                                                  sharedMemory);
        ASSERT_TRUE(server.Start()) << "pulseaudio could not be started";
        const spectrino_test::ServerAddress address(server.Address());
        BlockLog log;
        auto host = Open();
        ASSERT_TRUE(host->BuffersCreated());
        log.Attach(*host);
        host->SetActive(true);
        ASSERT_TRUE(log.WaitBlocks(20, std::chrono::seconds(8)));

        server.Kill();
        // The driver asks for a reset; reopening fails while the server is gone, which leaves
        // the host without a driver instead of with a dead stream.
        ASSERT_TRUE(
            WaitFor([&] { return host->InputChannelCount() == 0; }, std::chrono::seconds(20)));
        EXPECT_FALSE(host->BuffersCreated());
        const std::size_t blocks = log.Count();
        RunFor(200);
        EXPECT_EQ(log.Count(), blocks);
        host->SetActive(true);
        EXPECT_FALSE(host->Active());
        host.reset();
    }
}

}  // namespace
}  // namespace spectrino
