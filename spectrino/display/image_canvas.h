// The spectrum's canvas on Qt: an off-screen QImage, two column images and the control's
// fonts. Drawing happens in sessions; the outermost one collects the changed area.
#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <memory>
#include <optional>

#include "core/spectrum_canvas.h"

namespace spectrino {

QColor ColorToQColor(TColor color);

// A picture of that size, or a null image when it has no area.
QImage MakeImage(QSize size);

class ImageCanvas : public SpectrumCanvas {
public:
    ImageCanvas(QImage& target, const QFont& notationFont, const QFont& seperatorFont)
        : target_(target), notationFont_(notationFont), seperatorFont_(seperatorFont) {}

    void Begin();
    void End();
    bool InSession() const { return depth_ > 0; }
    // The area changed since the last call.
    QRect TakeDirty() { return std::exchange(dirty_, QRect()); }

    int Width() const override { return target_.width(); }
    int Height() const override { return target_.height(); }
    bool CanDraw() const override { return depth_ > 0 && !target_.isNull(); }
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
    // Made on first use in a session: most refreshes only fill and copy, which go straight to
    // the pixels.
    QPainter& Painter();
    // Drawing happens only inside a session, on an image with an area.
    void RequireDrawable() const;
    void Fill(const QRect& area, const QColor& color);
    QFont Font(TSpectrumFont font) const;
    QFontMetrics Metrics(TSpectrumFont font) const;
    std::optional<QImage>& Column(TSpectrumColumn column);
    void Touch(const QRect& rect) { dirty_ |= rect; }

    QImage& target_;
    const QFont& notationFont_;
    const QFont& seperatorFont_;
    std::unique_ptr<QPainter> painter_;
    int depth_ = 0;
    QRect dirty_;
    std::optional<QImage> backgroundColumn_;
    std::optional<QImage> barColumn_;
};

}  // namespace spectrino
