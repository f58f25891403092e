// A 32-bit top-down DIB section with its own memory DC: the picture the spectrum is drawn on
// and the two cached columns. Pixels are BGRA in memory, row 0 at the top.
#pragma once

#include <cstdint>
#include <span>

#include "core/colour.h"
#include "ui/win32/spectrum/gdi_handles.h"

namespace spectrino::win32 {

class Dib {
public:
    // Throws Exception when the size has no area or GDI refuses the bitmap.
    Dib(int width, int height);
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    HDC Dc() const { return dc_.Get(); }

    // The colour at (x, y) as 0x00BBGGRR; GDI must be done with the DIB (GdiFlush).
    TColor Pixel(int x, int y) const;
    std::span<const uint32_t> Bits() const;

private:
    int width_;
    int height_;
    uint32_t* bits_ = nullptr;
    Bitmap bitmap_;
    MemoryDc dc_;
    // Declared last: the bitmap leaves the DC before either is deleted.
    Selection selection_;
};

// COLORREF of a colour value; 0xFF000000 plus an index is that system colour.
COLORREF ColorToColorRef(TColor color);

}  // namespace spectrino::win32
