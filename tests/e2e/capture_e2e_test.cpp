// The analyzer's window against a real sound server: a tone played into the null sink is
// captured from the sink's monitor and shows in its band at the level the filter bank predicts.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <vector>

#include "e2e/predicted_level.h"
#include "e2e/tone_player.h"
#include "filterbank/utonebank.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "shell/Unit1.h"
#include "core/bandlevel.h"

namespace {

using namespace spectrino;

using spectrino_test::PredictedToneLevel;

void Wait(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

void CheckToneShows(int rate, int band) {
    platform::DebugCapture quiet;
    ExceptionCapture shown;  // a message box would wait for a click
    spectrino_test::TonePlayer player(1000.0, 0.1, rate, 12);
    ASSERT_TRUE(player.Running()) << "pacat could not play into the test sink";
    TForm1 form;
    form.FormShow();
    form.Analyzer().SetSamplerate(rate);
    form.Analyzer().SetDevice("Monitor of TestSink");
    ASSERT_NE(form.Analyzer().CurrentDevice(), nullptr);
    ASSERT_EQ(form.Analyzer().CurrentDevice()->Caption, "Monitor of TestSink");
    ASSERT_TRUE(shown.Messages().empty()) << shown.Messages().front();
    // An idle null sink may sleep for up to two seconds before data flows; then one second
    // fills the longest blocks.
    Wait(4000);
    const int32_t predicted = PredictedToneLevel(rate, band, 1000.0);
    TSpectArray levels{};
    form.Spectrum1Refresh(levels);
    // A player that falls behind on a busy machine leaves silence in the sink, which the bank
    // averages in; such a second is read again a second later, a few times at most.
    for (int again = 0; again < 5 && std::abs(levels[band] - predicted) > 100; ++again) {
        std::printf("%d Hz: band %d reads %.2f dB, reading again\n", rate, band,
                    levels[band] / 100.0);
        Wait(1000);
        form.Spectrum1Refresh(levels);
    }
    const auto loudest = std::max_element(levels.begin(), levels.end()) - levels.begin();
    std::printf("%d Hz: band %d reads %.2f dB, predicted %.2f dB\n", rate, band,
                levels[band] / 100.0, predicted / 100.0);
    EXPECT_EQ(loudest, band);
    EXPECT_NEAR(levels[band], predicted, 100);
    // Bands an octave or more away (12 semitones) read at least 20 dB lower.
    for (int i = 0; i < kBandCount; ++i) {
        if (std::abs(i - band) >= 12) {
            EXPECT_LE(levels[i], levels[band] - 2000) << "band " << i;
        }
    }
}

TEST(CaptureEndToEnd, ToneShowsInItsBandAt44100) {
    CheckToneShows(44100, 74);
}

TEST(CaptureEndToEnd, ToneShowsInItsBandAt48000) {
    CheckToneShows(48000, 73);
}

}  // namespace
