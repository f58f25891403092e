// The JACK driver without a server: its settings, and a host asking for it when no server runs.
#include <gtest/gtest.h>

#include <chrono>

#include "asio/DASIOHost.h"
#include "jack_test_support.h"
#include "settings.h"

namespace spectrino {
namespace {

using jack_test::JackRegistryTest;

class JackSettingsTest : public JackRegistryTest {};

TEST_F(JackSettingsTest, DefaultsRangesAndRoundTrip) {
    Set("ServerName", "");
    jack::Settings read = jack::ReadSettings();
    EXPECT_EQ(read, jack::Settings{});
    EXPECT_EQ(read.clientName, "Spectrino");
    EXPECT_EQ(read.inputs, 2);
    EXPECT_EQ(read.outputs, 2);
    EXPECT_TRUE(read.connect.empty());

    Set("ClientName", "   ");
    Set("Inputs", "500");
    Set("Outputs", "-3");
    Set("Connect", " system:capture_1 ,, system:capture_2,");
    read = jack::ReadSettings();
    EXPECT_EQ(read.clientName, "Spectrino");
    EXPECT_EQ(read.inputs, jack::kMaxChannels);
    EXPECT_EQ(read.outputs, 0);
    EXPECT_EQ(read.connect, (std::vector<std::string>{"system:capture_1", "system:capture_2"}));

    jack::Settings changed;
    changed.serverName = "studio";
    changed.clientName = "Analyzer";
    changed.inputs = 8;
    changed.outputs = 1;
    changed.connect = {"a:out_1", "b:out 2"};
    ASSERT_TRUE(jack::WriteSettings(changed));
    EXPECT_EQ(jack::ReadSettings(), changed);
}

// No server of that name: the driver must neither start one nor wait for one.
TEST_F(JackSettingsTest, NoServerLeavesTheHostWithoutDriverAtOnce) {
    Set("ServerName", "spectrino-no-such-server");
    const auto started = std::chrono::steady_clock::now();
    TASIOHost host;
    ASSERT_EQ(host.DriverList(), std::vector<std::string>{"Spectrino JACK"});
    host.SetDriverIndex(0);
    EXPECT_FALSE(host.BuffersCreated());
    EXPECT_EQ(host.InputChannelCount(), 0);
    EXPECT_EQ(host.CanSampleRate(44100.0), ASE_NotPresent);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
}

}  // namespace
}  // namespace spectrino
