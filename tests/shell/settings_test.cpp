// Settings survive a restart through the registry; damaged or odd values never stop the rest.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "capture/fake_wavein.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "platform/registry.h"
#include "shell/Unit1.h"

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

    // Writes stored values directly.
    template <typename F>
    void Store(F&& write) {
        AppCompanyName = "Test Maker";
        AppProductName = "Spectrino";
        auto key =
            RegistryKey::Open(RootKey::CurrentUser, TForm1::ConfigKeyPath(), Access::ReadWrite);
        ASSERT_TRUE(key);
        write(*key);
        ASSERT_TRUE(key->Close());
    }

    std::optional<uint32_t> Stored(const char* name) {
        AppCompanyName = "Test Maker";
        AppProductName = "Spectrino";
        auto key = RegistryKey::Open(RootKey::CurrentUser, TForm1::ConfigKeyPath(), Access::Read);
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
        EXPECT_EQ(form->CurrentDevice(), nullptr);  // first run: nothing stored
        form->SetAudioDevice(2);
        form->SetSamplerate(48000);
        form->SetPeakHold();
        form->SetDecayTime(2);
        form->SetWindowType(3);
        form->SetInputMode(4);
        form->Spectrum1->SetHighColor(0x102030);
        form->Spectrum1->SetMidColor(0x405060);
        form->Spectrum1->SetLowColor(0x708090);
        form->SetHighTresh(-6);
        form->SetMidTresh(-30);
        form->Alwaysontop1->trigger();
        form->setGeometry(100, 120, 500, 400);
    }
    EXPECT_EQ(Stored("Topmost"), 1u);
    auto form = Start();
    EXPECT_EQ(form->CurrentDevice(), form->Devices()[2].get());
    ASSERT_NE(fake.Current(), nullptr);
    EXPECT_EQ(fake.Current()->format.nSamplesPerSec, 48000u);
    EXPECT_EQ(form->Samplerate(), 48000);
    EXPECT_TRUE(form->N48000Hz1->isChecked());
    EXPECT_EQ(form->Spectrum1->PeakDisplay(), TPeakDisplay::pdHold);
    EXPECT_TRUE(form->PeakHold1->isChecked());
    EXPECT_TRUE(form->Medium1->isChecked());
    EXPECT_EQ(form->WindowType(), 3);
    EXPECT_TRUE(form->BlackmanHarris1->isChecked());
    EXPECT_EQ(form->InputMode(), 4);
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
        EXPECT_EQ(form->DecayTime(), 7);
        EXPECT_TRUE(form->Rectangular1->isChecked());
        EXPECT_EQ(form->WindowType(), 9);
        EXPECT_EQ(form->Spectrum1->HighTreshhold(), -10);
        EXPECT_EQ(form->Spectrum1->MidTreshhold(), -3);
        EXPECT_EQ(form->Spectrum1->HighColor(), 0x0000FFu);
        EXPECT_EQ(form->Spectrum1->MidColor(), 0x00FF00u);
        EXPECT_EQ(form->Samplerate(), 44100);
        EXPECT_EQ(form->InputMode(), 3);
        EXPECT_TRUE(form->Alwaysontop1->isChecked());
        // An empty stored device selects the first entry.
        EXPECT_EQ(form->CurrentDevice(), form->Devices()[0].get());
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
    auto key = RegistryKey::Open(RootKey::CurrentUser, TForm1::ConfigKeyPath(), Access::Read);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString("Device"), "");
    EXPECT_EQ(key->ReadInteger("Samplerate"), 44100u);
    EXPECT_EQ(key->ReadInteger("Width"), 464u);
    EXPECT_EQ(key->ReadInteger("Left"), 672u);
}

}  // namespace
