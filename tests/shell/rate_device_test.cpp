// Rate changes and device choices that fail or change under the analyzer: whatever happens,
// menu, spectrum, bank and capture agree, and a second try works.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "capture/fake_wavein.h"
#include "framework/exception.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "platform/registry.h"
#include "shell/Unit1.h"

namespace {

using namespace spectrino;
using namespace spectrino_test;

// The fake, counting every open attempt.
class CountingWaveIn : public FakeWaveIn {
public:
    int attempts = 0;

    MMRESULT waveInOpen(HWAVEIN& handle, int32_t id, const WAVEFORMATEX& format,
                        WaveInWindow& window, uintptr_t instance, uint32_t flags) override {
        ++attempts;
        return FakeWaveIn::waveInOpen(handle, id, format, window, instance, flags);
    }
};

class RateAndDevice : public ::testing::Test {
protected:
    RateAndDevice() {
        fake.names = {"Line In", "Monitor of TestSink"};
        form = std::make_unique<TForm1>(nullptr, &fake);
        AppProductName = "Spectrino";
    }

    // The Device menu's captions, or only the checked ones.
    std::vector<std::string> MenuCaptions(bool checkedOnly = false) const {
        std::vector<std::string> out;
        for (QAction* item : form->devs1->actions()) {
            if (!checkedOnly || item->isChecked()) {
                out.push_back(item->text().toStdString());
            }
        }
        return out;
    }
    void OpenDeviceMenu() { emit form->devs1->aboutToShow(); }
    // Clicks the Device menu's item with that caption.
    void Pick(const QString& caption) {
        for (QAction* item : form->devs1->actions()) {
            if (item->text() == caption) {
                item->trigger();
                return;
            }
        }
        ADD_FAILURE() << "no item " << caption.toStdString();
    }
    uint32_t OpenRate() {
        return fake.Current() != nullptr ? fake.Current()->format.nSamplesPerSec : 0;
    }

    platform::DebugCapture quiet;
    ExceptionCapture shown;
    CountingWaveIn fake;
    std::unique_ptr<TForm1> form;
};

// The same tone into two windows' banks; the level of every band.
TSpectArray ToneLevels(TForm1& form, double frequency) {
    std::vector<float> block(2048);
    long n = 0;
    for (int b = 0; b < 25; ++b) {
        for (float& s : block) {
            s = static_cast<float>(
                0.1 * std::sin(2 * std::numbers::pi * frequency * n++ / form.Analyzer().Samplerate()));
        }
        form.Analyzer().Goertzel()->AddSamples(block.data(), 2048);
    }
    TSpectArray values{};
    form.Spectrum1Refresh(values);
    return values;
}

TEST_F(RateAndDevice, ARateChangeMeasuresWithTheCheckedWindow) {
    form->Hanning1->trigger();
    form->N48000Hz1->trigger();
    EXPECT_TRUE(form->Hanning1->isChecked());

    CountingWaveIn other;
    TForm1 fresh(nullptr, &other);
    fresh.Analyzer().SetSamplerate(48000);
    fresh.Analyzer().SetWindowType(4);

    // Between two bands, where the window's leakage shows most.
    const double frequency = 1030.0;
    const TSpectArray changed = ToneLevels(*form, frequency);
    const TSpectArray started = ToneLevels(fresh, frequency);
    EXPECT_GT(changed[73], -2000);
    for (int i = 0; i < kBandCount; ++i) {
        EXPECT_NEAR(changed[i], started[i], 10) << "band " << i;
    }
}

TEST_F(RateAndDevice, AFailedRateChangeLeavesEverythingAtTheNewRate) {
    form->FormShow();
    form->Analyzer().SetDevice("Line In");
    ASSERT_EQ(OpenRate(), 44100u);

    fake.openError = MMSYSERR_ALLOCATED;
    form->N48000Hz1->trigger();
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"Soundcard could not be opened!"});
    EXPECT_EQ(fake.Current(), nullptr);
    EXPECT_EQ(form->Analyzer().Samplerate(), 48000);
    EXPECT_TRUE(form->N48000Hz1->isChecked());
    EXPECT_FALSE(form->N441001->isChecked());
    EXPECT_EQ(form->Spectrum1->Samplerate(), 48000.0f);
    EXPECT_EQ(form->Analyzer().WaveIn1->SampleRate(), 48000u);
    // The bank is built for the spectrum's bands: a 1000 Hz tone at 48000 Hz lands in band 73.
    const TSpectArray levels = ToneLevels(*form, 1000.0);
    EXPECT_EQ(std::max_element(levels.begin(), levels.end()) - levels.begin(), 73);

    // The old rate again works once the device opens.
    fake.openError = MMSYSERR_NOERROR;
    form->N441001->trigger();
    EXPECT_EQ(form->Analyzer().Samplerate(), 44100);
    EXPECT_EQ(OpenRate(), 44100u);
    EXPECT_EQ(form->Analyzer().CurrentDevice(), form->Analyzer().Devices()[1].get());

    // So does the checked rate...
    fake.openError = MMSYSERR_ALLOCATED;
    form->N48000Hz1->trigger();
    fake.openError = MMSYSERR_NOERROR;
    form->N48000Hz1->trigger();
    EXPECT_EQ(OpenRate(), 48000u);
    EXPECT_TRUE(form->N48000Hz1->isChecked());

    // ...and the device itself.
    fake.openError = MMSYSERR_ALLOCATED;
    form->N441001->trigger();
    fake.openError = MMSYSERR_NOERROR;
    Pick("Line In");
    EXPECT_EQ(OpenRate(), 44100u);
    EXPECT_EQ(shown.Messages().size(), 3u);

    // A running device is not reopened by its own rate or its own entry.
    const int attempts = fake.attempts;
    form->N441001->trigger();
    Pick("Line In");
    EXPECT_EQ(fake.attempts, attempts);
}

TEST_F(RateAndDevice, AFailedOpenIsRetriedWhenTheDeviceIsPickedAgain) {
    fake.openError = MMSYSERR_NODRIVER;
    form->FormShow();
    Pick("Monitor of TestSink");
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"Soundcard could not be opened!"});
    EXPECT_EQ(fake.Current(), nullptr);

    fake.openError = MMSYSERR_NOERROR;
    Pick("Monitor of TestSink");
    ASSERT_NE(fake.Current(), nullptr);
    EXPECT_EQ(fake.Current()->id, 1);
    EXPECT_EQ(form->windowTitle(), "Spectrino [Monitor of TestSink]");
    EXPECT_EQ(shown.Messages().size(), 1u);

    // With "On" unchecked nothing is down, so the entry again opens nothing.
    form->On1->trigger();
    Pick("Monitor of TestSink");
    EXPECT_EQ(fake.Current(), nullptr);
}

TEST_F(RateAndDevice, TheDeviceMenuShowsTheSourcesPresentWhenItOpens) {
    form->FormShow();
    form->Analyzer().AddAudioDevice(std::make_unique<TAudioDevice>(true, "In 1 / In 2 [Test]", "Test", 0));
    Pick("Line In");
    const TAudioDevice* lineIn = form->Analyzer().CurrentDevice();

    fake.names = {"USB Microphone", "Line In"};
    OpenDeviceMenu();
    EXPECT_EQ(MenuCaptions(), (std::vector<std::string>{"WaveMapper", "USB Microphone", "Line In",
                                                        "In 1 / In 2 [Test]"}));
    EXPECT_EQ(MenuCaptions(true), std::vector<std::string>{"Line In"});
    EXPECT_EQ(form->Analyzer().CurrentDevice(), lineIn);
    EXPECT_EQ(form->Analyzer().Devices()[2].get(), lineIn);
    EXPECT_EQ(form->Analyzer().Devices()[2]->WaveIndex, 2);
    // Picking the current entry from the new list restarts nothing; a new source opens.
    const int attempts = fake.attempts;
    Pick("Line In");
    EXPECT_EQ(fake.attempts, attempts);
    Pick("USB Microphone");
    ASSERT_NE(fake.Current(), nullptr);
    EXPECT_EQ(fake.Current()->id, 0);
    EXPECT_EQ(form->windowTitle(), "Spectrino [USB Microphone]");

    // The current source unplugged: no longer offered, still the choice that is kept.
    fake.names = {"Line In"};
    OpenDeviceMenu();
    EXPECT_EQ(MenuCaptions(),
              (std::vector<std::string>{"WaveMapper", "Line In", "In 1 / In 2 [Test]"}));
    EXPECT_TRUE(MenuCaptions(true).empty());
    ASSERT_NE(form->Analyzer().CurrentDevice(), nullptr);
    EXPECT_EQ(form->Analyzer().CurrentDevice()->Caption, "USB Microphone");
    const TAudioDevice* usb = form->Analyzer().CurrentDevice();
    fake.names = {"Line In", "USB Microphone"};
    OpenDeviceMenu();
    EXPECT_EQ(MenuCaptions(true), std::vector<std::string>{"USB Microphone"});
    EXPECT_EQ(form->Analyzer().Devices()[2].get(), usb);
    EXPECT_EQ(shown.Messages().size(), 0u);
}

TEST_F(RateAndDevice, ALostDeviceResumesWhenItsSourceComesBack) {
    form->FormShow();
    Pick("Monitor of TestSink");
    ASSERT_NE(fake.Current(), nullptr);
    fake.Vanish();
    fake.names = {"Line In"};
    ProcessEvents();
    EXPECT_EQ(fake.Current(), nullptr);

    // Not back yet: nothing is tried.
    const int attempts = fake.attempts;
    QTest::qWait(1500);
    EXPECT_EQ(fake.attempts, attempts);

    fake.names = {"Line In", "Monitor of TestSink"};
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.Current() != nullptr; }, 3000));
    EXPECT_EQ(fake.Current()->id, 1);
    EXPECT_EQ(OpenRate(), 44100u);
    EXPECT_TRUE(shown.Messages().empty());
    // Capture runs again: blocks reach the bank.
    EXPECT_TRUE(fake.Fill(8000));
}

TEST_F(RateAndDevice, ASourceThatRefusesToOpenIsNotRetriedUntilItComesBackAgain) {
    fake.names = {};
    form->FormShow();
    // No source at all: the mapper cannot open.
    fake.openError = MMSYSERR_NODRIVER;
    Guarded([&] { form->Analyzer().SetDevice(""); });
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"Soundcard could not be opened!"});
    const int first = fake.attempts;

    // A source appears but still refuses: tried once, quietly.
    fake.names = {"Line In"};
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.attempts > first; }, 3000));
    QTest::qWait(2200);
    EXPECT_EQ(fake.attempts, first + 1);
    EXPECT_EQ(shown.Messages().size(), 1u);

    // It goes and comes back, now working: capture resumes by itself.
    fake.names = {};
    QTest::qWait(1200);
    fake.openError = MMSYSERR_NOERROR;
    fake.names = {"Line In"};
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.Current() != nullptr; }, 3000));
    EXPECT_EQ(fake.Current()->id, -1);
}

// A host whose drivers fail to load by throwing.
class ThrowingHost : public TASIOHost {
public:
    void SetDriverIndex(int value) override {
        if (value >= 0) {
            throw Exception("driver failed");
        }
        TASIOHost::SetDriverIndex(value);
    }
};

TEST_F(RateAndDevice, TheWaitCursorGoesAlsoWhenProbingFails) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("spectrino-probe-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string previous = qEnvironmentVariable("SPECTRINO_REGISTRY_DIR").toStdString();
    setenv("SPECTRINO_REGISTRY_DIR", dir.c_str(), 1);
    const std::string id = "{8D2E6A51-3F7C-4E19-B6A2-0000000000FE}";
    {
        auto driver =
            platform::RegistryKey::Open(platform::RootKey::LocalMachine, "software\\asio\\Thrower",
                                        platform::Access::ReadWrite);
        ASSERT_TRUE(driver);
        driver->WriteString("clsid", id);
        ASSERT_TRUE(driver->Close());
        auto server = platform::RegistryKey::Open(platform::RootKey::ClassesRoot,
                                                  "CLSID\\" + id + "\\InprocServer32",
                                                  platform::Access::ReadWrite);
        ASSERT_TRUE(server);
        server->WriteString("", fs::read_symlink("/proc/self/exe").string());
        ASSERT_TRUE(server->Close());
    }
    form->Analyzer().ASIOHost = std::make_unique<ThrowingHost>();
    if (previous.empty()) {
        unsetenv("SPECTRINO_REGISTRY_DIR");
    } else {
        setenv("SPECTRINO_REGISTRY_DIR", previous.c_str(), 1);
    }
    fs::remove_all(dir);
    ASSERT_EQ(form->Analyzer().ASIOHost->DriverList().size(), 1u);

    Guarded([&] { form->Analyzer().UpdateDevices(); });
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"driver failed"});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
