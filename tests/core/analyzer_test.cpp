// The analyzer's start, its commands, the levels it hands the spectrum and the routing of
// captured blocks into the bank, on a fake window.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <thread>
#include <vector>

#include "fake_analyzer_window.h"

namespace {

using namespace spectrino;
using namespace spectrino_test;

TEST_F(AnalyzerTest, StartsAt44100WithPeakDecaySlowAndLeftPlusRight) {
    Instance& a = Start();
    EXPECT_EQ(a.analyzer->Samplerate(), 44100);
    ASSERT_NE(a.analyzer->Goertzel(), nullptr);
    EXPECT_TRUE(a.spectrum.shown);
    EXPECT_EQ(a.spectrum.Samplerate(), 44100.0f);
    EXPECT_EQ(a.window.CheckedOf(cmRate44100, cmRate48000), std::vector<int>{0});
    EXPECT_EQ(a.window.CheckedOf(cmPeakHold, cmPeakDecay), std::vector<int>{1});
    EXPECT_EQ(a.spectrum.PeakDisplay(), TPeakDisplay::pdDecay);
    EXPECT_EQ(a.window.CheckedOf(cmDecayTime + 1, cmDecayTime + 3), std::vector<int>{0});
    EXPECT_EQ(a.spectrum.DecaySpeed(), TDecaySpeed::dsSlow);
    EXPECT_EQ(a.window.CheckedOf(cmInputMode + 1, cmInputMode + 4), std::vector<int>{0});
    EXPECT_TRUE(a.window.CheckedOf(cmWindowing, cmWindowing + 5).empty());
    EXPECT_TRUE(a.window.Checked(cmOn));
    EXPECT_FALSE(a.window.Checked(cmAlwaysOnTop));
    EXPECT_FALSE(a.window.Visible(cmControlPanel));
    EXPECT_EQ(a.analyzer->CurrentDevice(), nullptr);

    // Shown without stored settings: the list is there, nothing is selected or opened, and
    // the window sits at its design place.
    a.analyzer->Show();
    EXPECT_EQ(a.window.deviceItems,
              (std::vector<std::string>{"WaveMapper", "Line In", "Monitor of TestSink"}));
    EXPECT_TRUE(a.window.CheckedDevices().empty());
    EXPECT_EQ(a.analyzer->CurrentDevice(), nullptr);
    EXPECT_EQ(a.window.caption, "Spectrino");
    EXPECT_EQ(wave.opens, 0);
    EXPECT_EQ(a.window.busy, 0);
    ASSERT_FALSE(a.window.placements.empty());
    EXPECT_EQ(a.window.placements[0], std::make_pair(TBox{672, 290, 464, 346}, true));
}

TEST_F(AnalyzerTest, TestDataModesReplaceTheMeasuredLevels) {
    Instance& a = Start();
    // Device mode: an empty bank reads the floor, a tone shows in its band.
    for (int32_t v : a.Refresh()) {
        ASSERT_EQ(v, -14400);
    }
    a.FeedTone(1000.0);
    const TSpectArray device = a.Refresh();
    EXPECT_EQ(std::max_element(device.begin(), device.end()) - device.begin(), 74);
    EXPECT_NEAR(device[74], -1257, 30);

    a.analyzer->Command(cmTestSilence);
    EXPECT_EQ(a.analyzer->TestMode(), 1);
    EXPECT_FALSE(a.window.noiseEnabled || a.window.randEnabled);
    for (int32_t v : a.Refresh()) {
        ASSERT_EQ(v, -14400);
    }

    a.analyzer->Command(cmTestNoise);
    EXPECT_EQ(a.analyzer->TestMode(), 2);
    EXPECT_TRUE(a.window.noiseEnabled);
    EXPECT_FALSE(a.window.randEnabled);
    a.window.levels.Noise = -80;  // read at every refresh
    for (int32_t v : a.Refresh()) {
        ASSERT_EQ(v, -8000);
    }

    a.analyzer->Command(cmTestRand);
    EXPECT_EQ(a.analyzer->TestMode(), 3);
    EXPECT_FALSE(a.window.noiseEnabled);
    EXPECT_TRUE(a.window.randEnabled);
    a.window.levels.RandLow = -72;
    a.window.levels.RandHigh = -72;
    for (int32_t v : a.Refresh()) {
        ASSERT_EQ(v, -7200);
    }
    // Either order of the bounds gives the same range, upper bound excluded.
    for (auto [low, high] : {std::pair{-5, -72}, std::pair{-72, -5}}) {
        a.window.levels.RandLow = low;
        a.window.levels.RandHigh = high;
        int32_t lo = 0, hi = -100000;
        for (int pass = 0; pass < 2000; ++pass) {
            for (int32_t v : a.Refresh()) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
        EXPECT_EQ(lo, -7200);
        EXPECT_EQ(hi, -501);
    }
    // The upper box takes any integer: past 21474836 dB the hundredths no longer fit 32 bits,
    // and the draw must still run from -72 dB up (or down), not from a wrapped bound.
    a.window.levels.RandLow = -72;
    for (int high : {21474837, INT_MAX, INT_MIN}) {
        a.window.levels.RandHigh = high;
        int beyond = 0;
        for (int32_t v : a.Refresh()) {
            ASSERT_TRUE(high > 0 ? v >= -7200 : v < -7200) << high << ": " << v;
            beyond += (high > 0 ? v > 0 : v < -14400) ? 1 : 0;
        }
        EXPECT_GT(beyond, 100) << high;
    }

    a.analyzer->Command(cmTestDevice);
    EXPECT_EQ(a.analyzer->TestMode(), 0);
    EXPECT_FALSE(a.window.noiseEnabled || a.window.randEnabled);
    EXPECT_EQ(a.Refresh()[74], device[74]);
}

TEST_F(AnalyzerTest, CommandsKeepTheirCheckMarks) {
    Instance& a = Start();
    a.analyzer->Command(cmOn);
    EXPECT_FALSE(a.window.Checked(cmOn));
    EXPECT_FALSE(a.spectrum.enabled);
    a.analyzer->Command(cmOn);
    EXPECT_TRUE(a.window.Checked(cmOn));
    EXPECT_TRUE(a.spectrum.enabled);

    for (int pass = 0; pass < 2; ++pass) {  // the checked item again stays checked
        a.analyzer->Command(cmDecayTime + 3);
        EXPECT_EQ(a.window.CheckedOf(cmDecayTime + 1, cmDecayTime + 3), std::vector<int>{2});
        EXPECT_EQ(a.spectrum.DecaySpeed(), TDecaySpeed::dsFast);
        a.analyzer->Command(cmPeakHold);
        EXPECT_EQ(a.window.CheckedOf(cmPeakHold, cmPeakDecay), std::vector<int>{0});
        EXPECT_EQ(a.spectrum.PeakDisplay(), TPeakDisplay::pdHold);
    }
    a.analyzer->Command(cmDecayTime + 2);
    EXPECT_EQ(a.spectrum.DecaySpeed(), TDecaySpeed::dsMedium);
    EXPECT_EQ(a.window.CheckedOf(cmDecayTime + 1, cmDecayTime + 3), std::vector<int>{1});
    // Codes other than medium and fast are slow, and are kept as given.
    a.analyzer->SetDecayTime(7);
    EXPECT_EQ(a.analyzer->DecayTime(), 7);
    EXPECT_EQ(a.window.CheckedOf(cmDecayTime + 1, cmDecayTime + 3), std::vector<int>{0});

    a.analyzer->Command(cmWindowing + 5);
    EXPECT_EQ(a.analyzer->WindowType(), 5);
    EXPECT_EQ(a.window.CheckedOf(cmWindowing, cmWindowing + 5), std::vector<int>{5});
    a.analyzer->SetWindowType(9);
    EXPECT_EQ(a.analyzer->WindowType(), 9);
    EXPECT_EQ(a.window.CheckedOf(cmWindowing, cmWindowing + 5), std::vector<int>{0});

    a.analyzer->Command(cmAlwaysOnTop);
    EXPECT_TRUE(a.window.Checked(cmAlwaysOnTop));
    EXPECT_TRUE(a.window.topmost);
    a.analyzer->Command(cmAlwaysOnTop);
    EXPECT_FALSE(a.window.Checked(cmAlwaysOnTop));
    EXPECT_FALSE(a.window.topmost);

    a.analyzer->Command(cmAbout);
    EXPECT_EQ(a.window.aboutShown, 1);

    // The colour dialog starts from the spectrum's settings; Cancel changes nothing.
    const TColourSettings before{a.spectrum.HighColor(), a.spectrum.MidColor(),
                                 a.spectrum.LowColor(), a.spectrum.HighTreshhold(),
                                 a.spectrum.MidTreshhold()};
    const int paints = a.spectrum.invalidations;
    a.analyzer->Command(cmColors);
    EXPECT_EQ(a.window.editedFrom, before);
    EXPECT_EQ(a.spectrum.invalidations, paints);
    a.window.confirm = TColourSettings{0x102030, 0x405060, 0x708090, -6, -30};
    a.analyzer->Command(cmColors);
    EXPECT_EQ(a.spectrum.HighColor(), 0x102030u);
    EXPECT_EQ(a.spectrum.MidColor(), 0x405060u);
    EXPECT_EQ(a.spectrum.LowColor(), 0x708090u);
    EXPECT_EQ(a.spectrum.HighTreshhold(), -6);
    EXPECT_EQ(a.spectrum.MidTreshhold(), -30);
    EXPECT_GT(a.spectrum.invalidations, paints);
}

TEST_F(AnalyzerTest, SampleRateChangesRebuildTheBankOnlyWhenTheRateChanges) {
    Instance& a = Start();
    TGoertzel* first = a.analyzer->Goertzel();
    a.analyzer->SetSamplerate(44100);
    EXPECT_EQ(a.analyzer->Goertzel(), first);

    a.analyzer->Command(cmRate48000);
    EXPECT_EQ(a.analyzer->Samplerate(), 48000);
    EXPECT_EQ(a.spectrum.Samplerate(), 48000.0f);
    EXPECT_EQ(a.window.CheckedOf(cmRate44100, cmRate48000), std::vector<int>{1});
    a.FeedTone(1000.0);
    EXPECT_EQ(a.Loudest(), 73);

    // Any other rate means 44100; the new bank starts empty.
    a.analyzer->SetSamplerate(22050);
    EXPECT_EQ(a.analyzer->Samplerate(), 44100);
    EXPECT_EQ(a.window.CheckedOf(cmRate44100, cmRate48000), std::vector<int>{0});
    EXPECT_EQ(a.Refresh()[73], -14400);
    TGoertzel* rebuilt = a.analyzer->Goertzel();
    a.analyzer->SetSamplerate(44100);
    EXPECT_EQ(a.analyzer->Goertzel(), rebuilt);
}

TEST_F(AnalyzerTest, ARateChangeMeasuresWithTheCheckedWindow) {
    Instance& changed = Start();
    changed.analyzer->Command(cmWindowing + 4);
    changed.analyzer->Command(cmRate48000);
    EXPECT_EQ(changed.window.CheckedOf(cmWindowing, cmWindowing + 5), std::vector<int>{4});

    Instance& started = Start();
    started.analyzer->SetSamplerate(48000);
    started.analyzer->SetWindowType(4);

    // Between two bands, where the window's leakage shows most.
    changed.FeedTone(1030.0);
    started.FeedTone(1030.0);
    const TSpectArray a = changed.Refresh();
    const TSpectArray b = started.Refresh();
    EXPECT_GT(a[73], -2000);
    for (int i = 0; i < kBandCount; ++i) {
        EXPECT_NEAR(a[i], b[i], 10) << "band " << i;
    }
}

TEST_F(AnalyzerTest, ChoosingTheCurrentInputModeKeepsTheHistory) {
    Instance& a = Start();
    a.FeedTone(1000.0);
    const int32_t before = a.Refresh()[74];
    a.analyzer->Command(cmInputMode + 1);
    EXPECT_EQ(a.Refresh()[74], before);
    EXPECT_EQ(a.window.CheckedOf(cmInputMode + 1, cmInputMode + 4), std::vector<int>{0});

    a.analyzer->Command(cmInputMode + 3);
    EXPECT_EQ(a.analyzer->InputMode(), 3);
    EXPECT_EQ(a.window.CheckedOf(cmInputMode + 1, cmInputMode + 4), std::vector<int>{2});
    EXPECT_EQ(a.Refresh()[74], -14400);
    for (int32_t mode : {0, 5, -1}) {
        a.analyzer->SetInputMode(mode);
        EXPECT_EQ(a.analyzer->InputMode(), 1);
        EXPECT_EQ(a.window.CheckedOf(cmInputMode + 1, cmInputMode + 4), std::vector<int>{0});
    }
}

TEST_F(AnalyzerTest, WaveBlocksBecomeMonoSamplesByInputMode) {
    Instance& a = Start();
    auto wave = [&](int32_t mode, int16_t left, int16_t right) {
        a.analyzer->SetInputMode(mode);
        std::vector<int16_t> block(2 * 2048, 0);
        block[0] = left;
        block[1] = right;
        a.analyzer->WaveIn1Data(*a.analyzer->WaveIn1, block.data());
        return a.analyzer->Samples()[0];
    };
    EXPECT_EQ(wave(1, 32767, 32767), 0.999969482421875f);
    EXPECT_EQ(wave(1, -32768, -32768), -1.0f);
    EXPECT_EQ(wave(1, 32767, -32768), -0.0000152587890625f);
    EXPECT_EQ(wave(4, 32767, -32768), 0.9999847412109375f);
    EXPECT_EQ(wave(4, 1234, 1234), 0.0f);
    EXPECT_EQ(wave(2, -32768, 555), -1.0f);
    EXPECT_EQ(wave(3, 555, -32768), -1.0f);
}

TEST_F(AnalyzerTest, AsioBlocksUseTheSelectedPairAndLeaveTheRestOfTheBuffer) {
    Instance& a = Start();
    a.analyzer->AddAudioDevice(
        std::make_unique<TAudioDevice>(true, "In 3 / In 4 [Test]", "Test", 2));
    a.analyzer->SetAudioDevice(0);
    EXPECT_TRUE(a.window.Visible(cmControlPanel));
    EXPECT_EQ(a.window.caption, "Analyzer Test [In 3 / In 4 [Test]]");
    auto asio = [&](int32_t mode, float left, float right) {
        a.analyzer->SetInputMode(mode);
        TQorArrayOfSingleDynArray in(4, TSingleDynArray(256, 0.0f)), out(4);
        in[2][0] = left;
        in[3][0] = right;
        a.analyzer->ASIOHostBufferSwitch32(in, out);
        return a.analyzer->Samples()[0];
    };
    EXPECT_EQ(asio(1, 1.0f, 1.0f), 1.0f);
    EXPECT_EQ(asio(1, 1.0f, -1.0f), 0.0f);
    EXPECT_EQ(asio(4, 1.0f, -1.0f), 1.0f);
    EXPECT_EQ(asio(2, 0.25f, 0.75f), 0.25f);
    EXPECT_EQ(asio(3, 0.25f, 0.75f), 0.75f);

    // A wave block overwrites 2048 entries, an ASIO block only its own length.
    std::vector<int16_t> block(2 * 2048, 16384);
    a.analyzer->SetInputMode(2);
    a.analyzer->WaveIn1Data(*a.analyzer->WaveIn1, block.data());
    asio(2, 0.125f, 0.0f);
    EXPECT_EQ(a.analyzer->Samples()[0], 0.125f);
    EXPECT_EQ(a.analyzer->Samples()[255], 0.0f);
    EXPECT_EQ(a.analyzer->Samples()[256], 0.5f);
    EXPECT_EQ(a.analyzer->Samples()[2047], 0.5f);
}

TEST_F(AnalyzerTest, CapturedBlocksReachTheBank) {
    Instance& a = Shown();
    a.analyzer->SetAudioDevice(0);
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(wave.Fill(static_cast<int16_t>(i % 2 ? 8000 : -8000)));
        ProcessEvents();
    }
    // A square wave at the rate's half: the top band hears it.
    EXPECT_GT(a.analyzer->Goertzel()->GetResult(127), 0.0);
    EXPECT_GT(a.Refresh()[127], -14400);
}

// Two channels of a square wave at half the rate, which the top band hears.
TQorArrayOfSingleDynArray Nyquist() {
    TQorArrayOfSingleDynArray in(2, TSingleDynArray(512));
    for (TSingleDynArray& channel : in) {
        for (size_t i = 0; i < channel.size(); ++i) {
            channel[i] = i % 2 ? 0.5f : -0.5f;
        }
    }
    return in;
}

// The driver's thread feeds while the main thread replaces the bank, re-reads the sources and
// flushes: no feed ever reaches a bank or an entry that is gone, and feeding goes on after.
TEST_F(AnalyzerTest, AsioFeedsWhileTheMainThreadReplacesTheBank) {
    Instance& a = Shown();
    a.analyzer->AddAudioDevice(
        std::make_unique<TAudioDevice>(true, "In 1 / In 2 [Test]", "Test", 0));
    a.analyzer->SetAudioDevice(3);
    ASSERT_TRUE(a.analyzer->CurrentDevice()->IsASIO);

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread driver([&] {
        const TQorArrayOfSingleDynArray in = Nyquist();
        TQorArrayOfSingleDynArray out(2);
        while (!stop) {
            a.analyzer->ASIOHostBufferSwitch32(in, out);
            ++blocks;
        }
    });
    for (int i = 0; i < 40; ++i) {
        a.analyzer->SetSamplerate(i % 2 ? 44100 : 48000);
        a.analyzer->RefreshDevices();
        a.analyzer->SetInputMode(i % 4 + 1);
        std::this_thread::yield();
    }
    while (blocks < 100) {
        std::this_thread::yield();
    }
    stop = true;
    driver.join();

    const TQorArrayOfSingleDynArray in = Nyquist();
    TQorArrayOfSingleDynArray out(2);
    a.analyzer->SetInputMode(2);
    for (int i = 0; i < 100; ++i) {
        a.analyzer->ASIOHostBufferSwitch32(in, out);
    }
    EXPECT_GT(a.Refresh()[127], -14400);
}

}  // namespace
