// The analyzer's window with the test-signal driver: its tone shows in its band, and switching
// rates and devices while the driver streams neither crashes nor loses the signal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "filterbank/utonebank.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "platform/registry.h"
#include "shell/Unit1.h"
#include "core/bandlevel.h"
#include "core/commandline.h"

namespace {

using namespace spectrino;
namespace fs = std::filesystem;
using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

constexpr const char* kDriver = "Spectrino Test Signal";
constexpr const char* kClassId = "{8D2E6A51-3F7C-4E19-B6A2-5C1D9E0F7A34}";
constexpr const char* kPair = "In 1 / In 2 [Spectrino Test Signal]";

void Wait(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

void SetString(RootKey root, const std::string& path, const char* name, const std::string& v) {
    auto key = RegistryKey::Open(root, path, Access::ReadWrite);
    ASSERT_TRUE(key);
    key->WriteString(name, v);
    ASSERT_TRUE(key->Close());
}

// A registry of this test's own with the test-signal driver installed.
class AsioEndToEnd : public ::testing::Test {
protected:
    AsioEndToEnd()
        : dir_(fs::temp_directory_path() / ("spectrino-asio-e2e-" + std::to_string(getpid()))) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        setenv("SPECTRINO_REGISTRY_DIR", dir_.c_str(), 1);
        SetString(RootKey::ClassesRoot, std::string("CLSID\\") + kClassId + "\\InprocServer32", "",
                  SPECTRINO_TESTSIGNAL_PATH);
        SetString(RootKey::LocalMachine, std::string("software\\asio\\") + kDriver, "clsid",
                  kClassId);
        NoASIO = false;
    }
    ~AsioEndToEnd() override { fs::remove_all(dir_); }

    TSpectArray Levels(TForm1& form) {
        TSpectArray levels{};
        form.Spectrum1Refresh(levels);
        return levels;
    }

    fs::path dir_;
    platform::DebugCapture quiet;
    ExceptionCapture shown;
};

// The level the bank gives the driver's -20 dBFS sine on both channels.
int32_t Predicted(int rate, int band) {
    TGoertzel bank(rate);
    const BandTable table = ComputeBands(static_cast<float>(rate));
    for (int i = 0; i < kBandCount; ++i) {
        bank.AddBin(table.BandCentres[i], table.BandWidths[i]);
    }
    std::vector<float> block(rate);
    for (int n = 0; n < rate; ++n) {
        block[n] = static_cast<float>(0.1 * std::sin(2 * std::numbers::pi * 1000.0 * n / rate));
    }
    bank.AddSamples(block.data(), rate);
    return BandLevel(bank.GetResult(band));
}

TEST_F(AsioEndToEnd, DriverToneShowsInItsBandAndSurvivesSwitching) {
    auto owned = std::make_unique<TForm1>(nullptr);
    TForm1& form = *owned;
    // Test programs carry no version block; these name the settings key.
    AppCompanyName = "Test Maker";
    AppProductName = "Spectrino";
    form.FormShow();
    const auto& devices = form.Analyzer().Devices();
    const auto asio = std::find_if(devices.begin(), devices.end(),
                                   [](const auto& d) { return d->Caption == kPair; });
    ASSERT_NE(asio, devices.end());
    EXPECT_TRUE((*asio)->IsASIO);
    EXPECT_EQ((*asio)->ASIOChannel, 0);
    EXPECT_EQ(form.Analyzer().ASIOHost->DriverIndex(), -1);  // probing leaves no driver loaded

    form.Analyzer().SetDevice(kPair);
    EXPECT_TRUE(form.ControlPanel1->isVisible());
    EXPECT_TRUE(form.Analyzer().ASIOHost->Active());
    // The driver's control panel takes changed latencies and tells the host.
    {
        auto key = RegistryKey::Open(RootKey::LocalMachine, "software\\Spectrino\\Test Signal",
                                     Access::ReadWrite);
        ASSERT_TRUE(key);
        key->WriteInteger("InputLatency", 777);
        ASSERT_TRUE(key->Close());
    }
    form.ControlPanel1->trigger();
    Wait(300);
    EXPECT_EQ(form.Analyzer().ASIOHost->InputLatency(), 777);
    Wait(1500);
    TSpectArray levels = Levels(form);
    std::printf("44100 Hz: band 74 reads %.2f dB, predicted %.2f dB\n", levels[74] / 100.0,
                Predicted(44100, 74) / 100.0);
    EXPECT_EQ(std::max_element(levels.begin(), levels.end()) - levels.begin(), 74);
    EXPECT_NEAR(levels[74], Predicted(44100, 74), 100);

    // Rates and devices switched while the driver streams.
    QElapsedTimer soak;
    soak.start();
    const int seconds = std::getenv("SPECTRINO_SOAK_SECONDS")
                            ? std::atoi(std::getenv("SPECTRINO_SOAK_SECONDS"))
                            : 60;
    for (int round = 0; soak.elapsed() < seconds * 1000; ++round) {
        form.Analyzer().SetSamplerate(round % 2 ? 44100 : 48000);
        Wait(150);
        form.Analyzer().SetAudioDevice(round % 3 == 0 ? 0 : static_cast<int32_t>(asio - devices.begin()));
        Wait(150);
    }
    form.Analyzer().SetSamplerate(48000);
    form.Analyzer().SetDevice(kPair);
    Wait(1500);
    levels = Levels(form);
    EXPECT_EQ(std::max_element(levels.begin(), levels.end()) - levels.begin(), 73);
    EXPECT_NEAR(levels[73], Predicted(48000, 73), 100);
    EXPECT_TRUE(shown.Messages().empty()) << shown.Messages().front();

    // "On" stops the stream; the display shows the last second until it is switched back.
    form.On1->trigger();
    EXPECT_FALSE(form.Analyzer().ASIOHost->Active());
    form.On1->trigger();
    EXPECT_TRUE(form.Analyzer().ASIOHost->Active());

    // Nothing of the switching is lost: the next start resumes the last choice.
    owned.reset();
    TForm1 again(nullptr);
    AppCompanyName = "Test Maker";
    AppProductName = "Spectrino";
    again.FormShow();
    ASSERT_NE(again.Analyzer().CurrentDevice(), nullptr);
    EXPECT_EQ(again.Analyzer().CurrentDevice()->Caption, kPair);
    EXPECT_EQ(again.Analyzer().Samplerate(), 48000);
    EXPECT_TRUE(again.Analyzer().ASIOHost->Active());
    AppCompanyName.clear();
    AppProductName.clear();
}

TEST_F(AsioEndToEnd, NoAsioSwitchOffersWaveDevicesOnly) {
    NoASIO = true;
    TForm1 form(nullptr);
    form.FormShow();
    for (const auto& device : form.Analyzer().Devices()) {
        EXPECT_FALSE(device->IsASIO) << device->Caption;
    }
    form.Analyzer().SetDevice(kPair);  // a stored driver pair matches nothing: the first entry
    EXPECT_EQ(form.Analyzer().CurrentDevice(), form.Analyzer().Devices()[0].get());
    EXPECT_FALSE(form.ControlPanel1->isVisible());
    NoASIO = false;
}

}  // namespace
