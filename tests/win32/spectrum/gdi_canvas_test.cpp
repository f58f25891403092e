#include "ui/win32/spectrum/gdi_canvas.h"

#include <gtest/gtest.h>

#include "ui/win32/spectrum/win32_text.h"

namespace spectrino::win32 {
namespace {

constexpr TColor kBack = 0x102030;

class GdiCanvasTest : public ::testing::Test {
protected:
    GdiCanvasTest() {
        canvas.Resize(120, 80, kBack);
        canvas.TakeDirty();
    }
    TColor At(int x, int y) {
        ::GdiFlush();
        return canvas.Picture()->Pixel(x, y);
    }

    GdiCanvas canvas;
};

TEST_F(GdiCanvasTest, LinesLeaveOutTheirEndPointAndFillsCoverTheirRectangle) {
    canvas.Line(10, 5, 20, 5, 0x0000FF);
    EXPECT_EQ(At(9, 5), kBack);
    EXPECT_EQ(At(10, 5), 0x0000FFu);
    EXPECT_EQ(At(19, 5), 0x0000FFu);
    EXPECT_EQ(At(20, 5), kBack);
    // Drawn backwards the start point is in and the end point still out.
    canvas.Line(30, 40, 30, 30, 0x00FF00);
    EXPECT_EQ(At(30, 40), 0x00FF00u);
    EXPECT_EQ(At(30, 31), 0x00FF00u);
    EXPECT_EQ(At(30, 30), kBack);

    canvas.FillRect({50, 10, 53, 12}, 0xABCDEF);
    EXPECT_EQ(At(50, 10), 0xABCDEFu);
    EXPECT_EQ(At(52, 11), 0xABCDEFu);
    EXPECT_EQ(At(53, 11), kBack);
    EXPECT_EQ(At(52, 12), kBack);
    EXPECT_EQ(At(49, 10), kBack);

    const TRect dirty{10, 5, 53, 41};
    const RECT taken = canvas.TakeDirty();
    EXPECT_EQ((TRect{taken.left, taken.top, taken.right, taken.bottom}), dirty);
    // System colours are the platform's.
    canvas.FillRect({0, 0, 1, 1}, 0xFF000000u | COLOR_WINDOWTEXT);
    const COLORREF windowText = ::GetSysColor(COLOR_WINDOWTEXT);
    EXPECT_EQ(At(0, 0), windowText);
}

TEST_F(GdiCanvasTest, TextCellsAreOpaqueAndUpwardCellsRunUpFromTheirCorner) {
    constexpr TColor kCell = 0x00FF00;
    constexpr TColor kInk = 0xFFFFFF;
    const int w = canvas.TextWidth("1k2", TSpectrumFont::SeperatorUpward);
    const int h = canvas.TextHeight(TSpectrumFont::SeperatorUpward);
    ASSERT_GT(w, 0);
    ASSERT_GT(h, 0);
    canvas.TextOut(40, 60, "1k2", TSpectrumFont::SeperatorUpward, kInk, kCell);
    // The cell is [40, 40 + h) x [60 - w, 60); its corners stay clear of the glyphs.
    EXPECT_EQ(At(40, 60 - w), kCell);
    EXPECT_EQ(At(40 + h - 1, 60 - w), kCell);
    EXPECT_EQ(At(40, 59), kCell);
    EXPECT_EQ(At(40 + h - 1, 59), kCell);
    EXPECT_EQ(At(40, 60), kBack);
    EXPECT_EQ(At(39, 59), kBack);
    EXPECT_EQ(At(40 + h, 59), kBack);
    EXPECT_EQ(At(40, 60 - w - 1), kBack);

    const int nw = canvas.TextWidth(" -96 db", TSpectrumFont::Notation);
    const int nh = canvas.TextHeight(TSpectrumFont::Notation);
    canvas.TextOut(2, 3, " -96 db", TSpectrumFont::Notation, kInk, kCell);
    EXPECT_EQ(At(2, 3), kCell);
    EXPECT_EQ(At(2 + nw - 1, 3 + nh - 1), kCell);
    EXPECT_EQ(At(2 + nw, 3), kBack);
    EXPECT_EQ(At(2, 3 + nh), kBack);
    bool inked = false;
    for (int x = 2; x < 2 + nw; ++x) {
        for (int y = 3; y < 3 + nh; ++y) {
            inked = inked || At(x, y) == kInk;
        }
    }
    EXPECT_TRUE(inked);
}

TEST_F(GdiCanvasTest, FontsMeasureAsTheFormSetsThem) {
    EXPECT_EQ(canvas.FontPixelSize(TSpectrumFont::Notation), 11);
    EXPECT_EQ(canvas.FontPixelSize(TSpectrumFont::Seperator), 9);
    EXPECT_GE(canvas.TextHeight(TSpectrumFont::Notation), 11);
    // The upward font measures like the plain one (unturned extents).
    EXPECT_EQ(canvas.TextWidth("12k5", TSpectrumFont::SeperatorUpward),
              canvas.TextWidth("12k5", TSpectrumFont::Seperator));
    EXPECT_EQ(canvas.TextWidth("", TSpectrumFont::Notation), 0);
    const int before = canvas.TextWidth("-90", TSpectrumFont::Notation);
    GdiFontSpec larger = DefaultNotationFont();
    larger.Height = -22;
    canvas.SetNotationFont(larger);
    EXPECT_GT(canvas.TextWidth("-90", TSpectrumFont::Notation), before);
    EXPECT_EQ(canvas.FontPixelSize(TSpectrumFont::Notation), 22);
    // Without a picture text is still measured.
    canvas.Resize(0, 0, kBack);
    EXPECT_FALSE(canvas.CanDraw());
    EXPECT_GT(canvas.TextWidth("-90", TSpectrumFont::Notation), before);
    EXPECT_THROW(canvas.FillRect({0, 0, 1, 1}, kBack), std::exception);
}

TEST_F(GdiCanvasTest, ColumnsAreMadeOnceAndCopiedRowForRow) {
    EXPECT_FALSE(canvas.PrepareColumn(TSpectrumColumn::Bar, 3, 20));
    EXPECT_TRUE(canvas.PrepareColumn(TSpectrumColumn::Bar, 3, 20));
    EXPECT_FALSE(canvas.PrepareColumn(TSpectrumColumn::Bar, 3, 21));
    canvas.FillColumn(TSpectrumColumn::Bar, {0, 0, 3, 10}, 0x0000FF);
    canvas.FillColumn(TSpectrumColumn::Bar, {0, 10, 3, 21}, 0x00FF00);
    // Rows 8 .. 12 of the column at (60, 30).
    canvas.CopyColumn(TSpectrumColumn::Bar, 60, 30, {0, 8, 3, 13});
    EXPECT_EQ(At(60, 29), kBack);
    EXPECT_EQ(At(60, 30), 0x0000FFu);
    EXPECT_EQ(At(62, 31), 0x0000FFu);
    EXPECT_EQ(At(62, 32), 0x00FF00u);
    EXPECT_EQ(At(60, 34), 0x00FF00u);
    EXPECT_EQ(At(60, 35), kBack);
    EXPECT_EQ(At(63, 32), kBack);
    // A column never made cannot be copied; one without area copies nothing.
    EXPECT_THROW(canvas.CopyColumn(TSpectrumColumn::Background, 0, 0, {0, 0, 3, 3}),
                 std::exception);
    EXPECT_FALSE(canvas.PrepareColumn(TSpectrumColumn::Background, 0, 20));
    EXPECT_NO_THROW(canvas.CopyColumn(TSpectrumColumn::Background, 0, 0, {0, 0, 0, 20}));
}

TEST(Win32TextTest, NumbersAndTextCrossIntoWideStrings) {
    EXPECT_EQ(FormatDecimal(14.5, ","), "14,5");
    EXPECT_EQ(FormatDecimal(578.0, ","), "578");
    EXPECT_EQ(FormatDecimal(23116.5, "."), "23116.5");
    EXPECT_EQ(FormatDecimal(0.1 + 0.2, "."), "0.3");  // 15 digits, not 17
    EXPECT_EQ(Utf8ToWide("1k2 \xC2\xB5"), L"1k2 \u00B5");
    EXPECT_EQ(WideToUtf8(L"\u00B5s"), "\xC2\xB5s");
    EXPECT_FALSE(UserDecimalSeparator().empty());
}

}  // namespace
}  // namespace spectrino::win32
