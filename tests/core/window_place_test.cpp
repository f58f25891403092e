// The stored window place fitted to the screens.
#include <gtest/gtest.h>

#include "core/window_place.h"

namespace spectrino {
// Failures name the rectangle.
void PrintTo(const TBox& box, std::ostream* out) {
    *out << "(" << box.Left << ", " << box.Top << ", " << box.Width << " x " << box.Height << ")";
}
}  // namespace spectrino

namespace {

using spectrino::FitToScreens;
using spectrino::TBox;
using spectrino::TWindowPlace;

TBox Box(int left, int top, int width, int height) {
    return TBox{left, top, width, height};
}

const TBox kXga = Box(0, 0, 1024, 768);

TEST(FitToScreens, KeepsWhatFitsAndMovesOrCutsTheRest) {
    const TWindowPlace design{672, 290, 464, 346};
    EXPECT_EQ(FitToScreens(design, {Box(0, 0, 1600, 1200)}), Box(672, 290, 464, 346));
    // The design place sticks out of a 1024 x 768 screen on the right.
    EXPECT_EQ(FitToScreens(design, {kXga}), Box(560, 290, 464, 346));

    // A size from a larger monitor, or any number at all.
    EXPECT_EQ(FitToScreens({100, 50, 7680, 4320}, {kXga}), kXga);
    EXPECT_EQ(FitToScreens({0, 0, 100000, 100000}, {kXga}), kXga);
    EXPECT_EQ(FitToScreens({0x7FFFFFFF, 0x7FFFFFFF, 464, 346}, {kXga}), Box(560, 422, 464, 346));
    EXPECT_EQ(FitToScreens({-0x7FFFFFFFLL - 1, -0x7FFFFFFFLL - 1, 0x7FFFFFFF, 346}, {kXga}),
              Box(0, 0, 1024, 346));

    // Never below the window's smallest size; what cannot fit starts at the area's corner.
    EXPECT_EQ(FitToScreens({900, 700, 100, 50}, {kXga}, 460, 262), Box(564, 506, 460, 262));
    EXPECT_EQ(FitToScreens({100, 100, 300, 200}, {Box(0, 0, 400, 240)}, 460, 262),
              Box(0, 0, 460, 262));

    // A work area that does not start at the origin (a panel at the top).
    EXPECT_EQ(FitToScreens({10, 0, 464, 346}, {Box(0, 32, 1024, 736)}), Box(10, 32, 464, 346));
}

TEST(FitToScreens, PicksTheScreenMostOfTheWindowIsOnOrTheNearest) {
    const std::vector<TBox> screens{Box(0, 0, 1920, 1080), Box(1920, 0, 1280, 1024)};
    // 280 of 400 columns on the right-hand screen.
    EXPECT_EQ(FitToScreens({1800, 100, 400, 300}, screens), Box(1920, 100, 400, 300));
    EXPECT_EQ(FitToScreens({1600, 100, 400, 300}, screens), Box(1520, 100, 400, 300));
    // Off both: the nearest one.
    EXPECT_EQ(FitToScreens({5000, 2000, 400, 300}, screens), Box(2800, 724, 400, 300));
    EXPECT_EQ(FitToScreens({-5000, 2000, 400, 300}, screens), Box(0, 780, 400, 300));
    // Inside either: unchanged.
    EXPECT_EQ(FitToScreens({2000, 700, 1000, 300}, screens), Box(2000, 700, 1000, 300));
}

}  // namespace
