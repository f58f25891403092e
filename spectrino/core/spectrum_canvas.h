// What the spectrum needs from a window system to draw itself: an off-screen picture with
// fills, one-pixel lines, text cells and two cached column bitmaps to copy bars from.
#pragma once

#include <string_view>

#include "core/colour.h"

namespace spectrino {

// Left and top inside, right and bottom outside.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    bool operator==(const TRect&) const = default;
};

enum class TSpectrumFont {
    Notation,         // scale labels, sample rate and the pointer read-out
    Seperator,        // separator labels as measured for the layout
    SeperatorUpward,  // the same face, normal or bold weight, turned 90 degrees counter-clockwise
};

// The two bitmaps one bar wide and one plot high: the empty column and the zone-coloured bar.
enum class TSpectrumColumn { Background, Bar };

class SpectrumCanvas {
public:
    virtual ~SpectrumCanvas() = default;

    // Size of the picture; with no area nothing can be drawn and every drawing call fails.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool CanDraw() const = 0;

    // Drawing calls throw a std::exception when there is nothing to draw on.
    virtual void FillRect(const TRect& rect, TColor color) = 0;
    // A horizontal or vertical line one pixel wide that leaves out its end point.
    virtual void Line(int x1, int y1, int x2, int y2, TColor color) = 0;
    // The text on a cell filled with cellColor, as wide as the text and one line high, its
    // top left corner at (x, y). An upward font turns the cell about that corner, so it runs
    // up from y and right from x.
    virtual void TextOut(int x, int y, std::string_view text, TSpectrumFont font, TColor textColor,
                         TColor cellColor) = 0;
    virtual int TextWidth(std::string_view text, TSpectrumFont font) const = 0;
    virtual int TextHeight(TSpectrumFont font) const = 0;
    // The font's em height in pixels.
    virtual int FontPixelSize(TSpectrumFont font) const = 0;

    // Makes the column width x height (no bitmap when either is not positive); true when it
    // already had that size and kept its pixels.
    virtual bool PrepareColumn(TSpectrumColumn column, int width, int height) = 0;
    virtual void FillColumn(TSpectrumColumn column, const TRect& rect, TColor color) = 0;
    // Copies source of the column to the picture with its top left corner at (x, y).
    virtual void CopyColumn(TSpectrumColumn column, int x, int y, const TRect& source) = 0;
};

}  // namespace spectrino
