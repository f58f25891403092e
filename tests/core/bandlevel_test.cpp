#include <gtest/gtest.h>

#include <limits>

#include "core/bandlevel.h"

namespace {

using spectrino::BandLevel;

TEST(BandLevel, ConvertsPowerToHundredthsOfADecibelRoundedDown) {
    EXPECT_EQ(BandLevel(0.4), 1000);
    EXPECT_EQ(BandLevel(0.004), -1000);
    EXPECT_EQ(BandLevel(0.25), 795);
    EXPECT_EQ(BandLevel(1.0), 1397);
    EXPECT_EQ(BandLevel(1e-10), -8603);
    // 0.04 as a float lies just below 0.04.
    EXPECT_EQ(BandLevel(0.04), -1);
}

TEST(BandLevel, TooSmallOrInvalidResultsGiveTheFloor) {
    EXPECT_EQ(BandLevel(4.0001e-11), -9000);
    EXPECT_EQ(BandLevel(3.99e-11), -14400);
    EXPECT_EQ(BandLevel(0.0), -14400);
    EXPECT_EQ(BandLevel(-0.5), -14400);
    EXPECT_EQ(BandLevel(std::numeric_limits<double>::quiet_NaN()), -14400);
    EXPECT_EQ(BandLevel(std::numeric_limits<double>::infinity()), -14400);
    // Nothing lies strictly between the floor and -90 dB.
    for (double r = 1e-12; r < 1e-10; r *= 1.01) {
        const int32_t level = BandLevel(r);
        EXPECT_TRUE(level == -14400 || level >= -9000) << r;
    }
}

}  // namespace
