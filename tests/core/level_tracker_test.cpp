#include "core/level_tracker.h"

#include <gtest/gtest.h>

#include <climits>

#include "core/bandlevel.h"

namespace spectrino {
namespace {

TEST(LevelTracker, BarsRiseAtOnceAndFallAtTheDecaySpeed) {
    for (const auto& [speed, step] :
         {std::pair{TDecaySpeed::dsSlow, 200}, std::pair{TDecaySpeed::dsMedium, 400},
          std::pair{TDecaySpeed::dsFast, 800}}) {
        LevelTracker tracker;
        tracker.SetDecaySpeed(speed);
        auto update = tracker.UpdateBand(3, -1000, false);
        EXPECT_TRUE(update.Drawn);
        EXPECT_EQ(update.Old, kFloorLevel);
        EXPECT_EQ(tracker.Levels()[3], -1000);
        update = tracker.UpdateBand(3, -6000, false);
        EXPECT_EQ(update.Old, -1000);
        EXPECT_EQ(tracker.Levels()[3], -1000 - step);
        // Never below the new value.
        tracker.UpdateBand(3, -1000 - step - 50, false);
        EXPECT_EQ(tracker.Levels()[3], -1000 - step - 50);
        // The smallest level a driver could report still falls by one step only.
        tracker.UpdateBand(3, INT_MIN, false);
        EXPECT_EQ(tracker.Levels()[3], -1000 - 2 * step - 50);
    }
}

TEST(LevelTracker, PeaksDecayOrHoldAndSayWhichMarkerToErase) {
    LevelTracker tracker;
    tracker.UpdateBand(0, -1000, false);
    EXPECT_EQ(tracker.Peaks()[0], -1000);
    // A steady level at its peak: no redraw, the marker is erased and drawn again in place.
    auto update = tracker.UpdateBand(0, -1000, false);
    EXPECT_FALSE(update.Drawn);
    EXPECT_EQ(update.OldPeak, -1000);
    // A falling bar is redrawn, which covers the old marker; the peak sinks 0.2 dB a step.
    tracker.UpdateBand(0, -3000, false);
    update = tracker.UpdateBand(0, -3000, false);
    EXPECT_TRUE(update.Drawn);
    EXPECT_EQ(update.OldPeak, LevelTracker::kNoPeakErase);
    EXPECT_EQ(tracker.Levels()[0], -1400);
    EXPECT_EQ(tracker.Peaks()[0], -1040);
    for (int i = 0; i < 20; ++i) {
        tracker.UpdateBand(0, -3000, false);
    }
    update = tracker.UpdateBand(0, -3000, false);
    EXPECT_FALSE(update.Drawn);
    EXPECT_EQ(update.OldPeak, -1440);
    EXPECT_EQ(tracker.Peaks()[0], -1460);

    // A forced update keeps the level and only asks for a redraw from the floor.
    update = tracker.UpdateBand(0, 0, true);
    EXPECT_TRUE(update.Drawn);
    EXPECT_EQ(update.Old, kFloorLevel);
    EXPECT_EQ(tracker.Levels()[0], -3000);

    tracker.SetPeakDisplay(TPeakDisplay::pdHold);
    tracker.UpdateBand(1, -500, false);
    update = tracker.UpdateBand(1, -500, false);
    EXPECT_EQ(update.OldPeak, LevelTracker::kNoPeakErase);
    tracker.UpdateBand(1, -7000, false);
    EXPECT_EQ(tracker.Peaks()[1], -500);

    tracker.ResetLevels();
    EXPECT_EQ(tracker.Levels()[0], kFloorLevel);
    EXPECT_EQ(tracker.Peaks()[1], kFloorLevel);
}

TEST(LevelTracker, ZonesComeFromThresholdsOfAnySize) {
    LevelTracker tracker;
    tracker.UpdateBand(0, -1000, false);
    tracker.UpdateBand(1, -1001, false);
    tracker.UpdateBand(2, -2001, false);
    EXPECT_EQ(tracker.PeakZones()[0], 2);
    EXPECT_EQ(tracker.PeakZones()[1], 1);
    EXPECT_EQ(tracker.PeakZones()[2], 0);

    // The settings file may hold any number.
    tracker.SetHighTreshhold(INT_MIN);
    tracker.SetMidTreshhold(INT_MIN);
    tracker.UpdateBand(3, -9000, false);
    EXPECT_EQ(tracker.PeakZones()[3], 2);
    tracker.SetHighTreshhold(INT_MAX);
    tracker.SetMidTreshhold(-21474837);
    tracker.UpdateBand(4, 0, false);
    EXPECT_EQ(tracker.PeakZones()[4], 1);
}

}  // namespace
}  // namespace spectrino
