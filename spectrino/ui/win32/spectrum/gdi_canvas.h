// The spectrum's canvas on GDI: the picture as a DIB section, the two cached columns as DIB
// sections copied with BitBlt, and the control's fonts.
#pragma once

#include <memory>
#include <optional>

#include "core/spectrum_canvas.h"
#include "ui/win32/spectrum/dib.h"
#include "ui/win32/spectrum/gdi_fonts.h"

namespace spectrino::win32 {

class GdiCanvas : public SpectrumCanvas {
public:
    GdiCanvas();

    // A new picture of that size filled with the colour (none without an area); the columns
    // stay.
    void Resize(int width, int height, TColor fill);
    // The picture, or null when it has no area.
    const Dib* Picture() const { return picture_.get(); }

    void SetNotationFont(const GdiFontSpec& spec);
    void SetSeperatorFont(const GdiFontSpec& spec);
    const GdiFontSpec& NotationFont() const { return notationSpec_; }
    const GdiFontSpec& SeperatorFont() const { return seperatorSpec_; }

    // The area changed since the last call.
    RECT TakeDirty();

    int Width() const override;
    int Height() const override;
    bool CanDraw() const override { return picture_ != nullptr; }
    void FillRect(const TRect& rect, TColor color) override;
    void Line(int x1, int y1, int x2, int y2, TColor color) override;
    void TextOut(int x, int y, std::string_view text, TSpectrumFont font, TColor textColor,
                 TColor cellColor) override;
    int TextWidth(std::string_view text, TSpectrumFont font) const override;
    int TextHeight(TSpectrumFont font) const override;
    int FontPixelSize(TSpectrumFont font) const override;
    bool PrepareColumn(TSpectrumColumn column, int width, int height) override;
    void FillColumn(TSpectrumColumn column, const TRect& rect, TColor color) override;
    void CopyColumn(TSpectrumColumn column, int x, int y, const TRect& source) override;

private:
    HDC Target() const;
    HFONT FontHandle(TSpectrumFont font) const;
    std::unique_ptr<Dib>& Column(TSpectrumColumn column);
    void Touch(const RECT& rect);

    std::unique_ptr<Dib> picture_;
    std::unique_ptr<Dib> backgroundColumn_;
    std::unique_ptr<Dib> barColumn_;
    GdiFontSpec notationSpec_;
    GdiFontSpec seperatorSpec_;
    Font notationFont_;
    Font seperatorFont_;
    Font upwardFont_;
    // Measures text while there is no picture.
    MemoryDc measureDc_;
    RECT dirty_{};
};

}  // namespace spectrino::win32
