#include "core/spectrum_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "core/bandlevel.h"
#include "framework/exception.h"
#include "pixel_canvas.h"
#include "recording_canvas.h"

namespace spectrino {
namespace {

using testing::Copy;
using testing::Fill;
using testing::LineCall;
using testing::RecordingCanvas;
using testing::TextCall;
using Column = TSpectrumColumn;

constexpr TColor kHigh = 0x0000FF;
constexpr TColor kMid = 0x00FFFF;
constexpr TColor kLow = 0xC0C000;
constexpr TColor kScale = 0x808080;
constexpr TColor kSeparator = 0x000040;
constexpr TColor kText = 0xFFC0C0;

template <typename T>
bool Contains(const std::vector<T>& calls, const T& call) {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

// Where things must land for one picture size with the recording canvas's metrics: scale
// labels "-90" 18 pixels wide, separator labels at most 24, one notation line 11 high.
struct Geometry {
    int Width, Height;
    int BarWidth, FirstBar;  // left edge of band 0
    int PlotBottom;          // the plot starts at row 19
    int TenDbRow;            // the -10 dB scale line
    int HighRows, MidRows;   // zone rows of the bar column at -10 and -20 dB
};
void PrintTo(const Geometry& g, std::ostream* out) {
    *out << g.Width << "x" << g.Height;
}
constexpr Geometry kSmall{456, 240, 2, 36, 208, 44, 26, 52};
constexpr Geometry kLarge{600, 300, 3, 44, 268, 52, 34, 68};

class SpectrumRendererTest : public ::testing::TestWithParam<Geometry> {
protected:
    SpectrumRendererTest() : canvas(GetParam().Width, GetParam().Height) {
        delivered.fill(kFloorLevel);
        renderer.OnDebugOutput = [this](const std::string& line) { debug.push_back(line); };
    }
    SpectrumRenderer::RefreshHandler Handler() {
        return [this](TSpectArray& values) { values = delivered; };
    }
    int BarLeft(int band) const { return GetParam().FirstBar + (GetParam().BarWidth + 1) * band; }

    RecordingCanvas canvas;
    SpectrumRenderer renderer;
    TSpectArray delivered{};
    std::vector<std::string> debug;
};

TEST_P(SpectrumRendererTest, ScaleSeparatorsAndZoneColumnsLandWhereTheLayoutSays) {
    const Geometry g = GetParam();
    renderer.Paint(canvas, nullptr);
    EXPECT_EQ(renderer.TopMargin(), 19);
    EXPECT_EQ(renderer.PlotBottom(g.Height), g.PlotBottom);
    EXPECT_EQ(renderer.Layout().LeftMargin, 26);
    EXPECT_EQ(renderer.Layout().BarWidth, g.BarWidth);
    EXPECT_EQ(renderer.BarLeft(0), g.FirstBar);
    EXPECT_EQ(renderer.BarLeft(127), BarLeft(127));
    // The bar block sits in the middle; an odd spare pixel goes to the right.
    const int right = g.Width - 26;
    const int spareLeft = g.FirstBar - 26;
    const int spareRight = right - (BarLeft(127) + g.BarWidth);
    EXPECT_TRUE(spareRight == spareLeft || spareRight == spareLeft + 1) << spareRight;

    ASSERT_FALSE(canvas.Fills.empty());
    EXPECT_EQ(canvas.Fills.front(), (Fill{{0, 0, g.Width, g.Height}, 0}));
    EXPECT_TRUE(Contains(canvas.Texts, TextCall{(g.Width - 48) / 2, 4, "44100 Hz",
                                                TSpectrumFont::Notation, kText, 0}));

    // Full lines every 10 dB with a label on both sides, short ticks in the margins between.
    EXPECT_TRUE(Contains(canvas.Lines, LineCall{26, 19, right, 19, kScale}));
    EXPECT_TRUE(Contains(canvas.Lines, LineCall{26, g.TenDbRow, right, g.TenDbRow, kScale}));
    EXPECT_TRUE(Contains(canvas.Lines, LineCall{26, g.PlotBottom, right, g.PlotBottom, kScale}));
    EXPECT_TRUE(Contains(canvas.Texts,
                         TextCall{4, g.TenDbRow - 5, "-10", TSpectrumFont::Notation, kText, 0}));
    EXPECT_TRUE(Contains(canvas.Texts, TextCall{right + 4, g.TenDbRow - 5, "-10",
                                                TSpectrumFont::Notation, kText, 0}));
    EXPECT_TRUE(Contains(canvas.Texts,
                         TextCall{10, g.PlotBottom - 5, "db", TSpectrumFont::Notation, kText, 0}));
    const int offset = g.FirstBar - 26;
    const int tickRow = 19 + 2 * (g.PlotBottom - 19) / 74;
    EXPECT_TRUE(Contains(canvas.Lines, LineCall{26, tickRow, 26 + offset, tickRow, kScale}));
    EXPECT_TRUE(Contains(canvas.Lines, LineCall{right - offset, tickRow, right, tickRow, kScale}));
    const auto scaleLines = std::count_if(canvas.Lines.begin(), canvas.Lines.end(),
                                          [](const LineCall& l) { return l.Color == kScale; });
    EXPECT_EQ(scaleLines, 8 + 1 + 2 * 30);

    // Separators in the gap left of every fourth band, from the second band up at 44100 Hz,
    // with their labels running upward under the plot.
    std::vector<LineCall> separators;
    std::copy_if(canvas.Lines.begin(), canvas.Lines.end(), std::back_inserter(separators),
                 [](const LineCall& l) { return l.Color == kSeparator; });
    ASSERT_EQ(separators.size(), 32u);
    for (int i = 0; i < 32; ++i) {
        const int x = BarLeft(4 * i + 1) + g.BarWidth;
        EXPECT_EQ(separators[i], (LineCall{x, 20, x, g.PlotBottom - 1, kSeparator})) << i;
    }
    const int x16 = BarLeft(1) + g.BarWidth;
    EXPECT_TRUE(Contains(canvas.Texts, TextCall{x16 - 4, g.PlotBottom + 12 + 4, "16",
                                                TSpectrumFont::SeperatorUpward, kText, 0}));
    const int x12k5 = BarLeft(4 * 29 + 1) + g.BarWidth;
    EXPECT_TRUE(Contains(canvas.Texts, TextCall{x12k5 - 4, g.PlotBottom + 24 + 4, "12k5",
                                                TSpectrumFont::SeperatorUpward, kText, 0}));

    // The cached columns: empty background, then high, mid and low zones top to bottom.
    const int h = g.PlotBottom - 19;
    const int w = g.BarWidth;
    EXPECT_EQ(canvas.ColumnFills,
              (std::vector<testing::ColumnFill>{{Column::Background, {0, 0, w, h}, 0},
                                                {Column::Bar, {0, 0, w, g.HighRows}, kHigh},
                                                {Column::Bar, {0, g.HighRows, w, g.MidRows}, kMid},
                                                {Column::Bar, {0, g.MidRows, w, h}, kLow}}));
    // Unchanged size and zones keep the columns; a new threshold rebuilds them.
    canvas.Forget();
    renderer.Paint(canvas, nullptr);
    EXPECT_TRUE(canvas.ColumnFills.empty());
    EXPECT_TRUE(renderer.SetMidTreshhold(-30));
    EXPECT_FALSE(renderer.SetMidTreshhold(-30));
    renderer.Paint(canvas, nullptr);
    ASSERT_EQ(canvas.ColumnFills.size(), 4u);
    EXPECT_EQ(canvas.ColumnFills[3].Rect.Top, ComputeZoneRows(h, -10, -30).Mid);

    // From 48000 Hz the bands move up a semitone, and the separators one bar left.
    canvas.Forget();
    EXPECT_TRUE(renderer.SetSamplerate(48000.0f));
    renderer.Paint(canvas, nullptr);
    EXPECT_TRUE(Contains(
        canvas.Lines, LineCall{BarLeft(0) + w, 20, BarLeft(0) + w, g.PlotBottom - 1, kSeparator}));
    EXPECT_FALSE(Contains(canvas.Lines, LineCall{x16, 20, x16, g.PlotBottom - 1, kSeparator}));
}

TEST_P(SpectrumRendererTest, BarsCopyTheColumnsAndPeaksTakeTheirZoneColour) {
    const Geometry g = GetParam();
    const int h = g.PlotBottom - 19;
    const int w = g.BarWidth;
    // A paint redraws every band from its level: at the floor, the empty column only.
    renderer.Paint(canvas, Handler());
    ASSERT_EQ(canvas.Copies.size(), 128u);
    for (int band = 0; band < 128; ++band) {
        EXPECT_EQ(canvas.Copies[band], (Copy{Column::Background, BarLeft(band), 19, {0, 0, w, h}}));
    }

    canvas.Forget();
    delivered[5] = 0;
    delivered[6] = -3700;
    delivered[7] = -9000;  // below the scale
    renderer.Tick(canvas, Handler());
    const int half = h * 3700 / 7400;
    // The columns are empty since the paint: nothing above the bars is copied again, and
    // band 7 stays below the scale.
    EXPECT_EQ(canvas.Copies,
              (std::vector<Copy>{{Column::Bar, BarLeft(5), 19, {0, 0, w, h}},
                                 {Column::Bar, BarLeft(6), 19 + h - half, {0, h - half, w, h}}}));
    EXPECT_EQ(canvas.Lines, (std::vector<LineCall>{{BarLeft(5), 19, BarLeft(5) + w, 19, kHigh},
                                                   {BarLeft(6), g.PlotBottom - half, BarLeft(6) + w,
                                                    g.PlotBottom - half, kLow}}));

    // A falling bar only erases above its new top; a steady one's marker is left where it is.
    canvas.Forget();
    delivered[5] = -7400;
    renderer.Tick(canvas, Handler());
    EXPECT_EQ(renderer.Tracker().Levels()[5], -200);
    const int top5 = h - static_cast<int>(int64_t{h} * 7200 / 7400);
    EXPECT_EQ(canvas.Copies,
              (std::vector<Copy>{{Column::Background, BarLeft(5), 19, {0, 0, w, top5}}}));
    // Band 5's marker, under the erased rows, comes back; band 6's stays as it was.
    for (const LineCall& drawn : canvas.Lines) {
        EXPECT_NE(drawn.X1, BarLeft(6));
    }
    const int y5 = g.PlotBottom - static_cast<int>(int64_t{h} * 7380 / 7400);  // decayed to -0.2 dB
    EXPECT_EQ(canvas.Lines.back(), (LineCall{BarLeft(5), y5, BarLeft(5) + w, y5, kHigh}));

    // Mid zone for a peak between the thresholds.
    canvas.Forget();
    delivered[9] = -1500;
    renderer.Tick(canvas, Handler());
    const int y9 = g.PlotBottom - static_cast<int>(int64_t{h} * 5900 / 7400);
    EXPECT_TRUE(Contains(canvas.Lines, LineCall{BarLeft(9), y9, BarLeft(9) + w, y9, kMid}));

    // Clearing erases every column down to the floor.
    canvas.Forget();
    renderer.Clear(canvas);
    EXPECT_EQ(canvas.Copies.size(), 128u);
    EXPECT_EQ(canvas.Copies[5], (Copy{Column::Background, BarLeft(5), 19, {0, 0, w, h}}));
    EXPECT_EQ(renderer.Tracker().Peaks()[6], kFloorLevel);
}

TEST_P(SpectrumRendererTest, ReadoutFollowsThePointerAndCellsKeepTheLastFillColour) {
    const Geometry g = GetParam();
    renderer.SetColor(0x302010);
    renderer.Paint(canvas, Handler());
    const auto inside = renderer.ReadingAt(BarLeft(0) + 1, 20, g.Width, g.Height);
    ASSERT_TRUE(inside);
    EXPECT_EQ(inside->Band, 0);
    EXPECT_EQ(inside->Centre, 14.5);
    EXPECT_EQ(inside->Level, "-1 db");
    const auto gap =
        renderer.ReadingAt(BarLeft(64) + g.BarWidth, g.PlotBottom - 1, g.Width, g.Height);
    ASSERT_TRUE(gap);
    EXPECT_EQ(gap->Band, 64);  // the gap right of a bar is that bar's
    EXPECT_EQ(gap->Level, "-74 db");
    EXPECT_FALSE(renderer.ReadingAt(BarLeft(0), 20, g.Width, g.Height));
    EXPECT_FALSE(renderer.ReadingAt(BarLeft(3), 19, g.Width, g.Height));
    EXPECT_FALSE(renderer.ReadingAt(BarLeft(3), g.PlotBottom, g.Width, g.Height));
    EXPECT_FALSE(renderer.ReadingAt(BarLeft(127) + g.BarWidth + 1, 50, g.Width, g.Height));

    // The texts appear on the tick: after a paint their cells are black, as the separator
    // labels left them.
    const int right = g.Width - 26;
    canvas.Forget();
    renderer.SetReadout("14.5 Hz", "-1 db");
    renderer.Tick(canvas, Handler());
    EXPECT_EQ(canvas.Texts, (std::vector<TextCall>{
                                {right - 78, 4, "      14.5 Hz", TSpectrumFont::Notation, kText, 0},
                                {26, 4, "-1 db     ", TSpectrumFont::Notation, kText, 0}}));
    canvas.Forget();
    renderer.Tick(canvas, Handler());
    EXPECT_TRUE(canvas.Texts.empty());  // unchanged texts are not drawn again

    // Leaving the plot erases both areas down to the font's height.
    renderer.SetReadout({}, {});
    renderer.Tick(canvas, Handler());
    EXPECT_EQ(canvas.Fills, (std::vector<Fill>{{{right - 66, 4, right, 17}, 0x302010},
                                               {{26, 4, 26 + 42, 17}, 0x302010}}));
    renderer.SetReadout("20 Hz", {});
    renderer.Tick(canvas, Handler());
    ASSERT_EQ(canvas.Texts.size(), 1u);
    EXPECT_EQ(canvas.Texts[0].CellColor, 0x302010u);
}

TEST_P(SpectrumRendererTest, DrawingFailuresAreReportedAndThePassGoesOn) {
    renderer.Paint(canvas, Handler());
    delivered.fill(0);
    renderer.Tick(canvas, Handler());
    canvas.Resize(0, 0);
    delivered.fill(-1000);
    renderer.Tick(canvas, Handler());
    ASSERT_EQ(debug.size(), 128u);
    EXPECT_EQ(debug[0], "copyrect failed: nothing to draw on");
    EXPECT_EQ(renderer.Tracker().Levels()[127], -200);
    // Painting with nothing to draw on lays out and drops the columns without failing.
    renderer.Paint(canvas, Handler());
    EXPECT_EQ(debug.size(), 128u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SpectrumRendererTest, ::testing::Values(kSmall, kLarge),
                         [](const auto& info) { return std::to_string(info.param.Width); });

// Levels that keep most bars where they are: a steady tone a hundredth of a decibel up and
// down, bands wandering below the scale, a few jumping anywhere.
TSpectArray WanderingLevels(std::mt19937& random, int tick) {
    TSpectArray levels{};
    std::uniform_int_distribution<int32_t> anywhere(-8000, 300);
    std::uniform_int_distribution<int32_t> below(-9500, -7500);
    for (int band = 0; band < kBandCount; ++band) {
        if (band >= 70 && band < 78) {
            levels[band] = -400 * (band - 70) - 1000 + tick % 2;
        } else if (band % 16 == 3) {
            levels[band] = anywhere(random);
        } else {
            levels[band] = below(random);
        }
    }
    return levels;
}

TEST(SpectrumRendererPixels, IncrementalPicturesMatchAFullRepaint) {
    for (const TPeakDisplay peaks : {TPeakDisplay::pdHold, TPeakDisplay::pdDecay}) {
        for (const TDecaySpeed speed : {TDecaySpeed::dsSlow, TDecaySpeed::dsFast}) {
            SpectrumRenderer renderer;
            renderer.Tracker().SetPeakDisplay(peaks);
            renderer.Tracker().SetDecaySpeed(speed);
            testing::PixelCanvas canvas(456, 240);
            std::mt19937 random(7);
            TSpectArray delivered{};
            delivered.fill(kFloorLevel);
            const auto handler = [&](TSpectArray& values) { values = delivered; };
            renderer.Paint(canvas, handler);
            for (int tick = 0; tick < 120; ++tick) {
                delivered = WanderingLevels(random, tick);
                renderer.Tick(canvas, handler);
                // The same state painted afresh, with markers held so the paint moves none.
                SpectrumRenderer fresh = renderer;
                fresh.Tracker().SetPeakDisplay(TPeakDisplay::pdHold);
                testing::PixelCanvas repainted(456, 240);
                fresh.Paint(repainted, handler);
                ASSERT_TRUE(canvas.Pixels() == repainted.Pixels())
                    << "tick " << tick << ", peaks " << static_cast<int>(peaks) << ", speed "
                    << static_cast<int>(speed);
            }
        }
    }
}

TEST(SpectrumRendererPixels, RowsAndMarkersThatAlreadyHoldTheirPixelsAreNotDrawnAgain) {
    SpectrumRenderer renderer;
    renderer.Tracker().SetPeakDisplay(TPeakDisplay::pdHold);
    testing::PixelCanvas canvas(456, 240);
    std::mt19937 random(11);
    TSpectArray delivered{};
    delivered.fill(kFloorLevel);
    const auto handler = [&](TSpectArray& values) { values = delivered; };
    renderer.Paint(canvas, handler);
    const int plotHeight = renderer.PlotBottom(240) - renderer.TopMargin();
    // A paint copies every column whole.
    EXPECT_EQ(canvas.CopiedRows, 128 * plotHeight);
    for (int tick = 0; tick < 60; ++tick) {
        canvas.CopiedRows = 0;
        canvas.LinesDrawn = 0;
        delivered = WanderingLevels(random, tick);
        for (int band = 3; band < kBandCount; band += 16) {
            delivered[band] = -3000;  // steady bars with held markers
        }
        renderer.Tick(canvas, handler);
        if (tick >= 40) {
            // Once the bars have settled, only the tone's top rows and markers change.
            EXPECT_LE(canvas.CopiedRows, 8) << "tick " << tick;
            EXPECT_LE(canvas.LinesDrawn, 8) << "tick " << tick;
        }
    }
    // Clearing starts from nothing known and copies every column again.
    canvas.CopiedRows = 0;
    renderer.Clear(canvas);
    EXPECT_EQ(canvas.CopiedRows, 128 * plotHeight);
}

TEST(SpectrumLayout, WorkedExampleAndSpareWidth) {
    const TSpectrumLayout layout = ComputeSpectrumLayout(456, 15);
    EXPECT_EQ(layout.LeftMargin, 23);
    EXPECT_EQ(layout.RightMargin, 23);
    EXPECT_EQ(layout.BarWidth, 2);
    EXPECT_EQ(layout.BarOffset, 13);
    const int first = layout.LeftMargin + layout.BarOffset;
    EXPECT_EQ(first, 36);
    EXPECT_EQ(first + 3 * 127, 417);
    // 27 spare pixels: 13 left of the bar block, 14 right of it.
    EXPECT_EQ(456 - layout.RightMargin - (first + 128 * 2 + 127), 14);

    const TZoneRows rows = ComputeZoneRows(185, -10, -20);
    EXPECT_EQ(rows.High, 25);
    EXPECT_EQ(rows.Mid, 50);
}

TEST(SpectrumTexts, SampleRateAndSeparatorLabels) {
    EXPECT_EQ(FormatHz(44100.0f), "44100 Hz");
    EXPECT_EQ(FormatHz(22050.9f), "22050 Hz");
    const std::vector<std::pair<float, std::string>> labels = {
        {16, "16"},     {31.5f, "31.5"}, {63, "63"},    {1000, "1k"},    {1005, "1k005"},
        {1050, "1k05"}, {1250, "1k2"},   {3150, "3k1"}, {12500, "12k5"}, {20000, "20k"}};
    for (const auto& [hz, text] : labels) {
        EXPECT_EQ(FormatSeperatorLabel(hz), text) << hz;
    }
    SpectrumRenderer renderer;
    float centre = 0, width = 0;
    EXPECT_THROW(renderer.GetBand(128, centre, width), Exception);
    EXPECT_THROW(renderer.GetBand(-1, centre, width), Exception);
    renderer.GetBand(127, centre, width);
    EXPECT_GT(centre, 18000.0f);
}

}  // namespace
}  // namespace spectrino
