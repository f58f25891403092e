// A canvas decorator for comparing two front ends' pictures: it reports the same text metrics
// on every platform, so the layout does not follow the font engine, and records where each
// text cell went, so glyph shapes can be left out of the comparison. The real text must fit
// its fixed cell; it then never draws outside the recorded rectangle.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "core/spectrum_canvas.h"

namespace spectrino::parity {

class FixedMetricsCanvas : public SpectrumCanvas {
public:
    explicit FixedMetricsCanvas(SpectrumCanvas& inner) : inner_(inner) {}

    const std::vector<TRect>& TextCells() const { return cells_; }

    int Width() const override { return inner_.Width(); }
    int Height() const override { return inner_.Height(); }
    bool CanDraw() const override { return inner_.CanDraw(); }
    void FillRect(const TRect& rect, TColor color) override { inner_.FillRect(rect, color); }
    void Line(int x1, int y1, int x2, int y2, TColor color) override {
        inner_.Line(x1, y1, x2, y2, color);
    }
    void TextOut(int x, int y, std::string_view text, TSpectrumFont font, TColor textColor,
                 TColor cellColor) override {
        const int w = TextWidth(text, font);
        const int h = TextHeight(font);
        if (inner_.TextWidth(text, font) > w || inner_.TextHeight(font) > h) {
            throw std::runtime_error("the real text \"" + std::string(text) +
                                     "\" is larger than its fixed cell");
        }
        cells_.push_back(font == TSpectrumFont::SeperatorUpward ? TRect{x, y - w, x + h, y}
                                                                : TRect{x, y, x + w, y + h});
        inner_.TextOut(x, y, text, font, textColor, cellColor);
    }
    int TextWidth(std::string_view text, TSpectrumFont font) const override {
        int characters = 0;
        for (const char c : text) {
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        }
        return characters * (font == TSpectrumFont::Notation ? 9 : 8);
    }
    int TextHeight(TSpectrumFont font) const override {
        return font == TSpectrumFont::Notation ? 16 : 14;
    }
    // The main form's fonts: 11 and 9 pixels.
    int FontPixelSize(TSpectrumFont font) const override {
        return font == TSpectrumFont::Notation ? 11 : 9;
    }
    bool PrepareColumn(TSpectrumColumn column, int width, int height) override {
        return inner_.PrepareColumn(column, width, height);
    }
    void FillColumn(TSpectrumColumn column, const TRect& rect, TColor color) override {
        inner_.FillColumn(column, rect, color);
    }
    void CopyColumn(TSpectrumColumn column, int x, int y, const TRect& source) override {
        inner_.CopyColumn(column, x, y, source);
    }

private:
    SpectrumCanvas& inner_;
    std::vector<TRect> cells_;
};

}  // namespace spectrino::parity
