#include "ui/win32/spectrum/gdi_canvas.h"

#include <algorithm>
#include <cstdlib>

#include "framework/exception.h"
#include "ui/win32/spectrum/win32_text.h"

namespace spectrino::win32 {

namespace {

RECT ToRect(const TRect& rect) {
    return {rect.Left, rect.Top, rect.Right, rect.Bottom};
}

void Fill(HDC dc, const RECT& rect, TColor color) {
    const Brush brush(::CreateSolidBrush(ColorToColorRef(color)));
    if (!brush || ::FillRect(dc, &rect, brush.Get()) == 0) {
        throw Exception("FillRect failed");
    }
}

}  // namespace

GdiCanvas::GdiCanvas()
    : notationSpec_(DefaultNotationFont()),
      seperatorSpec_(DefaultSeperatorFont()),
      notationFont_(MakeFont(notationSpec_)),
      seperatorFont_(MakeFont(seperatorSpec_)),
      upwardFont_(MakeUpwardFont(seperatorSpec_)) {}

void GdiCanvas::Resize(int width, int height, TColor fill) {
    picture_.reset();
    if (width <= 0 || height <= 0) {
        return;
    }
    picture_ = std::make_unique<Dib>(width, height);
    Fill(picture_->Dc(), {0, 0, width, height}, fill);
    Touch({0, 0, width, height});
}

void GdiCanvas::SetNotationFont(const GdiFontSpec& spec) {
    notationFont_ = MakeFont(spec);
    notationSpec_ = spec;
}

void GdiCanvas::SetSeperatorFont(const GdiFontSpec& spec) {
    Font plain = MakeFont(spec);
    upwardFont_ = MakeUpwardFont(spec);
    seperatorFont_ = std::move(plain);
    seperatorSpec_ = spec;
}

RECT GdiCanvas::TakeDirty() {
    return std::exchange(dirty_, RECT{});
}

void GdiCanvas::Touch(const RECT& rect) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) {
        return;
    }
    if (dirty_.right <= dirty_.left || dirty_.bottom <= dirty_.top) {
        dirty_ = rect;
        return;
    }
    ::UnionRect(&dirty_, &dirty_, &rect);
}

int GdiCanvas::Width() const {
    return picture_ ? picture_->Width() : 0;
}

int GdiCanvas::Height() const {
    return picture_ ? picture_->Height() : 0;
}

HDC GdiCanvas::Target() const {
    if (!picture_) {
        throw Exception("no picture to draw on");
    }
    return picture_->Dc();
}

HFONT GdiCanvas::FontHandle(TSpectrumFont font) const {
    switch (font) {
        case TSpectrumFont::Notation:
            return notationFont_.Get();
        case TSpectrumFont::Seperator:
            return seperatorFont_.Get();
        case TSpectrumFont::SeperatorUpward:
            break;
    }
    return upwardFont_.Get();
}

void GdiCanvas::FillRect(const TRect& rect, TColor color) {
    const HDC dc = Target();
    if (rect.Right <= rect.Left || rect.Bottom <= rect.Top) {
        return;
    }
    const RECT area = ToRect(rect);
    Fill(dc, area, color);
    Touch(area);
}

void GdiCanvas::Line(int x1, int y1, int x2, int y2, TColor color) {
    const HDC dc = Target();
    const Pen pen(::CreatePen(PS_SOLID, 1, ColorToColorRef(color)));
    if (!pen) {
        throw Exception("CreatePen failed");
    }
    const Selection selection(dc, pen.Get());
    // LineTo leaves out the end point.
    if (::MoveToEx(dc, x1, y1, nullptr) == FALSE || ::LineTo(dc, x2, y2) == FALSE) {
        throw Exception("LineTo failed");
    }
    Touch({std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1});
}

void GdiCanvas::TextOut(int x, int y, std::string_view text, TSpectrumFont font, TColor textColor,
                        TColor cellColor) {
    const HDC dc = Target();
    const std::wstring wide = Utf8ToWide(text);
    const Selection selection(dc, FontHandle(font));
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
    // An upward cell turns about its top left corner: it runs up from y and right from x.
    const RECT cell = font == TSpectrumFont::SeperatorUpward
                          ? RECT{x, y - extent.cx, x + extent.cy, y}
                          : RECT{x, y, x + extent.cx, y + extent.cy};
    ::SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    ::SetBkMode(dc, OPAQUE);
    ::SetBkColor(dc, ColorToColorRef(cellColor));
    ::SetTextColor(dc, ColorToColorRef(textColor));
    // The cell is given as well: GDI's own opaque box of turned text is not to be relied on.
    if (::ExtTextOutW(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &cell, wide.c_str(),
                      static_cast<UINT>(wide.size()), nullptr) == FALSE) {
        throw Exception("TextOut failed");
    }
    Touch(cell);
}

int GdiCanvas::TextWidth(std::string_view text, TSpectrumFont font) const {
    const HDC dc = picture_ ? picture_->Dc() : measureDc_.Get();
    const std::wstring wide = Utf8ToWide(text);
    const Selection selection(dc, FontHandle(font));
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
    return extent.cx;
}

int GdiCanvas::TextHeight(TSpectrumFont font) const {
    const HDC dc = picture_ ? picture_->Dc() : measureDc_.Get();
    const Selection selection(dc, FontHandle(font));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    return metrics.tmHeight;
}

int GdiCanvas::FontPixelSize(TSpectrumFont font) const {
    const int height =
        font == TSpectrumFont::Notation ? notationSpec_.Height : seperatorSpec_.Height;
    if (height < 0) {
        return -height;
    }
    // A positive height is the cell's; the character height leaves out the internal leading.
    const HDC dc = picture_ ? picture_->Dc() : measureDc_.Get();
    const Selection selection(dc, FontHandle(font));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    return metrics.tmHeight - metrics.tmInternalLeading;
}

std::unique_ptr<Dib>& GdiCanvas::Column(TSpectrumColumn column) {
    return column == TSpectrumColumn::Background ? backgroundColumn_ : barColumn_;
}

bool GdiCanvas::PrepareColumn(TSpectrumColumn column, int width, int height) {
    std::unique_ptr<Dib>& dib = Column(column);
    if (dib && dib->Width() == width && dib->Height() == height) {
        return true;
    }
    dib.reset();
    if (width > 0 && height > 0) {
        dib = std::make_unique<Dib>(width, height);
    }
    return false;
}

void GdiCanvas::FillColumn(TSpectrumColumn column, const TRect& rect, TColor color) {
    const std::unique_ptr<Dib>& dib = Column(column);
    if (!dib) {
        throw Exception("no column bitmap");
    }
    Fill(dib->Dc(), ToRect(rect), color);
}

void GdiCanvas::CopyColumn(TSpectrumColumn column, int x, int y, const TRect& source) {
    const HDC dc = Target();
    const int width = source.Right - source.Left;
    const int height = source.Bottom - source.Top;
    if (width <= 0 || height <= 0) {
        return;  // a column without area, as a plot too small for bars has
    }
    const std::unique_ptr<Dib>& dib = Column(column);
    if (!dib) {
        throw Exception("no column bitmap");
    }
    if (::BitBlt(dc, x, y, width, height, dib->Dc(), source.Left, source.Top, SRCCOPY) == FALSE) {
        throw Exception("BitBlt failed");
    }
    Touch({x, y, x + width, y + height});
}

}  // namespace spectrino::win32
