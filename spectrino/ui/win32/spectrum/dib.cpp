#include "ui/win32/spectrum/dib.h"

#include "framework/exception.h"

namespace spectrino::win32 {

namespace {

HBITMAP MakeSection(int width, int height, uint32_t*& bits) {
    if (width <= 0 || height <= 0) {
        throw Exception("a bitmap needs an area");
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* memory = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
    if (bitmap == nullptr || memory == nullptr) {
        throw Exception("CreateDIBSection failed");
    }
    bits = static_cast<uint32_t*>(memory);
    return bitmap;
}

}  // namespace

Dib::Dib(int width, int height)
    : width_(width),
      height_(height),
      bitmap_(MakeSection(width, height, bits_)),
      selection_(dc_.Get(), bitmap_.Get()) {}

TColor Dib::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        throw Exception("pixel outside the bitmap");
    }
    const uint32_t bgra = bits_[static_cast<size_t>(y) * width_ + x];
    // Memory order B, G, R: swap red and blue into 0x00BBGGRR.
    return ((bgra & 0xFF) << 16) | (bgra & 0xFF00) | ((bgra >> 16) & 0xFF);
}

std::span<const uint32_t> Dib::Bits() const {
    return {bits_, static_cast<size_t>(width_) * height_};
}

COLORREF ColorToColorRef(TColor color) {
    if ((color & 0xFF000000u) == 0xFF000000u) {
        return ::GetSysColor(static_cast<int>(color & 0x00FFFFFFu));
    }
    return color & 0x00FFFFFFu;
}

}  // namespace spectrino::win32
