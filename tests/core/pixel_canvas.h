// A canvas that keeps pixels, for comparing pictures: fills, lines and column copies land in
// a colour array; texts only fill their cell. It counts the lines drawn and the rows that
// column copies write.
#pragma once

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "core/spectrum_canvas.h"

namespace spectrino::testing {

class PixelCanvas : public SpectrumCanvas {
public:
    PixelCanvas(int width, int height)
        : width_(width), height_(height), pixels_(static_cast<size_t>(width * height), 1) {}

    const std::vector<TColor>& Pixels() const { return pixels_; }
    long CopiedRows = 0;
    long LinesDrawn = 0;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    bool CanDraw() const override { return true; }
    void FillRect(const TRect& rect, TColor color) override { Fill(pixels_, width_, rect, color); }
    void Line(int x1, int y1, int x2, int y2, TColor color) override {
        ++LinesDrawn;
        if (y1 == y2) {
            Fill(pixels_, width_, {std::min(x1, x2), y1, std::max(x1, x2), y1 + 1}, color);
        } else {
            Fill(pixels_, width_, {x1, std::min(y1, y2), x1 + 1, std::max(y1, y2)}, color);
        }
    }
    void TextOut(int x, int y, std::string_view text, TSpectrumFont font, TColor,
                 TColor cellColor) override {
        const int w = TextWidth(text, font);
        const int h = TextHeight(font);
        Fill(pixels_, width_,
             font == TSpectrumFont::SeperatorUpward ? TRect{x, y - w, x + h, y}
                                                    : TRect{x, y, x + w, y + h},
             cellColor);
    }
    int TextWidth(std::string_view text, TSpectrumFont) const override {
        return 6 * static_cast<int>(text.size());
    }
    int TextHeight(TSpectrumFont font) const override {
        return font == TSpectrumFont::Notation ? 11 : 9;
    }
    int FontPixelSize(TSpectrumFont font) const override { return TextHeight(font) - 2; }
    bool PrepareColumn(TSpectrumColumn column, int width, int height) override {
        ColumnImage& image = Column(column);
        const bool same = image.Width == width && image.Height == height;
        if (!same) {
            image = {width, height, std::vector<TColor>(static_cast<size_t>(width * height), 2)};
        }
        return same;
    }
    void FillColumn(TSpectrumColumn column, const TRect& rect, TColor color) override {
        ColumnImage& image = Column(column);
        Fill(image.Pixels, image.Width, rect, color);
    }
    void CopyColumn(TSpectrumColumn column, int x, int y, const TRect& source) override {
        const ColumnImage& image = Column(column);
        for (int row = source.Top; row < source.Bottom; ++row) {
            for (int col = source.Left; col < source.Right; ++col) {
                pixels_[Index(pixels_, width_, x + col - source.Left, y + row - source.Top)] =
                    image.Pixels[Index(image.Pixels, image.Width, col, row)];
            }
        }
        CopiedRows += source.Bottom - source.Top;
    }

private:
    struct ColumnImage {
        int Width = -1;
        int Height = -1;
        std::vector<TColor> Pixels;
    };

    static size_t Index(const std::vector<TColor>& pixels, int width, int x, int y) {
        const auto index = static_cast<size_t>(y * width + x);
        if (x < 0 || y < 0 || x >= width || index >= pixels.size()) {
            throw std::out_of_range("pixel outside the picture");
        }
        return index;
    }
    static void Fill(std::vector<TColor>& pixels, int width, const TRect& rect, TColor color) {
        const int height = static_cast<int>(pixels.size()) / std::max(width, 1);
        for (int y = std::max(rect.Top, 0); y < std::min(rect.Bottom, height); ++y) {
            for (int x = std::max(rect.Left, 0); x < std::min(rect.Right, width); ++x) {
                pixels[static_cast<size_t>(y * width + x)] = color;
            }
        }
    }
    ColumnImage& Column(TSpectrumColumn column) {
        return column == TSpectrumColumn::Bar ? bar_ : background_;
    }
    const ColumnImage& Column(TSpectrumColumn column) const {
        return column == TSpectrumColumn::Bar ? bar_ : background_;
    }

    int width_;
    int height_;
    std::vector<TColor> pixels_;
    ColumnImage background_;
    ColumnImage bar_;
};

}  // namespace spectrino::testing
