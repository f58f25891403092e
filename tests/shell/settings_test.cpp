// Settings survive a restart through the registry; damaged or odd values never stop the rest.
#include <gtest/gtest.h>

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTest>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "capture/fake_wavein.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "platform/registry.h"
#include "shell/Unit1.h"
#include "shell/window_placement.h"

namespace {

using namespace spectrino;
using namespace spectrino_test;
namespace fs = std::filesystem;
using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

class Settings : public ::testing::Test {
protected:
    Settings()
        : dir_(fs::temp_directory_path() /
               ("spectrino-settings-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        if (const char* previous = std::getenv("SPECTRINO_REGISTRY_DIR")) {
            previous_ = previous;
        }
        setenv("SPECTRINO_REGISTRY_DIR", dir_.c_str(), 1);
        fake.names = {"Line In", "Monitor of TestSink"};
    }
    ~Settings() override {
        if (previous_) {
            setenv("SPECTRINO_REGISTRY_DIR", previous_->c_str(), 1);
        } else {
            unsetenv("SPECTRINO_REGISTRY_DIR");
        }
        AppCompanyName.clear();
        fs::remove_all(dir_);
    }

    // A window as the program shows it at start.
    std::unique_ptr<TForm1> Start() {
        auto form = std::make_unique<TForm1>(nullptr, &fake);
        // Test programs carry no version block of their own.
        AppCompanyName = "Test Maker";
        AppProductName = "Spectrino";
        form->FormShow();
        return form;
    }

    // The same, with the window shown, so the window system's frame is known.
    std::unique_ptr<TForm1> StartShown() {
        auto form = std::make_unique<TForm1>(nullptr, &fake);
        AppCompanyName = "Test Maker";
        AppProductName = "Spectrino";
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }

    static QRect Available() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    // Writes stored values directly.
    template <typename F>
    void Store(F&& write) {
        AppCompanyName = "Test Maker";
        AppProductName = "Spectrino";
        auto key =
            RegistryKey::Open(RootKey::CurrentUser, TAnalyzer::ConfigKeyPath(), Access::ReadWrite);
        ASSERT_TRUE(key);
        write(*key);
        ASSERT_TRUE(key->Close());
    }

    std::optional<uint32_t> Stored(const char* name) {
        AppCompanyName = "Test Maker";
        AppProductName = "Spectrino";
        auto key = RegistryKey::Open(RootKey::CurrentUser, TAnalyzer::ConfigKeyPath(), Access::Read);
        return key ? key->ReadInteger(name) : std::nullopt;
    }

    fs::path dir_;
    std::optional<std::string> previous_;
    platform::DebugCapture quiet;
    ExceptionCapture shown;
    FakeWaveIn fake;
};

TEST_F(Settings, EverySettingSurvivesARestart) {
    {
        auto form = Start();
        EXPECT_EQ(form->Analyzer().CurrentDevice(), nullptr);  // first run: nothing stored
        form->Analyzer().SetAudioDevice(2);
        form->Analyzer().SetSamplerate(48000);
        form->Analyzer().SetPeakHold();
        form->Analyzer().SetDecayTime(2);
        form->Analyzer().SetWindowType(3);
        form->Analyzer().SetInputMode(4);
        form->Spectrum1->SetHighColor(0x102030);
        form->Spectrum1->SetMidColor(0x405060);
        form->Spectrum1->SetLowColor(0x708090);
        form->Analyzer().SetHighTresh(-6);
        form->Analyzer().SetMidTresh(-30);
        form->Alwaysontop1->trigger();
        form->setGeometry(100, 120, 500, 400);
    }
    EXPECT_EQ(Stored("Topmost"), 1u);
    auto form = Start();
    EXPECT_EQ(form->Analyzer().CurrentDevice(), form->Analyzer().Devices()[2].get());
    ASSERT_NE(fake.Current(), nullptr);
    EXPECT_EQ(fake.Current()->format.nSamplesPerSec, 48000u);
    EXPECT_EQ(form->Analyzer().Samplerate(), 48000);
    EXPECT_TRUE(form->N48000Hz1->isChecked());
    EXPECT_EQ(form->Spectrum1->PeakDisplay(), TPeakDisplay::pdHold);
    EXPECT_TRUE(form->PeakHold1->isChecked());
    EXPECT_TRUE(form->Medium1->isChecked());
    EXPECT_EQ(form->Analyzer().WindowType(), 3);
    EXPECT_TRUE(form->BlackmanHarris1->isChecked());
    EXPECT_EQ(form->Analyzer().InputMode(), 4);
    EXPECT_EQ(form->Spectrum1->HighColor(), 0x102030u);
    EXPECT_EQ(form->Spectrum1->MidColor(), 0x405060u);
    EXPECT_EQ(form->Spectrum1->LowColor(), 0x708090u);
    EXPECT_EQ(form->Spectrum1->HighTreshhold(), -6);
    EXPECT_EQ(form->Spectrum1->MidTreshhold(), -30);
    EXPECT_TRUE(form->Alwaysontop1->isChecked());
    EXPECT_EQ(form->geometry(), QRect(100, 120, 500, 400));
    EXPECT_EQ(form->windowTitle(), "Spectrino [Monitor of TestSink]");
}

TEST_F(Settings, OddStoredValuesFallBackOneByOne) {
    Store([](RegistryKey& key) {
        key.WriteInteger("PeakHold", 2);
        key.WriteInteger("DecayTime", 7);
        key.WriteInteger("WindowType", 9);
        key.WriteInteger("HighTresh", 0);
        key.WriteInteger("MidTresh", static_cast<uint32_t>(-3));
        key.WriteInteger("HighColor", 0);
        key.WriteInteger("MidColor", 0x00FF00);
        key.WriteString("Samplerate", "48000");  // wrong type: ignored
        key.WriteInteger("InputMode", 3);
        key.WriteInteger("TOPMOST", 1);
        key.WriteString("Device", "");
    });
    {
        auto form = Start();
        EXPECT_EQ(form->Spectrum1->PeakDisplay(), TPeakDisplay::pdDecay);
        EXPECT_TRUE(form->Slow1->isChecked());
        EXPECT_EQ(form->Analyzer().DecayTime(), 7);
        EXPECT_TRUE(form->Rectangular1->isChecked());
        EXPECT_EQ(form->Analyzer().WindowType(), 9);
        EXPECT_EQ(form->Spectrum1->HighTreshhold(), -10);
        EXPECT_EQ(form->Spectrum1->MidTreshhold(), -3);
        EXPECT_EQ(form->Spectrum1->HighColor(), 0x0000FFu);
        EXPECT_EQ(form->Spectrum1->MidColor(), 0x00FF00u);
        EXPECT_EQ(form->Analyzer().Samplerate(), 44100);
        EXPECT_EQ(form->Analyzer().InputMode(), 3);
        EXPECT_TRUE(form->Alwaysontop1->isChecked());
        // An empty stored device selects the first entry.
        EXPECT_EQ(form->Analyzer().CurrentDevice(), form->Analyzer().Devices()[0].get());
    }
    EXPECT_EQ(Stored("DecayTime"), 7u);
    EXPECT_EQ(Stored("WindowType"), 9u);
    EXPECT_EQ(Stored("Samplerate"), 44100u);

    Store([](RegistryKey& key) { key.WriteInteger("HighTresh", 5); });
    EXPECT_EQ(Start()->Spectrum1->HighTreshhold(), -10);
}

TEST_F(Settings, WindowStateComesBack) {
    Store([](RegistryKey& key) { key.WriteInteger("State", 2); });
    {
        auto form = Start();
        EXPECT_TRUE(form->isMaximized());
    }
    EXPECT_EQ(Stored("State"), 2u);
    Store([](RegistryKey& key) { key.WriteInteger("State", 1); });
    auto form = Start();
    EXPECT_TRUE(form->isMinimized());
}

TEST_F(Settings, NoDeviceSelectedIsStoredAsEmpty) {
    { auto form = Start(); }
    auto key = RegistryKey::Open(RootKey::CurrentUser, TAnalyzer::ConfigKeyPath(), Access::Read);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString("Device"), "");
    EXPECT_EQ(key->ReadInteger("Samplerate"), 44100u);
    EXPECT_EQ(key->ReadInteger("Width"), 464u);
    // The design place, moved in where the screen is too small for it.
    const auto left = static_cast<uint32_t>(std::min(672, Available().right() + 1 - 464));
    EXPECT_EQ(key->ReadInteger("Left"), left);
}

TEST_F(Settings, TheOuterRectangleIsStoredAndComesBack) {
    QMargins frame;
    {
        auto form = StartShown();
        frame = FrameMargins(*form);
        ASSERT_FALSE(frame.isNull()) << "the window system shows no frame";
        // The design size is the outer size.
        EXPECT_EQ(form->frameGeometry().size(), QSize(464, 346));
        form->setGeometry(QRect(100, 120, 500, 400).marginsRemoved(frame));
    }
    EXPECT_EQ(Stored("Left"), 100u);
    EXPECT_EQ(Stored("Top"), 120u);
    EXPECT_EQ(Stored("Width"), 500u);
    EXPECT_EQ(Stored("Height"), 400u);
    {
        auto form = StartShown();
        EXPECT_EQ(form->frameGeometry(), QRect(100, 120, 500, 400));
    }

    // Values an earlier version stored were the client area: the window shows where it was.
    ASSERT_TRUE(platform::DeleteRegistryKey(RootKey::CurrentUser, TAnalyzer::ConfigKeyPath()));
    Store([](RegistryKey& key) {
        key.WriteInteger("Left", 100);
        key.WriteInteger("Top", 120);
        key.WriteInteger("Width", 500);
        key.WriteInteger("Height", 400);
    });
    {
        auto form = StartShown();
        EXPECT_EQ(form->geometry(), QRect(100, 120, 500, 400));
    }
    EXPECT_EQ(Stored("Left"), static_cast<uint32_t>(100 - frame.left()));
    EXPECT_EQ(Stored("Width"), static_cast<uint32_t>(500 + frame.left() + frame.right()));
    EXPECT_EQ(StartShown()->geometry(), QRect(100, 120, 500, 400));
}

TEST_F(Settings, AStoredPlaceIsFittedToTheScreen) {
    const QRect area = Available();
    Store([](RegistryKey& key) {
        key.WriteInteger("Width", 100000);
        key.WriteInteger("Height", 100000);
    });
    {
        auto form = StartShown();
        EXPECT_TRUE(area.contains(form->frameGeometry())) << form->frameGeometry().width();
    }
    EXPECT_LE(Stored("Width"), static_cast<uint32_t>(area.width()));
    EXPECT_LE(Stored("Height"), static_cast<uint32_t>(area.height()));

    Store([](RegistryKey& key) {
        key.WriteInteger("Left", 0x7FFFFFFF);
        key.WriteInteger("Top", 0x7FFFFFFF);
        key.WriteInteger("Width", 500);
        key.WriteInteger("Height", 300);
    });
    {
        auto form = StartShown();
        EXPECT_EQ(form->frameGeometry(),
                  QRect(area.right() + 1 - 500, area.bottom() + 1 - 300, 500, 300));
    }
    Store([](RegistryKey& key) {
        key.WriteInteger("Left", 0x80000000u);
        key.WriteInteger("Top", 0x80000000u);
    });
    EXPECT_EQ(StartShown()->frameGeometry(), QRect(area.left(), area.top(), 500, 300));
}

TEST_F(Settings, SettingsThatCannotBeSavedAreReportedOnceWithTheFile) {
    // A file where the settings folder should be: not even root can create it.
    std::ofstream(dir_ / "file") << "x";
    setenv("SPECTRINO_REGISTRY_DIR", (dir_ / "file" / "registry").c_str(), 1);
    const std::string file = platform::HiveFilePath(RootKey::CurrentUser);
    ASSERT_FALSE(file.empty());
    {
        auto form = Start();
        form->Analyzer().SetDecayTime(3);
    }
    ASSERT_EQ(shown.Messages().size(), 1u);
    EXPECT_NE(shown.Messages()[0].find(file), std::string::npos) << shown.Messages()[0];
    const std::vector<std::string> lines = quiet.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "settings not saved: " + file), 1);

    // Where saving works, nothing is said.
    setenv("SPECTRINO_REGISTRY_DIR", dir_.c_str(), 1);
    { auto form = Start(); }
    EXPECT_EQ(shown.Messages().size(), 1u);
    EXPECT_EQ(Stored("DecayTime"), 1u);
}

TEST_F(Settings, TwoInstancesKeepEachOthersChanges) {
    Store([](RegistryKey& key) {
        key.WriteInteger("DecayTime", 1);
        key.WriteInteger("WindowType", 1);
        key.WriteInteger("HighColor", 0x102030);
    });
    auto first = Start();
    auto second = Start();
    first->Analyzer().SetDecayTime(3);
    first->Analyzer().SetWindowType(2);
    first.reset();
    EXPECT_EQ(Stored("DecayTime"), 3u);
    second->Spectrum1->SetHighColor(0x405060);
    second->Analyzer().SetWindowType(4);
    second.reset();
    EXPECT_EQ(Stored("DecayTime"), 3u);  // the second never touched it
    EXPECT_EQ(Stored("HighColor"), 0x405060u);
    EXPECT_EQ(Stored("WindowType"), 4u);  // both changed it: the last to close wins
    EXPECT_EQ(Stored("Samplerate"), 44100u);

    // Two first runs: nothing was stored when either started.
    ASSERT_TRUE(platform::DeleteRegistryKey(RootKey::CurrentUser, TAnalyzer::ConfigKeyPath()));
    first = Start();
    second = Start();
    first->Analyzer().SetInputMode(2);
    first.reset();
    second.reset();
    EXPECT_EQ(Stored("InputMode"), 2u);
    EXPECT_EQ(Stored("DecayTime"), 1u);
}

}  // namespace
