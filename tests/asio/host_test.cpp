// The host's life cycle against the test-signal driver: choosing, opening and closing drivers,
// buffer sizes, rates, messages from the driver and resets.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>

#include "asio/DASIOHost.h"
#include "asio_test_support.h"
#include "framework/exception.h"

namespace spectrino {
namespace {

using testing::RegistryTest;
using testing::WaitFor;

class HostTest : public RegistryTest {
protected:
    // Counts the notify events a host raises.
    struct Counter {
        std::atomic<int> count{0};
        void Attach(TNotifyEvent& event) {
            event = [this](TCustomASIOHostBasic&) { ++count; };
        }
    };

    // Counts the blocks that reach the 32-bit event.
    static void CountBlocks(TASIOHost& host, std::atomic<int>& blocks) {
        host.OnBufferSwitch32 = [&blocks](TCustomASIOHost&, const TQorArrayOfSingleDynArray&,
                                          TQorArrayOfSingleDynArray&) { ++blocks; };
    }
};

TEST_F(HostTest, DriverIndexIsClampedAndOnlyAChangeReopens) {
    AddTestSignal("First", 1);
    AddTestSignal("Second", 2, {{"Inputs", "4"}});
    AddTestSignal("Third", 3, {{"Inputs", "6"}, {"Version", "7"}});
    std::atomic<int> blocks{0};
    TASIOHost host;
    EXPECT_EQ(host.DriverIndex(), -1);
    EXPECT_EQ(host.GetNumDrivers(), 3);
    EXPECT_EQ(host.DriverList(), (std::vector<std::string>{"First", "Second", "Third"}));
    Counter changed;
    changed.Attach(host.OnDriverChanged);

    host.SetDriverIndex(7);
    EXPECT_EQ(host.DriverIndex(), 2);
    EXPECT_EQ(host.DriverName(), "Third");
    EXPECT_EQ(host.InputChannelCount(), 6);
    EXPECT_EQ(host.DriverVersion(), 7);
    EXPECT_EQ(changed.count, 1);
    host.SetDriverIndex(2);
    EXPECT_EQ(changed.count, 1) << "the same index does nothing";

    host.SetDriverName("sECOND");
    EXPECT_EQ(host.DriverIndex(), 1);
    EXPECT_EQ(host.InputChannelCount(), 4);
    host.SetDriverName("Fourth");
    EXPECT_EQ(host.DriverIndex(), 1);

    host.SetActive(true);
    ASSERT_TRUE(host.Active());
    host.SetDriverIndex(-5);
    EXPECT_EQ(host.DriverIndex(), -1);
    EXPECT_EQ(host.DriverName(), "");
    EXPECT_FALSE(host.Active());
    EXPECT_EQ(host.InputChannelCount(), 0);
    EXPECT_EQ(host.BufferSize(), 0u);
    EXPECT_EQ(host.CanSampleRate(44100.0), ASE_NotPresent);
    EXPECT_EQ(host.GetInputMeter(0), -1);
    EXPECT_EQ(changed.count, 3);

    // A running host keeps running across a change of driver.
    host.SetDriverIndex(0);
    host.SetActive(true);
    host.SetDriverIndex(2);
    EXPECT_TRUE(host.Active());
    CountBlocks(host, blocks);
    EXPECT_TRUE(WaitFor([&] { return blocks >= 2; }));
}

TEST_F(HostTest, DriverThatCannotBeOpenedNeverThrowsThroughTheIndex) {
    // Names in the same order created and sorted: Windows lists subkeys sorted.
    AddTestSignal("A Good", 1);
    AddTestSignal("Fails Init", 2, {{"InitFails", "1"}});
    TASIOHost host;
    Counter changed;
    changed.Attach(host.OnDriverChanged);
    host.SetDriverIndex(0);
    host.SetActive(true);
    ASSERT_EQ(changed.count, 1);

    EXPECT_NO_THROW(host.SetDriverName("Fails Init"));
    EXPECT_EQ(host.DriverIndex(), 1);
    EXPECT_EQ(host.DriverName(), "Fails Init");
    EXPECT_FALSE(host.Active());
    EXPECT_EQ(host.CanSampleRate(44100.0), ASE_NotPresent) << "no driver bound";
    EXPECT_EQ(changed.count, 1);
    host.SetActive(true);
    EXPECT_FALSE(host.Active());

    try {
        host.OpenDriver();
        ADD_FAILURE() << "OpenDriver succeeded";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "ASIO Driver Failed!");
    }
}

TEST_F(HostTest, BufferSizeFollowsTheDriversReport) {
    AddTestSignal("Fixed 256", 1,
                  {{"BufferMinimum", "256"}, {"BufferMaximum", "256"}, {"BufferPreferred", "512"}});
    AddTestSignal("No Preference", 2, {{"BufferPreferred", "0"}});
    AddTestSignal("Too Large", 3, {{"BufferMaximum", "131072"}, {"BufferPreferred", "70000"}});
    AddTestSignal("Up To 1024", 4, {{"BufferMaximum", "1024"}, {"BufferPreferred", "0"}});
    TASIOHost host;

    host.SetDriverIndex(0);
    EXPECT_EQ(host.BufferSize(), 256u);
    EXPECT_EQ(host.BufferPreferredSize(), 256);
    EXPECT_EQ(host.BufferMinimum(), 256);
    EXPECT_EQ(host.BufferMaximum(), 256);
    EXPECT_TRUE(host.BuffersCreated());
    EXPECT_EQ(host.InputLatency(), 256) << "the driver was asked for 256 samples";

    for (const char* name : {"No Preference", "Too Large"}) {
        host.SetDriverName(name);
        EXPECT_EQ(host.BufferSize(), 4096u) << name;
        EXPECT_TRUE(host.BuffersCreated()) << name;
        EXPECT_EQ(host.InputLatency(), 4096) << name;
    }

    // The driver refuses the size: bound, without buffers, and it is still asked to start.
    host.SetDriverName("Up To 1024");
    EXPECT_EQ(host.DriverIndex(), 3);
    EXPECT_FALSE(host.BuffersCreated());
    EXPECT_EQ(host.CanSampleRate(44100.0), ASE_OK);
    host.SetActive(true);
    EXPECT_FALSE(host.Active());
}

TEST_F(HostTest, SampleRateIsValidatedButPassedOnAsGiven) {
    AddTestSignal("Signal", 1, {{"SampleRate", "48000"}});
    TASIOHost host;
    EXPECT_EQ(host.SampleRate(), 44100.0);
    host.SetSampleRate(0.0);
    EXPECT_EQ(host.SampleRate(), 44100.0);
    EXPECT_EQ(host.ASIOTime().SampleRate(), 0.0);
    host.SetSampleRate(2000000.0);
    EXPECT_EQ(host.SampleRate(), 44100.0);
    host.SetSampleRate(96000.0);
    EXPECT_EQ(host.SampleRate(), 96000.0);

    // Opening replaces the rate with the driver's own.
    host.SetDriverIndex(0);
    EXPECT_EQ(host.SampleRate(), 48000.0);
    EXPECT_EQ(host.CanSampleRate(44100.0), ASE_OK);
    EXPECT_EQ(host.CanSampleRate(96000.0), ASE_NoClock);
    host.SetSampleRate(44100.0);
    ASSERT_TRUE(host.CreateBuffers());
    EXPECT_EQ(host.SampleRate(), 44100.0) << "the driver took the new rate";

    host.CloseDriver();
    EXPECT_EQ(host.SampleRate(), 44100.0);
    EXPECT_EQ(host.InputChannelCount(), 0);
}

TEST_F(HostTest, DefaultTestSignalDriver) {
    const std::string clsid = "{8D2E6A51-3F7C-4E19-B6A2-5C1D9E0F7A34}";
    RegisterServer(clsid, testing::TestSignalPath());
    ListDriver("Spectrino Test Signal", clsid);
    std::atomic<int> blocks{0};
    TASIOHost host;
    host.SetDriverName("Spectrino Test Signal");
    ASSERT_EQ(host.DriverIndex(), 0);
    EXPECT_EQ(host.InputChannelCount(), 2);
    EXPECT_EQ(host.OutputChannelCount(), 2);
    EXPECT_EQ(host.CanSampleRate(44100.0), ASE_OK);
    EXPECT_EQ(host.CanSampleRate(48000.0), ASE_OK);
    EXPECT_NE(host.CanSampleRate(96000.0), ASE_OK);
    for (int i = 0; i < 2; ++i) {
        ASIOChannelInfo info{};
        host.GetChannelInfo(i, info);
        EXPECT_STREQ(info.name, i == 0 ? "In 1" : "In 2");
        EXPECT_EQ(info.type, 19);
        EXPECT_EQ(info.isInput, ASIOTrue);
    }
    ASIOChannelInfo none{};
    none.channel = 99;
    host.GetChannelInfo(2, none);
    EXPECT_EQ(none.channel, 0);

    EXPECT_EQ(host.CanDos(), (TASIOCanDos{acdTimeInfo, acdInputGain, acdInputMeter, acdOutputGain,
                                          acdOutputMeter}));
    EXPECT_FALSE(host.CanTimeCode());

    // 1000 Hz at -20 dBFS on every input, as the meters show.
    CountBlocks(host, blocks);
    host.SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return blocks >= 3; }));
    const double fullMeter = 0x7FFFFFFF;
    EXPECT_NEAR(host.GetInputMeter(0) / fullMeter, 0.1, 0.002);
    EXPECT_NEAR(host.GetInputMeter(1) / fullMeter, 0.1, 0.002);
    host.SetInputGain(1, 0x10000000);  // -6 dB
    const int before = blocks;
    ASSERT_TRUE(WaitFor([&] { return blocks >= before + 2; }));
    EXPECT_NEAR(host.GetInputMeter(1) / fullMeter, 0.05, 0.002);
    EXPECT_NEAR(host.GetInputMeter(0) / fullMeter, 0.1, 0.002);
}

TEST_F(HostTest, MessageRepliesFollowTheSelectorSupport) {
    {
        TASIOHost host;
        EXPECT_EQ(CurrentHost.load(), &host);
        EXPECT_EQ(ASIOMessage(kAsioSelectorSupported, 5, nullptr, nullptr), 1);
        EXPECT_EQ(ASIOMessage(kAsioSelectorSupported, 7, nullptr, nullptr), 0);
        EXPECT_EQ(ASIOMessage(kAsioSelectorSupported, 10, nullptr, nullptr), 0);
        EXPECT_EQ(ASIOMessage(kAsioSelectorSupported, 1, nullptr, nullptr), 0);
        host.SetSelectorSupport({assSupportsTimeInfo, assSupportsInputMonitor});
        EXPECT_EQ(ASIOMessage(kAsioSelectorSupported, 2, nullptr, nullptr), 0);
        EXPECT_EQ(ASIOMessage(kAsioSelectorSupported, 7, nullptr, nullptr), 1);
        EXPECT_EQ(ASIOMessage(kAsioSelectorSupported, 9, nullptr, nullptr), 1);

        const std::pair<int32_t, int32_t> replies[] = {
            {kAsioEngineVersion, 2},
            {kAsioResyncRequest, 0},
            {kAsioSupportsTimeInfo, 1},
            {kAsioSupportsTimeCode, 0},
            {kAsioSupportsInputMonitor, 1},
            {0, 0},
            {10, 0},
            {-3, 0},
        };
        for (const auto& [selector, reply] : replies) {
            EXPECT_EQ(ASIOMessage(selector, 0, nullptr, nullptr), reply) << selector;
        }
        // Without a driver a reset request is answered and then has nothing to do.
        EXPECT_EQ(ASIOMessage(kAsioResetRequest, 0, nullptr, nullptr), 1);
        EXPECT_EQ(ASIOMessage(kAsioLatenciesChanged, 0, nullptr, nullptr), 1);
        platform::ProcessEvents();
    }
    EXPECT_EQ(CurrentHost.load(), nullptr) << "a destroyed host leaves no dangling callbacks";
    EXPECT_EQ(ASIOMessage(kAsioSelectorSupported, 6, nullptr, nullptr), 1);
    EXPECT_EQ(ASIOMessage(kAsioSelectorSupported, 7, nullptr, nullptr), 0);
    EXPECT_EQ(ASIOMessage(kAsioResetRequest, 0, nullptr, nullptr), 1);
    ASIOBufferSwitch(0, ASIOTrue);
    EXPECT_EQ(ASIOBufferSwitchTimeInfo(nullptr, 0, ASIOTrue), nullptr);
}

TEST_F(HostTest, DriverResetCompletesAfterTheDriversCallReturns) {
    AddTestSignal("Signal", 1, {{"BufferPreferred", "128"}});
    std::atomic<int> blocks{0};
    TASIOHost host;
    Counter resets;
    resets.Attach(host.OnReset);
    Counter latencies;
    latencies.Attach(host.OnLatencyChanged);
    CountBlocks(host, blocks);
    host.SetDriverIndex(0);

    // Stopped: the driver asks from inside its own control-panel call, on this thread.
    testing::RegistryTest::SetTestSignal(1, "BufferPreferred", "256");
    host.ControlPanel();
    EXPECT_EQ(host.BufferSize(), 128u) << "nothing happens inside the driver's call";
    ASSERT_TRUE(WaitFor([&] { return resets.count == 1; }));
    EXPECT_EQ(host.BufferSize(), 256u);
    EXPECT_FALSE(host.Active());

    // Running: the request arrives on the driver's own thread; the host restarts afterwards.
    host.SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return blocks >= 2; }));
    SetTestSignal(1, "Waveform 2", "noise");
    host.ControlPanel();
    ASSERT_TRUE(WaitFor([&] { return resets.count == 2; }));
    EXPECT_TRUE(host.Active());
    const int afterReset = blocks;
    EXPECT_TRUE(WaitFor([&] { return blocks >= afterReset + 2; }));

    // Latencies are fetched again when the driver announces new ones.
    const int latencyEvents = latencies.count;
    SetTestSignal(1, "InputLatency", "333");
    host.ControlPanel();
    ASSERT_TRUE(WaitFor([&] { return latencies.count > latencyEvents; }));
    EXPECT_EQ(host.InputLatency(), 333);
    EXPECT_EQ(resets.count, 2);

    // A reopen that fails stays with the host: no driver, no exception anywhere.
    SetTestSignal(1, "InitFails", "1");
    SetTestSignal(1, "Outputs", "1");
    host.ControlPanel();
    ASSERT_TRUE(WaitFor([&] { return host.CanSampleRate(44100.0) == ASE_NotPresent; }));
    EXPECT_EQ(host.DriverIndex(), 0);
    EXPECT_EQ(resets.count, 2) << "OnReset belongs to a reset that worked";
    EXPECT_FALSE(host.Active());
}

// The period in samples of the sine in `samples`, from its rising zero crossings; 0 when the
// block holds fewer than two.
double SinePeriod(const TSingleDynArray& samples) {
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) {
            const double at = double(i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]);
            (crossings == 0 ? first : last) = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (last - first) / (crossings - 1);
}

// A reset makes the driver object again, at its own default rate (44100 Hz here); the host
// takes it back to the rate it was set to, so that a 1000 Hz tone still reads as 1000 Hz.
TEST_F(HostTest, DriverResetKeepsTheChosenRate) {
    AddTestSignal("Signal", 1);
    std::atomic<int> blocks{0};
    std::atomic<double> period{0.0};
    TASIOHost host;
    host.OnBufferSwitch32 = [&](TCustomASIOHost&, const TQorArrayOfSingleDynArray& in,
                                TQorArrayOfSingleDynArray&) {
        period = SinePeriod(in[0]);
        ++blocks;
    };
    Counter resets;
    resets.Attach(host.OnReset);
    const auto periodAfterReset = [&] {
        const int from = blocks;
        EXPECT_TRUE(WaitFor([&] { return blocks >= from + 3; }));
        return period.load();
    };

    host.SetDriverIndex(0);
    ASSERT_EQ(host.SampleRate(), 44100.0);
    host.SetSampleRate(48000.0);
    host.SetActive(true);
    EXPECT_NEAR(periodAfterReset(), 48.0, 0.05);

    // Running: the request comes from the driver's thread.
    SetTestSignal(1, "Waveform 2", "noise");
    host.ControlPanel();
    ASSERT_TRUE(WaitFor([&] { return resets.count == 1; }));
    EXPECT_TRUE(host.Active());
    EXPECT_EQ(host.SampleRate(), 48000.0);
    EXPECT_NEAR(periodAfterReset(), 48.0, 0.05) << "the driver runs at 48000 Hz again";

    // Stopped: the request comes from inside the control-panel call.
    host.SetActive(false);
    SetTestSignal(1, "Frequency 2", "500");
    host.ControlPanel();
    ASSERT_TRUE(WaitFor([&] { return resets.count == 2; }));
    EXPECT_FALSE(host.Active());
    EXPECT_EQ(host.SampleRate(), 48000.0);
    host.SetActive(true);
    EXPECT_NEAR(periodAfterReset(), 48.0, 0.05);

    // A driver that no longer offers the rate keeps its own, and the host says which.
    SetTestSignal(1, "SampleRates", "44100");
    host.ControlPanel();
    ASSERT_TRUE(WaitFor([&] { return resets.count == 3; }));
    EXPECT_EQ(host.SampleRate(), 44100.0);
    EXPECT_NEAR(periodAfterReset(), 44.1, 0.05);
}

// A start that raised leaves BufferSize at 2048; stopping a later run must still zero only the
// 64 samples each driver buffer holds.
TEST_F(HostTest, StopAfterAStartThatRaisedZeroesOnlyTheBuffers) {
#if defined(_WIN32)
    // The driver DLL links a C++ runtime of its own; this build does not rely on its exceptions
    // reaching the host.
    GTEST_SKIP() << "needs one C++ runtime shared by driver and host";
#endif
    struct Host : TASIOHost {
        using TCustomASIOHostBasic::BufferInfos;
    };
    AddTestSignal("Signal", 1, {{"BufferPreferred", "64"}, {"StartThrows", "1"}});
    std::atomic<int> blocks{0};
    Host host;
    CountBlocks(host, blocks);
    host.SetDriverIndex(0);
    ASSERT_EQ(host.BufferSize(), 64u);

    host.SetActive(true);
    EXPECT_FALSE(host.Active());
    EXPECT_EQ(host.BufferSize(), 2048u);
    host.SetActive(true);
    ASSERT_TRUE(host.Active());
    ASSERT_TRUE(WaitFor([&] { return blocks >= 2; }));
    host.SetActive(false);

    const int channels = host.InputChannelCount() + host.OutputChannelCount();
    ASSERT_EQ(channels, 4);
    for (int ch = 0; ch < channels; ++ch) {
        for (const void* half : host.BufferInfos()[ch].buffers) {
            const auto* samples = static_cast<const float*>(half);
            EXPECT_EQ(std::count(samples, samples + 64, 0.0f), 64) << "channel " << ch;
        }
    }
}

}  // namespace
}  // namespace spectrino
