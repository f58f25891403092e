// A canvas that keeps every drawing call, with simple fixed metrics: each character is six
// pixels wide, notation lines are 11 pixels high and separator lines 9.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "core/spectrum_canvas.h"

namespace spectrino::testing {

struct Fill {
    TRect Rect;
    TColor Color;
    bool operator==(const Fill&) const = default;
};
struct LineCall {
    int X1, Y1, X2, Y2;
    TColor Color;
    bool operator==(const LineCall&) const = default;
};
struct TextCall {
    int X, Y;
    std::string Text;
    TSpectrumFont Font;
    TColor TextColor, CellColor;
    bool operator==(const TextCall&) const = default;
};
struct ColumnFill {
    TSpectrumColumn Column;
    TRect Rect;
    TColor Color;
    bool operator==(const ColumnFill&) const = default;
};
struct Copy {
    TSpectrumColumn Column;
    int X, Y;
    TRect Source;
    bool operator==(const Copy&) const = default;
};

class RecordingCanvas : public SpectrumCanvas {
public:
    RecordingCanvas(int width, int height) : width_(width), height_(height) {}

    std::vector<Fill> Fills;
    std::vector<LineCall> Lines;
    std::vector<TextCall> Texts;
    std::vector<ColumnFill> ColumnFills;
    std::vector<Copy> Copies;
    int Prepared = 0;

    void Forget() {
        Fills.clear();
        Lines.clear();
        Texts.clear();
        ColumnFills.clear();
        Copies.clear();
        Prepared = 0;
    }
    void Resize(int width, int height) {
        width_ = width;
        height_ = height;
    }

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    bool CanDraw() const override { return width_ > 0 && height_ > 0; }
    void FillRect(const TRect& rect, TColor color) override {
        Check();
        Fills.push_back({rect, color});
    }
    void Line(int x1, int y1, int x2, int y2, TColor color) override {
        Check();
        Lines.push_back({x1, y1, x2, y2, color});
    }
    void TextOut(int x, int y, std::string_view text, TSpectrumFont font, TColor textColor,
                 TColor cellColor) override {
        Check();
        Texts.push_back({x, y, std::string(text), font, textColor, cellColor});
    }
    int TextWidth(std::string_view text, TSpectrumFont) const override {
        return 6 * static_cast<int>(text.size());
    }
    int TextHeight(TSpectrumFont font) const override {
        return font == TSpectrumFont::Notation ? 11 : 9;
    }
    int FontPixelSize(TSpectrumFont font) const override { return TextHeight(font) - 2; }
    bool PrepareColumn(TSpectrumColumn column, int width, int height) override {
        ++Prepared;
        auto& size = column == TSpectrumColumn::Bar ? barSize_ : backgroundSize_;
        const bool same = size.Right == width && size.Bottom == height;
        size = {0, 0, width, height};
        return same;
    }
    void FillColumn(TSpectrumColumn column, const TRect& rect, TColor color) override {
        ColumnFills.push_back({column, rect, color});
    }
    void CopyColumn(TSpectrumColumn column, int x, int y, const TRect& source) override {
        Check();
        Copies.push_back({column, x, y, source});
    }

private:
    void Check() const {
        if (!CanDraw()) {
            throw std::runtime_error("nothing to draw on");
        }
    }

    int width_;
    int height_;
    TRect barSize_{0, 0, -1, -1};
    TRect backgroundSize_{0, 0, -1, -1};
};

}  // namespace spectrino::testing
