// The bar-graph control on Qt: the widget, its timer and fonts around the spectrum renderer,
// which decides what is drawn where.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

#include "core/bandtable.h"
#include "core/colour.h"
#include "core/level_tracker.h"
#include "core/spectrum_control.h"
#include "core/spectrum_renderer.h"
#include "display/image_canvas.h"

namespace spectrino {

class TSpectrum : public QWidget, public SpectrumControl {
    Q_OBJECT

public:
    // Marker level that means "no old marker to erase".
    static constexpr int32_t kNoPeakErase = LevelTracker::kNoPeakErase;
    static constexpr int kRefreshInterval = 80;  // ms

    explicit TSpectrum(QWidget* parent = nullptr);
    ~TSpectrum() override;

    TSpectrum(const TSpectrum&) = delete;
    TSpectrum& operator=(const TSpectrum&) = delete;

    const QFont& NotationFont() const { return notationFont_; }
    void SetNotationFont(const QFont& font);
    const QFont& SeperatorFont() const { return seperatorFont_; }
    void SetSeperatorFont(const QFont& font);

    void Invalidate() override;
    void SetShown(bool value) override { setVisible(value); }

    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool value) override;

    void ResetLevels();
    void RefreshLevels(bool force);
    void UpdateLevels(TSpectArray& values, bool force);
    void TimerTick();
    // Renders the whole picture into the image: background, scale, separators, every bar.
    void Paint();

    bool RefreshTimerActive() const { return refreshTimer_.isActive(); }

    int TopMargin() const { return Renderer().TopMargin(); }
    int BottomMargin() const { return Renderer().BottomMargin(); }
    int LeftMargin() const { return Renderer().Layout().LeftMargin; }
    int RightMargin() const { return Renderer().Layout().RightMargin; }
    int BarWidth() const { return Renderer().Layout().BarWidth; }
    int BarOffset() const { return Renderer().Layout().BarOffset; }
    int FreqTextWidth() const { return Renderer().FreqTextWidth(); }
    int LevelTextWidth() const { return Renderer().LevelTextWidth(); }
    int PlotTop() const { return TopMargin(); }
    int PlotBottom() const { return Renderer().PlotBottom(image_.height()); }
    int PlotHeight() const { return PlotBottom() - PlotTop(); }
    int BarLeft(int band) const { return Renderer().BarLeft(band); }

    QString FreqText() const { return QString::fromStdString(Renderer().FreqText()); }
    QString LevelText() const { return QString::fromStdString(Renderer().LevelText()); }
    const QImage& Image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QFont notationFont_;
    QFont seperatorFont_;
    QTimer refreshTimer_;
    QImage image_;
    std::unique_ptr<ImageCanvas> canvas_;
    bool paintQueued_ = false;
};

}  // namespace spectrino
