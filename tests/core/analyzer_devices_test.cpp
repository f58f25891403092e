// Device choices and rate changes that fail or change under the analyzer: whatever happens,
// check marks, caption, spectrum, bank and capture agree, and a second try works.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_analyzer_window.h"
#include "framework/exception.h"

namespace {

using namespace spectrino;
using namespace spectrino_test;

TEST_F(AnalyzerTest, DeviceItemsListTheMapperFirstAndSwitchCapture) {
    Instance& a = Shown();
    a.analyzer->Command(cmDevice + 2);
    ASSERT_NE(wave.Current(), nullptr);
    EXPECT_EQ(wave.Current()->id, 1);
    EXPECT_EQ(a.window.caption, "Analyzer Test [Monitor of TestSink]");
    EXPECT_EQ(a.window.CheckedDevices(), std::vector<std::string>{"Monitor of TestSink"});
    EXPECT_FALSE(a.window.Visible(cmControlPanel));

    // The current entry again: no restart.
    a.analyzer->Command(cmDevice + 2);
    EXPECT_EQ(wave.opens, 1);

    // A rate change reopens the running device at the new rate.
    a.analyzer->SetSamplerate(48000);
    EXPECT_EQ(wave.opens, 2);
    EXPECT_EQ(wave.OpenRate(), 48000u);

    // Stored captions match exactly; anything else selects the first entry.
    a.analyzer->SetDevice("monitor of testsink");
    EXPECT_EQ(a.analyzer->CurrentDevice(), a.analyzer->Devices()[0].get());
    EXPECT_EQ(wave.Current()->id, -1);
    EXPECT_EQ(a.window.CheckedDevices(), std::vector<std::string>{"WaveMapper"});
    a.analyzer->SetDevice("Line In");
    EXPECT_EQ(wave.Current()->id, 0);

    // "On" unchecked: a new choice configures the capture without opening it.
    a.analyzer->Command(cmOn);
    EXPECT_EQ(wave.Current(), nullptr);
    a.analyzer->SetAudioDevice(2);
    EXPECT_EQ(wave.Current(), nullptr);
    EXPECT_EQ(a.window.caption, "Analyzer Test [Monitor of TestSink]");
    a.analyzer->Command(cmOn);
    ASSERT_NE(wave.Current(), nullptr);
    EXPECT_EQ(wave.Current()->id, 1);
    a.analyzer->SetAudioDevice(7);  // past the list: ignored
    EXPECT_EQ(a.analyzer->CurrentDevice(), a.analyzer->Devices()[2].get());

    // A driver's pair shows "Control Panel..."; a wave entry hides it again.
    a.analyzer->AddAudioDevice(
        std::make_unique<TAudioDevice>(true, "In 1 / In 2 [Test]", "Test", 0));
    EXPECT_EQ(a.window.CheckedDevices(), std::vector<std::string>{"Monitor of TestSink"});
    a.analyzer->Command(cmDevice + 3);
    EXPECT_TRUE(a.window.Visible(cmControlPanel));
    EXPECT_EQ(wave.Current(), nullptr);
    a.analyzer->Command(cmDevice + 1);
    EXPECT_FALSE(a.window.Visible(cmControlPanel));
    EXPECT_TRUE(shown.Messages().empty());
}

TEST_F(AnalyzerTest, UnknownDevicesAndLostDevicesLeaveTheAnalyzerRunning) {
    Instance& a = Shown();
    wave.names.pop_back();  // the monitor disappears after the list was built
    Guarded([&] { a.analyzer->Command(cmDevice + 2); });
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"Invalid Soundcard selected"});
    EXPECT_EQ(a.analyzer->CurrentDevice(), a.analyzer->Devices()[2].get());
    EXPECT_EQ(a.window.CheckedDevices(), std::vector<std::string>{"Monitor of TestSink"});
    EXPECT_EQ(a.window.caption, "Spectrino");
    EXPECT_FALSE(a.window.Visible(cmControlPanel));

    a.analyzer->Command(cmDevice + 1);
    ASSERT_NE(wave.Current(), nullptr);
    for (int i = 0; i < 25; ++i) {
        wave.Fill(8000);
        ProcessEvents();
    }
    wave.Vanish();
    ProcessEvents();
    EXPECT_EQ(wave.Current(), nullptr);
    EXPECT_TRUE(a.window.resumeTimer);
    // The floor, not the last second before the loss.
    for (int32_t v : a.Refresh()) {
        ASSERT_EQ(v, -14400);
    }
    // Choosing the same device again restarts it.
    a.analyzer->Command(cmDevice + 1);
    ASSERT_NE(wave.Current(), nullptr);
    EXPECT_EQ(wave.Current()->id, 0);
    EXPECT_FALSE(a.window.resumeTimer);
}

TEST_F(AnalyzerTest, AFailedRateChangeLeavesEverythingAtTheNewRate) {
    Instance& a = Shown();
    a.analyzer->SetDevice("Line In");
    ASSERT_EQ(wave.OpenRate(), 44100u);
    auto command = [&](int id) { Guarded([&] { a.analyzer->Command(id); }); };

    wave.openError = MMSYSERR_ALLOCATED;
    command(cmRate48000);
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"Soundcard could not be opened!"});
    EXPECT_EQ(wave.Current(), nullptr);
    EXPECT_EQ(a.analyzer->Samplerate(), 48000);
    EXPECT_EQ(a.window.CheckedOf(cmRate44100, cmRate48000), std::vector<int>{1});
    EXPECT_EQ(a.spectrum.Samplerate(), 48000.0f);
    EXPECT_EQ(a.analyzer->WaveIn1->SampleRate(), 48000u);
    // The bank is built for the spectrum's bands: a 1000 Hz tone at 48000 Hz lands in band 73.
    a.FeedTone(1000.0);
    EXPECT_EQ(a.Loudest(), 73);

    // The old rate again works once the device opens.
    wave.openError = MMSYSERR_NOERROR;
    command(cmRate44100);
    EXPECT_EQ(a.analyzer->Samplerate(), 44100);
    EXPECT_EQ(wave.OpenRate(), 44100u);
    EXPECT_EQ(a.analyzer->CurrentDevice(), a.analyzer->Devices()[1].get());

    // So does the checked rate...
    wave.openError = MMSYSERR_ALLOCATED;
    command(cmRate48000);
    wave.openError = MMSYSERR_NOERROR;
    command(cmRate48000);
    EXPECT_EQ(wave.OpenRate(), 48000u);
    EXPECT_EQ(a.window.CheckedOf(cmRate44100, cmRate48000), std::vector<int>{1});

    // ...and the device itself.
    wave.openError = MMSYSERR_ALLOCATED;
    command(cmRate44100);
    wave.openError = MMSYSERR_NOERROR;
    command(cmDevice + 1);
    EXPECT_EQ(wave.OpenRate(), 44100u);
    EXPECT_EQ(shown.Messages().size(), 3u);

    // A running device is not reopened by its own rate or its own entry.
    const int attempts = wave.attempts;
    command(cmRate44100);
    command(cmDevice + 1);
    EXPECT_EQ(wave.attempts, attempts);
}

TEST_F(AnalyzerTest, AFailedOpenIsRetriedWhenTheDeviceIsPickedAgain) {
    wave.openError = MMSYSERR_NODRIVER;
    Instance& a = Shown();
    Guarded([&] { a.analyzer->Command(cmDevice + 2); });
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"Soundcard could not be opened!"});
    EXPECT_EQ(wave.Current(), nullptr);

    wave.openError = MMSYSERR_NOERROR;
    a.analyzer->Command(cmDevice + 2);
    ASSERT_NE(wave.Current(), nullptr);
    EXPECT_EQ(wave.Current()->id, 1);
    EXPECT_EQ(a.window.caption, "Analyzer Test [Monitor of TestSink]");
    EXPECT_EQ(shown.Messages().size(), 1u);

    // With "On" unchecked nothing is down, so the entry again opens nothing.
    a.analyzer->Command(cmOn);
    a.analyzer->Command(cmDevice + 2);
    EXPECT_EQ(wave.Current(), nullptr);
}

TEST_F(AnalyzerTest, TheDeviceListShowsTheSourcesPresentWhenRefreshed) {
    Instance& a = Shown();
    a.analyzer->AddAudioDevice(
        std::make_unique<TAudioDevice>(true, "In 1 / In 2 [Test]", "Test", 0));
    a.analyzer->SetDevice("Line In");
    const TAudioDevice* lineIn = a.analyzer->CurrentDevice();

    wave.names = {"USB Microphone", "Line In"};
    a.analyzer->RefreshDevices();
    EXPECT_EQ(a.window.deviceItems, (std::vector<std::string>{"WaveMapper", "USB Microphone",
                                                              "Line In", "In 1 / In 2 [Test]"}));
    EXPECT_EQ(a.window.CheckedDevices(), std::vector<std::string>{"Line In"});
    EXPECT_EQ(a.analyzer->CurrentDevice(), lineIn);
    EXPECT_EQ(a.analyzer->Devices()[2].get(), lineIn);
    EXPECT_EQ(a.analyzer->Devices()[2]->WaveIndex, 2);
    // Picking the current entry from the new list restarts nothing; a new source opens.
    const int attempts = wave.attempts;
    a.analyzer->Command(cmDevice + 2);
    EXPECT_EQ(wave.attempts, attempts);
    a.analyzer->Command(cmDevice + 1);
    ASSERT_NE(wave.Current(), nullptr);
    EXPECT_EQ(wave.Current()->id, 0);
    EXPECT_EQ(a.window.caption, "Analyzer Test [USB Microphone]");

    // The current source unplugged: no longer offered, still the choice that is kept.
    wave.names = {"Line In"};
    a.analyzer->RefreshDevices();
    EXPECT_EQ(a.window.deviceItems,
              (std::vector<std::string>{"WaveMapper", "Line In", "In 1 / In 2 [Test]"}));
    EXPECT_TRUE(a.window.CheckedDevices().empty());
    ASSERT_NE(a.analyzer->CurrentDevice(), nullptr);
    EXPECT_EQ(a.analyzer->CurrentDevice()->Caption, "USB Microphone");
    const TAudioDevice* usb = a.analyzer->CurrentDevice();
    wave.names = {"Line In", "USB Microphone"};
    a.analyzer->RefreshDevices();
    EXPECT_EQ(a.window.CheckedDevices(), std::vector<std::string>{"USB Microphone"});
    EXPECT_EQ(a.analyzer->Devices()[2].get(), usb);
    EXPECT_TRUE(shown.Messages().empty());
}

TEST_F(AnalyzerTest, ALostDeviceResumesWhenItsSourceComesBack) {
    Instance& a = Shown();
    a.analyzer->SetDevice("Monitor of TestSink");
    ASSERT_NE(wave.Current(), nullptr);
    EXPECT_FALSE(a.window.resumeTimer);
    wave.Vanish();
    wave.names = {"Line In"};
    ProcessEvents();
    EXPECT_EQ(wave.Current(), nullptr);
    ASSERT_TRUE(a.window.resumeTimer);

    // Not back yet: nothing is tried.
    const int attempts = wave.attempts;
    a.analyzer->ResumeWaveCapture();
    a.analyzer->ResumeWaveCapture();
    EXPECT_EQ(wave.attempts, attempts);
    EXPECT_TRUE(a.window.resumeTimer);

    wave.names = {"Line In", "Monitor of TestSink"};
    a.analyzer->ResumeWaveCapture();
    ASSERT_NE(wave.Current(), nullptr);
    EXPECT_EQ(wave.Current()->id, 1);
    EXPECT_EQ(wave.OpenRate(), 44100u);
    EXPECT_FALSE(a.window.resumeTimer);
    EXPECT_TRUE(shown.Messages().empty());
    // Capture runs again: blocks reach the bank.
    EXPECT_TRUE(wave.Fill(8000));
}

TEST_F(AnalyzerTest, ASourceThatRefusesToOpenIsNotRetriedUntilItComesBackAgain) {
    wave.names = {};
    Instance& a = Shown();
    // No source at all: the mapper cannot open.
    wave.openError = MMSYSERR_NODRIVER;
    Guarded([&] { a.analyzer->SetDevice(""); });
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"Soundcard could not be opened!"});
    EXPECT_TRUE(a.window.resumeTimer);
    const int first = wave.attempts;

    // A source appears but still refuses: tried once, quietly.
    wave.names = {"Line In"};
    for (int tick = 0; tick < 4; ++tick) {
        a.analyzer->ResumeWaveCapture();
    }
    EXPECT_EQ(wave.attempts, first + 1);
    EXPECT_EQ(shown.Messages().size(), 1u);

    // It goes and comes back, now working: capture resumes by itself.
    wave.names = {};
    a.analyzer->ResumeWaveCapture();
    wave.openError = MMSYSERR_NOERROR;
    wave.names = {"Line In"};
    a.analyzer->ResumeWaveCapture();
    ASSERT_NE(wave.Current(), nullptr);
    EXPECT_EQ(wave.Current()->id, -1);
    EXPECT_FALSE(a.window.resumeTimer);
    EXPECT_EQ(shown.Messages().size(), 1u);
}

// A wave input whose device list cannot be read.
class FailingWaveIn : public FakeWaveIn {
public:
    bool fail = false;

    MMRESULT waveInGetDevCaps(uint32_t id, WAVEINCAPS& caps) override {
        if (fail) {
            throw Exception("device list failed");
        }
        return FakeWaveIn::waveInGetDevCaps(id, caps);
    }
};

TEST_F(AnalyzerTest, TheWaitCursorGoesAlsoWhenListingFails) {
    FailingWaveIn failing;
    failing.names = {"Line In"};
    FakeWindow window;
    FakeSpectrum spectrum;
    TAnalyzer analyzer(window, spectrum, &failing);
    analyzer.Start();
    failing.fail = true;
    Guarded([&] { analyzer.UpdateDevices(); });
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"device list failed"});
    EXPECT_EQ(window.busy, 0);
}

}  // namespace
