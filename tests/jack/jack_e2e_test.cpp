// The JACK driver against a running JACK server (started by the test runner): what it reports,
// a tone from another JACK client in its band through the analyzer's window, the resampled
// rate, the round trip through a loopback connection, and a server that dies mid-stream.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "asio/DASIOHost.h"
#include "core/bandlevel.h"
#include "core/bandtable.h"
#include "core/input_routing.h"
#include "e2e/device_menu.h"
#include "e2e/predicted_level.h"
#include "filterbank/utonebank.h"
#include "jack_client.h"
#include "jack_test_support.h"
#include "settings.h"
#include "shell/Unit1.h"
#include "wait_for.h"

namespace spectrino {
namespace {

using jack_test::JackClient;
using spectrino::testing::WaitFor;
using spectrino_test::PredictedToneLevel;

constexpr const char* kClient = "SpectrinoUnderTest";

void RunFor(int milliseconds) {
    WaitFor([] { return false; }, std::chrono::milliseconds(milliseconds));
}

int RunScript(const std::string& command) {
    const std::string line = std::string(SPECTRINO_JACK_SERVER_SCRIPT) + " " + command + " '" +
                             jack_test::ServerName() + "'";
    return std::system(line.c_str());
}

class JackEndToEnd : public jack_test::JackRegistryTest {
protected:
    void SetUp() override {
        JackRegistryTest::SetUp();
        Set("ClientName", kClient);
        tone_ = std::make_unique<JackClient>(jack_test::ServerName(), 1000.0, 0.1);
        ASSERT_TRUE(tone_->Running()) << "no JACK server \"" << jack_test::ServerName() << "\"";
    }
    // The driver's ports as other JACK clients see them.
    std::vector<std::string> DriverPorts(unsigned long flags) const {
        return tone_->Ports(std::string("^") + kClient, flags);
    }
    static std::unique_ptr<TASIOHost> Open(double rate) {
        auto host = std::make_unique<TASIOHost>();
        host->SetSampleRate(rate);
        host->SetDriverName(jack_test::kDriver);
        // Opening takes the driver's own rate, as the analyzer knows.
        host->SetSampleRate(rate);
        return host;
    }

    void TearDown() override {
        AppCompanyName.clear();
        AppProductName.clear();
        JackRegistryTest::TearDown();
    }
    // The window as a user starts it, with the tone named as the driver's source in its
    // settings; returns the driver's entry in the Device menu.
    QAction* ShowWindow(TForm1& form) {
        Set("Connect", tone_->TonePort() + "," + tone_->TonePort());
        // Test programs carry no version block; these name the settings key.
        AppCompanyName = "Test Maker";
        AppProductName = "Spectrino";
        form.FormShow();
        return spectrino_test::DeviceMenuItem(form, kPair);
    }

    static inline const QString kPair = QStringLiteral("In 1 / In 2 [Spectrino JACK]");
    std::unique_ptr<JackClient> tone_;
};

// Blocks seen by the host's 32-bit event; `also` runs on the driver's thread for each.
struct BlockCount {
    std::atomic<int> blocks{0};
    std::atomic<int64_t> lastPosition{-1};
    std::atomic<int64_t> step{0};

    void Attach(
        TASIOHost& host,
        std::function<void(const TQorArrayOfSingleDynArray&, TQorArrayOfSingleDynArray&, int64_t)>
            also = {}) {
        host.OnBufferSwitch32 = [this, also](TCustomASIOHost& sender,
                                             const TQorArrayOfSingleDynArray& in,
                                             TQorArrayOfSingleDynArray& out) {
            const int64_t position = sender.ASIOTime().SamplePos();
            if (lastPosition.load() >= 0) {
                step.store(position - lastPosition.load());
            }
            lastPosition.store(position);
            if (also) {
                also(in, out, position);
            }
            blocks.fetch_add(1);
        };
    }
};

// The band's level after streaming the tone into the bank through the host at `rate`.
int32_t ReadTone(TASIOHost& host, int rate, int band) {
    TGoertzel bank(rate);
    const BandTable table = ComputeBands(static_cast<float>(rate));
    for (int i = 0; i < kBandCount; ++i) {
        bank.AddBin(table.BandCentres[i], table.BandWidths[i]);
    }
    std::vector<float> mono(8192);
    BlockCount count;
    count.Attach(
        host, [&](const TQorArrayOfSingleDynArray& in, TQorArrayOfSingleDynArray&, int64_t) {
            MixChannels(in[0].data(), in[1].data(), in[0].size(), kLeftPlusRight, mono.data());
            bank.AddSamples(mono.data(), static_cast<int32_t>(in[0].size()));
        });
    host.SetActive(true);
    EXPECT_TRUE(host.Active());
    WaitFor([&] { return count.blocks.load() * static_cast<int>(host.BufferSize()) > 2 * rate; },
            std::chrono::seconds(10));
    host.SetActive(false);
    std::vector<int32_t> levels(kBandCount);
    for (int i = 0; i < kBandCount; ++i) {
        levels[static_cast<std::size_t>(i)] = BandLevel(bank.GetResult(i));
    }
    EXPECT_EQ(std::max_element(levels.begin(), levels.end()) - levels.begin(), band);
    return levels[static_cast<std::size_t>(band)];
}

TEST_F(JackEndToEnd, ReportsTheServersPeriodRatesAndPorts) {
    const auto host = Open(44100.0);
    ASSERT_TRUE(host->BuffersCreated());
    EXPECT_EQ(host->BufferSize(), static_cast<uint32_t>(tone_->Period()));
    EXPECT_EQ(host->InputChannelCount(), 2);
    EXPECT_EQ(host->OutputChannelCount(), 2);
    ASIOChannelInfo info{};
    host->GetChannelInfo(1, info);
    EXPECT_STREQ(info.name, "In 2");
    EXPECT_EQ(info.type, 19);  // JACK's floats as they are
    EXPECT_EQ(host->CanSampleRate(44100.0), ASE_OK);
    EXPECT_EQ(host->CanSampleRate(48000.0), ASE_OK);
    EXPECT_EQ(host->CanSampleRate(tone_->Rate()), ASE_OK);
    EXPECT_NE(host->CanSampleRate(96000.0 == tone_->Rate() ? 88200.0 : 96000.0), ASE_OK);
    EXPECT_GE(host->InputLatency(), tone_->Period());
    EXPECT_GE(host->OutputLatency(), tone_->Period());
    const auto inputs = DriverPorts(JackPortIsInput);
    const auto outputs = DriverPorts(JackPortIsOutput);
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_EQ(inputs[0], std::string(kClient) + ":In 1");
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_EQ(outputs[1], std::string(kClient) + ":Out 2");

    // Blocks come from JACK's cycle, one period apart.
    BlockCount count;
    count.Attach(*host);
    host->SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return count.blocks.load() > 20; }, std::chrono::seconds(5)));
    host->SetActive(false);
    EXPECT_EQ(count.step.load(), tone_->Period());
    // Stopped means stopped.
    const int blocks = count.blocks.load();
    RunFor(200);
    EXPECT_EQ(count.blocks.load(), blocks);
}

// Channel counts come from the settings, and a driver without outputs streams at both rates.
TEST_F(JackEndToEnd, PortsAsConfiguredWithoutOutputs) {
    Set("Inputs", "3");
    Set("Outputs", "0");
    for (const double rate : {44100.0, 48000.0}) {
        SCOPED_TRACE(rate);
        const auto host = Open(rate);
        ASSERT_TRUE(host->BuffersCreated());
        EXPECT_EQ(host->InputChannelCount(), 3);
        EXPECT_EQ(host->OutputChannelCount(), 0);
        EXPECT_EQ(DriverPorts(JackPortIsInput).size(), 3u);
        EXPECT_TRUE(DriverPorts(JackPortIsOutput).empty());
        BlockCount count;
        count.Attach(*host);
        host->SetActive(true);
        EXPECT_TRUE(WaitFor([&] { return count.blocks.load() > 10; }, std::chrono::seconds(5)));
        host->SetActive(false);
    }
}

// The settings window shows the settings and the server's sources; what it accepts is stored
// and applied through a reset, which brings the new ports and connections.
TEST_F(JackEndToEnd, ControlPanelChangesApplyThroughReset) {
    const auto host = Open(tone_->Rate());
    ASSERT_TRUE(host->BuffersCreated());
    std::atomic<int> resets{0};
    host->OnReset = [&](TCustomASIOHostBasic&) { ++resets; };
    host->ControlPanel();
    QDialog* panel = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "JackControlPanel") {
            panel = qobject_cast<QDialog*>(widget);
        }
    }
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(panel->isVisible());
    auto* client = panel->findChild<QLineEdit*>("ClientName");
    auto* inputs = panel->findChild<QSpinBox*>("Inputs");
    auto* connect = panel->findChild<QComboBox*>("Connect");
    ASSERT_TRUE(client && inputs && connect && panel->findChild<QLineEdit*>("ServerName") &&
                panel->findChild<QSpinBox*>("Outputs"));
    EXPECT_EQ(client->text(), kClient);
    EXPECT_EQ(inputs->value(), 2);
    EXPECT_GE(connect->findText(QString::fromStdString(tone_->TonePort())), 0);

    panel->reject();
    RunFor(200);
    EXPECT_EQ(resets, 0);  // cancelled: nothing changes

    host->ControlPanel();
    inputs->setValue(4);
    connect->setCurrentText(QString::fromStdString(tone_->TonePort() + ", " + tone_->TonePort()));
    panel->accept();
    const jack::Settings stored = jack::ReadSettings();
    EXPECT_EQ(stored.inputs, 4);
    EXPECT_EQ(stored.connect, (std::vector<std::string>{tone_->TonePort(), tone_->TonePort()}));
    ASSERT_TRUE(WaitFor([&] { return resets > 0; }));
    EXPECT_EQ(host->InputChannelCount(), 4);
    EXPECT_EQ(DriverPorts(JackPortIsInput).size(), 4u);
    jack_port_t* first =
        jack_port_by_name(tone_->Client(), (std::string(kClient) + ":In 2").c_str());
    ASSERT_NE(first, nullptr);
    // PipeWire makes links a moment after the call.
    EXPECT_TRUE(WaitFor([&] { return jack_port_connected_to(first, tone_->TonePort().c_str()); }));
}

// As a user does it: the tone client is named as the driver's source in its settings, the pair
// is picked from the window's Device menu and the tone shows in the bars (at 44100 Hz, through
// the converter when the server runs at another rate).
TEST_F(JackEndToEnd, ToneShowsThroughTheWindowsDeviceMenu) {
    TForm1 form(nullptr);
    QAction* item = ShowWindow(form);
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_EQ(form.windowTitle(), "Spectrino [" + kPair + "]");
    ASSERT_TRUE(form.Analyzer().ASIOHost->Active());
    RunFor(2500);
    TSpectArray levels{};
    form.Spectrum1Refresh(levels);
    const int32_t predicted = PredictedToneLevel(44100, 74, 1000.0);
    std::printf(
        "window on Spectrino JACK at 44100 Hz (server %.0f Hz): band 74 reads %.2f dB, "
        "predicted %.2f dB\n",
        tone_->Rate(), levels[74] / 100.0, predicted / 100.0);
    EXPECT_EQ(std::max_element(levels.begin(), levels.end()) - levels.begin(), 74);
    EXPECT_NEAR(levels[74], predicted, 100);
}

// The server goes away under the window and comes back: the driver is dropped on its reset,
// and choosing the same device again from the menu reconnects and shows the tone again.
TEST_F(JackEndToEnd, WindowReconnectsWhenTheDeviceIsChosenAgainAfterARestart) {
    TForm1 form(nullptr);
    QAction* item = ShowWindow(form);
    ASSERT_NE(item, nullptr);
    item->trigger();
    const int32_t predicted = PredictedToneLevel(44100, 74, 1000.0);
    const auto band74 = [&form] {
        TSpectArray levels{};
        form.Spectrum1Refresh(levels);
        return levels[74];
    };
    RunFor(1500);
    EXPECT_NEAR(band74(), predicted, 100);

    struct Restart {
        bool done = false;
        ~Restart() {
            if (!done) {
                RunScript("start");
            }
        }
    } restart;
    const std::string port = tone_->TonePort();
    tone_.reset();
    ASSERT_EQ(RunScript("stop"), 0);
    TASIOHost& host = *form.Analyzer().ASIOHost;
    ASSERT_TRUE(WaitFor([&] { return !host.DriverOpen(); }, std::chrono::seconds(10)))
        << "the driver was kept after its server went away";
    restart.done = true;
    ASSERT_EQ(RunScript("start"), 0);
    tone_ = std::make_unique<JackClient>(jack_test::ServerName(), 1000.0, 0.1);
    ASSERT_TRUE(tone_->Running());
    Set("Connect", tone_->TonePort() + "," + tone_->TonePort());

    item->trigger();
    ASSERT_TRUE(host.DriverOpen()) << "choosing the device again did not reconnect";
    EXPECT_TRUE(host.Active());
    RunFor(1500);
    const int32_t after = band74();
    std::printf("window after the server came back: band 74 reads %.2f dB, predicted %.2f dB\n",
                after / 100.0, predicted / 100.0);
    EXPECT_NEAR(after, predicted, 100);
}

// The rate that is not the server's is resampled inside the driver: the tone lands in its
// band as at the server's own rate.
TEST_F(JackEndToEnd, OtherRateIsResampledIntoTheSameBand) {
    Set("Connect", tone_->TonePort() + "," + tone_->TonePort());
    const int native = static_cast<int>(tone_->Rate());
    const int other = native == 44100 ? 48000 : 44100;
    const auto bandAt = [](int rate) { return rate >= 48000 ? 73 : 74; };
    int32_t readings[2] = {};
    int32_t latencies[2] = {};
    for (const int rate : {native, other}) {
        const auto host = Open(rate);
        ASSERT_TRUE(host->BuffersCreated());
        ASSERT_EQ(host->SampleRate(), rate);
        const int i = rate == native ? 0 : 1;
        readings[i] = ReadTone(*host, rate, bandAt(rate));
        latencies[i] = host->InputLatency();
        std::printf("%d Hz (%s): band %d reads %.2f dB, predicted %.2f dB; input latency %d\n",
                    rate, i == 0 ? "server's rate" : "resampled", bandAt(rate), readings[i] / 100.0,
                    PredictedToneLevel(rate, bandAt(rate), 1000.0) / 100.0, latencies[i]);
        EXPECT_NEAR(readings[i], PredictedToneLevel(rate, bandAt(rate), 1000.0), 100);
    }
    // The converter's delay is part of what the driver reports.
    EXPECT_GT(latencies[1], latencies[0]);
}

// The driver's output port connected to its own input: a click written by the host comes back
// after the round trip, which is measured beside the latencies the driver reports. A server
// that does not run a client's output into its own input (PipeWire) gets a pass-through client
// between the two. A new connection may go live some cycles after it is made, so the click
// repeats, a quarter second apart (far more than a round trip), until one comes back.
TEST_F(JackEndToEnd, LoopbackRoundTripBesideReportedLatencies) {
    const std::string out = std::string(kClient) + ":Out 1";
    const std::string in = std::string(kClient) + ":In 1";
    for (const double rate : {tone_->Rate(), tone_->Rate() == 44100.0 ? 48000.0 : 44100.0}) {
        SCOPED_TRACE(rate);
        const auto host = Open(rate);
        ASSERT_TRUE(host->BuffersCreated());
        const auto interval = static_cast<int64_t>(rate / 4);
        std::atomic<int64_t> sent{-1};
        std::atomic<int64_t> heard{-1};
        std::atomic<int64_t> roundTrip{-1};
        BlockCount count;
        count.Attach(*host, [&](const TQorArrayOfSingleDynArray& input,
                                TQorArrayOfSingleDynArray& output, int64_t position) {
            for (auto& channel : output) {
                std::fill(channel.begin(), channel.end(), 0.0f);
            }
            if (heard >= 0) {
                return;
            }
            if (sent >= 0) {
                for (std::size_t i = 0; i < input[0].size(); ++i) {
                    if (std::abs(input[0][i]) > 0.3f) {
                        roundTrip = position + static_cast<int64_t>(i) - sent;
                        heard = position + static_cast<int64_t>(i);
                        return;
                    }
                }
            }
            if (sent < 0 || position >= sent + interval) {
                output[0][0] = 0.9f;
                sent = position;
            }
        });
        ASSERT_TRUE(tone_->Connect(out, in));
        host->SetActive(true);
        const char* path = "direct";
        if (!WaitFor([&] { return heard >= 0; }, std::chrono::seconds(2))) {
            ASSERT_TRUE(tone_->Disconnect(out, in));
            ASSERT_TRUE(tone_->Connect(out, tone_->RelayIn()));
            ASSERT_TRUE(tone_->Connect(tone_->RelayOut(), in));
            path = "through a pass-through client";
        }
        ASSERT_TRUE(WaitFor([&] { return heard >= 0; }, std::chrono::seconds(10)));
        host->SetActive(false);
        const int64_t trip = roundTrip.load();
        std::printf(
            "loopback (%s) at %.0f Hz (server %.0f Hz, period %u): measured round trip %lld "
            "frames; reported input %d + output %d = %d frames\n",
            path, rate, tone_->Rate(), host->BufferSize(), static_cast<long long>(trip),
            host->InputLatency(), host->OutputLatency(),
            host->InputLatency() + host->OutputLatency());
        EXPECT_GT(trip, 0);
        // The reported figures cover the trip to within one period.
        EXPECT_LE(trip, host->InputLatency() + host->OutputLatency() + 1);
        EXPECT_GE(trip + static_cast<int64_t>(host->BufferSize()) + 1,
                  host->InputLatency() + host->OutputLatency() -
                      static_cast<int64_t>(host->BufferSize()));
    }
}

// A server that goes away mid-stream: the host hears a reset, cannot reopen while the server
// is gone, and nothing hangs; chosen again once the server is back, the driver streams again.
TEST_F(JackEndToEnd, ServerRestartMidStream) {
    const auto host = Open(44100.0);
    ASSERT_TRUE(host->BuffersCreated());
    BlockCount count;
    count.Attach(*host);
    host->SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return count.blocks.load() > 10; }, std::chrono::seconds(5)));
    tone_.reset();

    // Whatever fails below, the tests after this one find the server running.
    struct Restart {
        bool done = false;
        ~Restart() {
            if (!done) {
                RunScript("start");
            }
        }
    } restart;
    ASSERT_EQ(RunScript("stop"), 0);
    ASSERT_TRUE(WaitFor([&] { return host->InputChannelCount() == 0; }, std::chrono::seconds(10)))
        << "no reset after the server went away";
    EXPECT_FALSE(host->BuffersCreated());
    const int blocks = count.blocks.load();
    RunFor(200);
    EXPECT_EQ(count.blocks.load(), blocks);
    host->SetActive(true);
    EXPECT_FALSE(host->Active());

    // Chosen again as the analyzer chooses a device: from no driver.
    restart.done = true;
    ASSERT_EQ(RunScript("start"), 0);
    host->SetDriverIndex(-1);
    host->SetDriverName(jack_test::kDriver);
    ASSERT_TRUE(host->BuffersCreated());
    count.Attach(*host);
    host->SetActive(true);
    ASSERT_TRUE(host->Active());
    EXPECT_TRUE(
        WaitFor([&] { return count.blocks.load() > blocks + 10; }, std::chrono::seconds(5)));
    host->SetActive(false);
}

// A server that changes its period asks the host for a reset, after which the blocks are of the
// new size.
TEST_F(JackEndToEnd, NewServerPeriodResetsTheHost) {
    const auto host = Open(44100.0);
    ASSERT_TRUE(host->BuffersCreated());
    const int32_t before = tone_->Period();
    const int32_t after = before == 512 ? 256 : 512;
    ASSERT_EQ(jack_set_buffer_size(tone_->Client(), static_cast<jack_nframes_t>(after)), 0);
    EXPECT_TRUE(WaitFor([&] { return host->BufferSize() == static_cast<uint32_t>(after); },
                        std::chrono::seconds(5)));
    BlockCount count;
    count.Attach(*host);
    host->SetActive(true);
    EXPECT_TRUE(WaitFor([&] { return count.blocks.load() > 10; }, std::chrono::seconds(5)));
    host->SetActive(false);
    EXPECT_EQ(count.step.load(), after);
    jack_set_buffer_size(tone_->Client(), static_cast<jack_nframes_t>(before));
    WaitFor([&] { return tone_->Period() == before; }, std::chrono::seconds(2));
}

}  // namespace
}  // namespace spectrino
