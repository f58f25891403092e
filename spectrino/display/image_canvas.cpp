#include "display/image_canvas.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPalette>
#include <QString>

#include <algorithm>
#include <cmath>

#include "framework/exception.h"

namespace spectrino {

namespace {

QColor SystemColor(uint32_t index) {
    const QPalette palette = QGuiApplication::palette();
    switch (index) {
        case 5:
            return palette.color(QPalette::Base);
        case 6:  // window frame: the dark outline of a focused control
        case 7:
        case 8:
            return palette.color(QPalette::WindowText);
        case 13:
            return palette.color(QPalette::Highlight);
        case 14:
            return palette.color(QPalette::HighlightedText);
        case 15:
            return palette.color(QPalette::Button);
        case 16:
            return palette.color(QPalette::Dark);
        case 17:
            return palette.color(QPalette::Disabled, QPalette::Text);
        case 18:
            return palette.color(QPalette::ButtonText);
        case 20:
            return palette.color(QPalette::Light);
        case 21:
            return palette.color(QPalette::Shadow);
        case 22:
            return palette.color(QPalette::Midlight);
        case 23:
            return palette.color(QPalette::ToolTipText);
        case 24:
            return palette.color(QPalette::ToolTipBase);
        default:
            return palette.color(QPalette::Window);
    }
}

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QRect ToQRect(const TRect& rect) {
    return QRect(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top);
}

}  // namespace

QColor ColorToQColor(TColor color) {
    if ((color & 0xFF000000u) == 0xFF000000u) {
        return SystemColor(color & 0x00FFFFFFu);
    }
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

QImage MakeImage(QSize size) {
    if (size.width() <= 0 || size.height() <= 0) {
        return {};
    }
    return QImage(size, QImage::Format_RGB32);
}

void ImageCanvas::Begin() {
    ++depth_;
}

void ImageCanvas::End() {
    if (--depth_ == 0) {
        painter_.reset();
    }
}

void ImageCanvas::RequireDrawable() const {
    if (!CanDraw()) {
        throw Exception("no image to draw on");
    }
}

QPainter& ImageCanvas::Painter() {
    RequireDrawable();
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&target_);
    }
    return *painter_;
}

// An opaque fill of the image's own format is a plain store of one pixel value.
void ImageCanvas::Fill(const QRect& area, const QColor& color) {
    if (color.alpha() != 255 || target_.format() != QImage::Format_RGB32) {
        Painter().fillRect(area, color);
        return;
    }
    const QRect clipped = area & target_.rect();
    const QRgb pixel = color.rgb();
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(target_.scanLine(y));
        std::fill_n(row + clipped.left(), clipped.width(), pixel);
    }
}

QFont ImageCanvas::Font(TSpectrumFont font) const {
    switch (font) {
        case TSpectrumFont::Notation:
            return notationFont_;
        case TSpectrumFont::Seperator:
            return seperatorFont_;
        case TSpectrumFont::SeperatorUpward:
            break;
    }
    QFont upward = seperatorFont_;
    upward.setWeight(seperatorFont_.bold() ? QFont::Bold : QFont::Normal);
    return upward;
}

QFontMetrics ImageCanvas::Metrics(TSpectrumFont font) const {
    return target_.isNull() ? QFontMetrics(Font(font)) : QFontMetrics(Font(font), &target_);
}

void ImageCanvas::FillRect(const TRect& rect, TColor color) {
    RequireDrawable();
    if (rect.Right <= rect.Left || rect.Bottom <= rect.Top) {
        return;
    }
    const QRect area = ToQRect(rect);
    Fill(area, ColorToQColor(color));
    Touch(area);
}

void ImageCanvas::Line(int x1, int y1, int x2, int y2, TColor color) {
    RequireDrawable();
    QRect rect;
    if (y1 == y2 && x1 != x2) {
        rect = x2 > x1 ? QRect(x1, y1, x2 - x1, 1) : QRect(x2 + 1, y1, x1 - x2, 1);
    } else if (x1 == x2 && y1 != y2) {
        rect = y2 > y1 ? QRect(x1, y1, 1, y2 - y1) : QRect(x1, y2 + 1, 1, y1 - y2);
    } else {
        return;
    }
    Fill(rect, ColorToQColor(color));
    Touch(rect);
}

void ImageCanvas::TextOut(int x, int y, std::string_view text, TSpectrumFont font, TColor textColor,
                          TColor cellColor) {
    QPainter& painter = Painter();
    const QString s = Text(text);
    const QFontMetrics metrics = Metrics(font);
    const QRect cell(0, 0, metrics.horizontalAdvance(s), metrics.height());
    painter.save();
    painter.translate(x, y);
    if (font == TSpectrumFont::SeperatorUpward) {
        painter.rotate(-90);
    }
    painter.fillRect(cell, ColorToQColor(cellColor));
    painter.setFont(Font(font));
    painter.setPen(ColorToQColor(textColor));
    painter.drawText(0, metrics.ascent(), s);
    Touch(painter.transform().mapRect(cell));
    painter.restore();
}

int ImageCanvas::TextWidth(std::string_view text, TSpectrumFont font) const {
    return Metrics(font).horizontalAdvance(Text(text));
}

int ImageCanvas::TextHeight(TSpectrumFont font) const {
    return Metrics(font).height();
}

int ImageCanvas::FontPixelSize(TSpectrumFont which) const {
    const QFont font = Font(which);
    if (font.pixelSize() > 0) {
        return font.pixelSize();
    }
    const int dpi = target_.isNull() ? 96 : target_.logicalDpiY();
    return static_cast<int>(std::lround(font.pointSizeF() * dpi / 72.0));
}

std::optional<QImage>& ImageCanvas::Column(TSpectrumColumn column) {
    return column == TSpectrumColumn::Background ? backgroundColumn_ : barColumn_;
}

bool ImageCanvas::PrepareColumn(TSpectrumColumn column, int width, int height) {
    std::optional<QImage>& image = Column(column);
    const QSize wanted(width, height);
    if (image && image->size() == wanted) {
        return true;
    }
    image = MakeImage(wanted);
    return false;
}

void ImageCanvas::FillColumn(TSpectrumColumn column, const TRect& rect, TColor color) {
    std::optional<QImage>& image = Column(column);
    if (!image || image->isNull()) {
        throw Exception("no column bitmap");
    }
    QPainter painter(&*image);
    painter.fillRect(ToQRect(rect), ColorToQColor(color));
}

void ImageCanvas::CopyColumn(TSpectrumColumn column, int x, int y, const TRect& source) {
    RequireDrawable();
    const std::optional<QImage>& image = Column(column);
    if (!image) {
        throw Exception("no column bitmap");
    }
    const QRect area = ToQRect(source);
    const QRect placed(QPoint(x, y), area.size());
    if (image->format() == target_.format() && target_.format() == QImage::Format_RGB32) {
        // Row by row, clipped to both pictures as a painter would.
        const QRect to =
            placed & target_.rect() & image->rect().translated(placed.topLeft() - area.topLeft());
        const QPoint from = to.topLeft() - placed.topLeft() + area.topLeft();
        for (int row = 0; row < to.height(); ++row) {
            const auto* in = reinterpret_cast<const QRgb*>(image->constScanLine(from.y() + row));
            auto* out = reinterpret_cast<QRgb*>(target_.scanLine(to.top() + row));
            std::copy_n(in + from.x(), to.width(), out + to.left());
        }
    } else {
        QPainter& painter = Painter();
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(x, y), *image, area);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    Touch(placed);
}

}  // namespace spectrino
