#include "capture/device_names.h"

#include <gtest/gtest.h>

namespace {

using spectrino::DistinctDeviceNames;

TEST(DeviceNames, RepeatsGetTheLowestFreeNumberWithinThirtyOneCharacters) {
    const std::string hdmi = "Monitor of Built-in_Audio_Digit";  // 31 characters
    const std::vector<std::string> names = {hdmi, "Line In", hdmi, hdmi, "Line In"};
    EXPECT_EQ(DistinctDeviceNames(names, {"WaveMapper"}),
              (std::vector<std::string>{hdmi, "Line In", "Monitor of Built-in_Audio_D (2)",
                                        "Monitor of Built-in_Audio_D (3)", "Line In (2)"}));

    // A device that already bears a numbered name keeps it; the repeat takes the next number.
    // The mapper's name is never given to a device.
    EXPECT_EQ(DistinctDeviceNames({"Mic", "Mic", "Mic (2)", "WaveMapper"}, {"WaveMapper"}),
              (std::vector<std::string>{"Mic", "Mic (3)", "Mic (2)", "WaveMapper (2)"}));

    // Cut by characters, never inside one, and without a blank before the number.
    const std::string umlauts = "Überlange Gerätebeschreibung äö";  // 31 characters
    EXPECT_EQ(DistinctDeviceNames({umlauts, umlauts}, {})[1], "Überlange Gerätebeschreibun (2)");
    const std::string spaced = "Monitor of Built-in Audio1 Digital";  // a blank at the cut
    EXPECT_EQ(DistinctDeviceNames({spaced, spaced}, {})[1], "Monitor of Built-in Audio1 (2)");
    EXPECT_TRUE(DistinctDeviceNames({}, {"WaveMapper"}).empty());
}

}  // namespace
