// The driver's rate conversion on its own: a tone keeps its level in its band, and the delay
// it reports is the one a click takes through it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "core/bandlevel.h"
#include "core/bandtable.h"
#include "filterbank/utonebank.h"
#include "resampler.h"

namespace spectrino {
namespace {

using jack::Resampler;

// The band's level after two seconds of `mono`, fed in blocks as the host feeds the bank.
int32_t BandReading(const std::vector<float>& mono, int rate, int band) {
    TGoertzel bank(rate);
    const BandTable table = ComputeBands(static_cast<float>(rate));
    for (int i = 0; i < kBandCount; ++i) {
        bank.AddBin(table.BandCentres[i], table.BandWidths[i]);
    }
    for (std::size_t at = 0; at + 1024 <= mono.size(); at += 1024) {
        bank.AddSamples(mono.data() + at, 1024);
    }
    return BandLevel(bank.GetResult(band));
}

std::vector<float> Tone(double frequency, int rate, int frames) {
    std::vector<float> tone(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        tone[static_cast<std::size_t>(i)] =
            static_cast<float>(0.1 * std::sin(2 * std::numbers::pi * frequency * i / rate));
    }
    return tone;
}

// Runs `in` through the converter in periods of `period`, taking blocks of `block` frames as
// the driver does; returns what came out of channel 0.
std::vector<float> Convert(Resampler& resampler, const std::vector<float>& in, int period,
                           int block) {
    std::vector<float> out;
    std::vector<float> taken(static_cast<std::size_t>(block));
    for (std::size_t at = 0; at + static_cast<std::size_t>(period) <= in.size();
         at += static_cast<std::size_t>(period)) {
        const float* planes[2] = {in.data() + at, in.data() + at};
        resampler.Push(planes, period);
        while (resampler.Queued() >= block) {
            float* outPlanes[2] = {taken.data(), nullptr};
            resampler.Pop(outPlanes, block);
            out.insert(out.end(), taken.begin(), taken.end());
        }
    }
    return out;
}

TEST(JackResampler, ToneReadsAsAtTheServersRate) {
    // Server and host the other way round each time; the band of 1000 Hz at the host's rate.
    struct Case {
        int server;
        int host;
        int band;
    };
    for (const Case c : {Case{48000, 44100, 74}, Case{44100, 48000, 73}}) {
        SCOPED_TRACE(c.host);
        const int period = 1024;
        Resampler resampler(2, c.server, c.host, period, 4 * period);
        ASSERT_TRUE(resampler.Valid());
        const std::vector<float> converted =
            Convert(resampler, Tone(1000.0, c.server, 3 * c.server), period, period);
        const std::vector<float> passed = Tone(1000.0, c.host, 3 * c.host);
        ASSERT_GE(converted.size(), static_cast<std::size_t>(2 * c.host));
        // The newest second of each, as the bank would hold it after streaming.
        const int32_t throughConverter = BandReading(
            std::vector<float>(converted.end() - 2 * c.host, converted.end()), c.host, c.band);
        const int32_t direct = BandReading(
            std::vector<float>(passed.end() - 2 * c.host, passed.end()), c.host, c.band);
        std::printf("%d -> %d Hz: band %d reads %.2f dB resampled, %.2f dB passed through\n",
                    c.server, c.host, c.band, throughConverter / 100.0, direct / 100.0);
        EXPECT_NEAR(throughConverter, direct, 20);
        EXPECT_GT(direct, -3000);
    }
}

TEST(JackResampler, ReportedDelayIsHowLateAClickComesOut) {
    for (const double to : {44100.0, 48000.0}) {
        const double from = to == 44100.0 ? 48000.0 : 44100.0;
        Resampler resampler(1, from, to, 256, 8192);
        // Frame by frame, as time passes: when does the click become available, counted in
        // output frames, and where in the output does it stand?
        int64_t taken = 0;
        int64_t clickAt = -1;
        int32_t pushed = 0;
        float frame = 1.0f;
        float out = 0.0f;
        while (clickAt < 0 && pushed < 4096) {
            const float* planes[1] = {&frame};
            resampler.Push(planes, 1);
            frame = 0.0f;
            ++pushed;
            while (resampler.Queued() > 0) {
                float* outPlanes[1] = {&out};
                resampler.Pop(outPlanes, 1);
                if (std::abs(out) > 0.5f) {
                    clickAt = taken;
                }
                ++taken;
            }
        }
        ASSERT_GE(clickAt, 0);
        // The click went in as frame 0; the frame that released it was number pushed - 1.
        const double late = (pushed - 1) * to / from - static_cast<double>(clickAt);
        std::printf("%.0f -> %.0f Hz: reported delay %d frames, click came %.1f frames late\n",
                    from, to, resampler.Delay(), late);
        EXPECT_GT(resampler.Delay(), 0);
        EXPECT_NEAR(resampler.Delay(), late, 2.0);
    }
}

TEST(JackResampler, QueueHoldsSilenceAheadAndDropsWhatOverflows) {
    Resampler resampler(2, 44100.0, 48000.0, 128, 256);
    resampler.PushSilence(100);
    EXPECT_EQ(resampler.Queued(), 100);
    std::vector<float> left(100, 1.0f);
    std::vector<float> right(100, 1.0f);
    float* planes[2] = {left.data(), right.data()};
    resampler.Pop(planes, 60);
    EXPECT_EQ(resampler.Queued(), 40);
    EXPECT_EQ(left[0], 0.0f);
    EXPECT_EQ(right[59], 0.0f);
    EXPECT_EQ(left[60], 1.0f);  // nothing beyond what was taken
    // Far more than the queue holds: it fills up and stops there.
    const std::vector<float> loud(128, 0.5f);
    const float* in[2] = {loud.data(), loud.data()};
    for (int i = 0; i < 10; ++i) {
        resampler.Push(in, 128);
    }
    EXPECT_GE(resampler.Queued(), 256);
    EXPECT_LE(resampler.Queued(), 256 + 140 + 64);
}

}  // namespace
}  // namespace spectrino
