// The colour dialog's rules: list items and thresholds, what opens, Reset and OK.
#include <gtest/gtest.h>

#include <limits>

#include "core/colour_dialog.h"

namespace spectrino {
namespace {

TEST(ColourDialogRules, ListItemsAndTheirThresholds) {
    EXPECT_EQ(kHighThresholds.ItemText(0), "-2 db");
    EXPECT_EQ(kHighThresholds.ItemText(kHighThresholds.Count - 1), "-20 db");
    EXPECT_EQ(kHighThresholds.ItemText(kHighThresholds.DesignItem), "-10 db");
    EXPECT_EQ(kMidThresholds.ItemText(0), "-4 db");
    EXPECT_EQ(kMidThresholds.ItemText(kMidThresholds.Count - 1), "-40 db");
    EXPECT_EQ(kMidThresholds.ItemText(kMidThresholds.DesignItem), "-20 db");
    for (const TThresholdList& list : {kHighThresholds, kMidThresholds}) {
        for (int k = 0; k < list.Count; ++k) {
            EXPECT_EQ(list.ItemOf(list.ThresholdOf(k)), k);
        }
    }
}

TEST(ColourDialogRules, OpeningShowsValuesOffTheListAtItsNearestEnd) {
    struct Case {
        int high, mid;
        int highItem, midItem;
    };
    const Case cases[] = {
        {-10, -20, 4, 8},  // the defaults
        {-30, -20, 9, 8},  // below the high list: "-20 db"
        {-11, -21, 4, 8},  // odd values truncate toward zero
        {-2, -2, 0, 0},    // mid index -1 raised to the first item
        {0, -41, 0, 18},
        {5, -100, 0, 18},
        {std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), 9, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.high << " / " << c.mid);
        const TColourSettings settings{0x010203, 0x040506, 0x070809, c.high, c.mid};
        const TColourDialogView view = ShowColourSettings(settings);
        EXPECT_EQ(view.HighItem, c.highItem);
        EXPECT_EQ(view.MidItem, c.midItem);
        EXPECT_EQ(view.Colour(TSwatch::High), 0x010203u);
        EXPECT_EQ(view.Colour(TSwatch::Mid), 0x040506u);
        EXPECT_EQ(view.Colour(TSwatch::Low), 0x070809u);
    }
}

TEST(ColourDialogRules, ResetGivesTheDefaults) {
    const TColourDialogView view = ResetColourView();
    EXPECT_EQ(view.Colour(TSwatch::High), 0x0000FFu);
    EXPECT_EQ(view.Colour(TSwatch::Mid), 0x00FFFFu);
    EXPECT_EQ(view.Colour(TSwatch::Low), 0xC0C000u);
    EXPECT_EQ(kHighThresholds.ItemText(view.HighItem), "-10 db");
    EXPECT_EQ(kMidThresholds.ItemText(view.MidItem), "-20 db");
}

TEST(ColourDialogRules, OkStoresWhatIsShownUnlessTheThresholdsOverlap) {
    // -30 shows as "-20 db"; OK stores that, equal to the mid threshold, which is accepted.
    TColourSettings settings{0x111111, 0x222222, 0x333333, -30, -20};
    TColourDialogView view = ShowColourSettings(settings);
    view.Colour(TSwatch::Low) = 0x444444;
    EXPECT_FALSE(AcceptColourView(view, settings).has_value());
    EXPECT_EQ(settings, (TColourSettings{0x111111, 0x222222, 0x444444, -20, -20}));

    // High "-12 db" over mid "-10 db" overlaps: the colours are taken, the thresholds kept.
    settings = TColourSettings{};
    view = ShowColourSettings(settings);
    view.HighItem = 5;  // -12 db
    view.MidItem = 3;   // -10 db
    view.Colour(TSwatch::High) = 0x555555;
    const auto error = AcceptColourView(view, settings);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->Text, "Overlapping Threshold!");
    EXPECT_EQ(error->Caption, "Analyzer");
    EXPECT_EQ(settings.HighColor, 0x555555u);
    EXPECT_EQ(settings.HighTresh, -10);
    EXPECT_EQ(settings.MidTresh, -20);

    view.HighItem = 4;  // -10 db against -10 db
    EXPECT_FALSE(AcceptColourView(view, settings).has_value());
    EXPECT_EQ(settings.HighTresh, -10);
    EXPECT_EQ(settings.MidTresh, -10);
}

}  // namespace
}  // namespace spectrino
