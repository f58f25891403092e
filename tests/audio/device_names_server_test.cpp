// Two outputs of one card, as a sound server describes them: their monitors' descriptions agree
// in the first 31 characters. Each must be listed, and recorded from, as itself.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "capture/wavein.h"
#include "e2e/sound_server.h"
#include "wavein_support.h"

namespace spectrino_test {
namespace {

using spectrino::TWaveIn;

constexpr const char* kFirst = "Monitor of Built-in_Audio_Digit";  // what it was always called
constexpr const char* kSecond = "Monitor of Built-in_Audio_D (2)";

class TwoOutputsOfOneCard : public ::testing::Test {
protected:
    TwoOutputsOfOneCard()
        : server_({"module-null-sink sink_name=hdmi1 "
                   "sink_properties=device.description=Built-in_Audio_Digital_Stereo_HDMI",
                   "module-null-sink sink_name=hdmi2 "
                   "sink_properties=device.description=Built-in_Audio_Digital_Stereo_HDMI_2"}),
          address_(server_.Address()) {}

    void SetUp() override {
        ASSERT_TRUE(server_.Start());
        for (int i = 0; i < 100 && wave_.Count() < 3; ++i) {
            std::this_thread::sleep_for(50ms);
        }
        ASSERT_EQ(wave_.Count(), 3u);
    }

    // Records a second from the named device; the largest sample of the last blocks.
    int LoudestAfterASecond(const std::string& device) {
        int loudest = 0;
        int blocks = 0;
        wave_.OnData = [&](TWaveIn& sender, const int16_t* ptr) {
            // The sink may take a moment to wake: only the last blocks count.
            if (++blocks > 10) {
                const auto [low, high] = std::minmax_element(ptr, ptr + sender.BlockSize() * 2);
                loudest = std::max({loudest, static_cast<int>(*high), -static_cast<int>(*low)});
            }
        };
        wave_.SetCurrentDevice(device);
        wave_.SetEnabled(true);
        recorder_.PumpUntil([&] { return blocks >= 25; }, 6s);
        wave_.SetEnabled(false);
        EXPECT_GE(blocks, 25) << device;
        return loudest;
    }

    PrivateSoundServer server_;
    ServerAddress address_;
    Recorder recorder_;  // pumps the events that carry the blocks
    TWaveIn wave_;
};

TEST_F(TwoOutputsOfOneCard, EachMonitorIsListedAndRecordedAsItself) {
    EXPECT_EQ(wave_.DeviceName(1), kFirst);
    EXPECT_EQ(wave_.DeviceName(2), kSecond);

    const TonePlayer player("hdmi2", 1000);
    wave_.SetBlockSize(2048);
    EXPECT_GT(LoudestAfterASecond(kSecond), 4000);
    // The name stored by earlier versions still opens the first output, where nothing plays.
    EXPECT_LT(LoudestAfterASecond(kFirst), 100);
    EXPECT_FALSE(player.Failed());

#if defined(METER_PATH)
    std::string listed;
    FILE* meter = popen(METER_PATH " --list-devices", "r");
    ASSERT_NE(meter, nullptr);
    char line[256];
    while (fgets(line, sizeof line, meter) != nullptr) {
        listed += line;
    }
    const int status = pclose(meter);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(listed, std::string("WaveMapper\n") + kFirst + "\n" + kSecond + "\n");
#endif
}

}  // namespace
}  // namespace spectrino_test
