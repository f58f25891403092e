#include "display/level_tracker.h"

#include <gtest/gtest.h>

#include "shell/bandlevel.h"

namespace spectrino {
namespace {

TSpectArray Filled(int32_t level) {
    TSpectArray values;
    values.fill(level);
    return values;
}

TEST(LevelTrackerTest, BarsRiseAtOnceAndFallByTheStepOfTheirSpeed) {
    for (const auto& [speed, step] : {std::pair{TDecaySpeed::dsSlow, 200},
                                     {TDecaySpeed::dsMedium, 400},
                                     {TDecaySpeed::dsFast, 800}}) {
        LevelTracker tracker;
        tracker.SetDecaySpeed(speed);
        tracker.Update(Filled(-1000), false);
        EXPECT_EQ(tracker.Levels()[3], -1000);
        tracker.Update(Filled(-5000), false);
        EXPECT_EQ(tracker.Levels()[3], -1000 - step);
        // Never below the new value.
        tracker.Update(Filled(-1000 - step - 1), false);
        EXPECT_EQ(tracker.Levels()[3], -1000 - step - 1);
    }
    // A forced pass leaves the levels alone, asks for every bar and erases no marker.
    LevelTracker tracker;
    tracker.Update(Filled(-2000), false);
    const LevelTracker::BandUpdate forced = tracker.UpdateBand(0, 0, true);
    EXPECT_TRUE(forced.Drawn);
    EXPECT_EQ(forced.Old, kFloorLevel);
    EXPECT_EQ(forced.OldPeak, LevelTracker::kNoPeakErase);
    EXPECT_EQ(tracker.Levels()[0], -2000);
    // An unchanged value draws no bar, but the peak still decays and its old marker goes.
    const LevelTracker::BandUpdate same = tracker.UpdateBand(1, -2000, false);
    EXPECT_FALSE(same.Drawn);
    EXPECT_EQ(same.OldPeak, -2000);
    EXPECT_EQ(tracker.Peaks()[1], -2000);  // held up by the level
}

TEST(LevelTrackerTest, PeaksDecayOrHoldAndKeepTheZoneTheyWereLiftedIn) {
    LevelTracker decay;
    decay.Update(Filled(-1000), false);
    // The level falls to -3000 within 10 passes; the peak takes 100 passes (8 s) to follow.
    int passes = 1;
    while (decay.Peaks()[0] > -3000) {
        decay.Update(Filled(-3000), false);
        ++passes;
        ASSERT_LT(passes, 1000);
    }
    EXPECT_EQ(passes, 101);
    decay.Update(Filled(-3000), false);
    EXPECT_EQ(decay.Peaks()[0], -3000);
    EXPECT_EQ(decay.PeakZones()[0], 2);  // lifted at -10 dB, decayed, still high-zone

    LevelTracker hold;
    hold.SetPeakDisplay(TPeakDisplay::pdHold);
    hold.Update(Filled(-1500), false);
    for (int i = 0; i < 300; ++i) {
        hold.Update(Filled(-9000), false);
    }
    EXPECT_EQ(hold.Peaks()[5], -1500);
    EXPECT_EQ(hold.Levels()[5], -9000);
    hold.ResetLevels();
    EXPECT_EQ(hold.Peaks()[5], kFloorLevel);
    EXPECT_EQ(hold.Levels()[5], kFloorLevel);

    // A peak exactly at a threshold belongs to the upper zone.
    LevelTracker zones;
    TSpectArray values = Filled(-2001);
    values[0] = -1000;
    values[1] = -1001;
    values[2] = -2000;
    zones.Update(values, false);
    EXPECT_EQ(zones.PeakZones()[0], 2);
    EXPECT_EQ(zones.PeakZones()[1], 1);
    EXPECT_EQ(zones.PeakZones()[2], 1);
    EXPECT_EQ(zones.PeakZones()[3], 0);
}

}  // namespace
}  // namespace spectrino
