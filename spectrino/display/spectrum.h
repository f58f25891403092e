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
#include "core/spectrum_renderer.h"
#include "display/image_canvas.h"

namespace spectrino {

class TSpectrum : public QWidget {
    Q_OBJECT

public:
    // Marker level that means "no old marker to erase".
    static constexpr int32_t kNoPeakErase = LevelTracker::kNoPeakErase;
    static constexpr int kRefreshInterval = 80;  // ms

    explicit TSpectrum(QWidget* parent = nullptr);
    ~TSpectrum() override;

    TSpectrum(const TSpectrum&) = delete;
    TSpectrum& operator=(const TSpectrum&) = delete;

    // Asks the owner for 128 fresh levels; the handler writes every entry.
    std::function<void(TSpectrum&, TSpectArray&)> OnRefresh;
    std::function<void(TSpectrum&)> OnDblClick;

    float Samplerate() const { return renderer_.Samplerate(); }
    void SetSamplerate(float value);
    void GetBand(int index, float& centre, float& width) const;

    TPeakDisplay PeakDisplay() const { return renderer_.Tracker().PeakDisplay(); }
    void SetPeakDisplay(TPeakDisplay value) { renderer_.Tracker().SetPeakDisplay(value); }
    TDecaySpeed DecaySpeed() const { return renderer_.Tracker().DecaySpeed(); }
    void SetDecaySpeed(TDecaySpeed value) { renderer_.Tracker().SetDecaySpeed(value); }

    TColor Color() const { return renderer_.Color(); }
    void SetColor(TColor value);
    const QFont& NotationFont() const { return notationFont_; }
    TColor NotationFontColor() const { return renderer_.NotationFontColor(); }
    void SetNotationFont(const QFont& font);
    void SetNotationFontColor(TColor value);
    const QFont& SeperatorFont() const { return seperatorFont_; }
    TColor SeperatorFontColor() const { return renderer_.SeperatorFontColor(); }
    void SetSeperatorFont(const QFont& font);
    void SetSeperatorFontColor(TColor value);
    TColor ScaleColor() const { return renderer_.ScaleColor(); }
    void SetScaleColor(TColor value);
    TColor SeperatorColor() const { return renderer_.SeperatorColor(); }
    void SetSeperatorColor(TColor value);
    TColor HighColor() const { return renderer_.HighColor(); }
    void SetHighColor(TColor value);
    TColor MidColor() const { return renderer_.MidColor(); }
    void SetMidColor(TColor value);
    TColor LowColor() const { return renderer_.LowColor(); }
    void SetLowColor(TColor value);
    int HighTreshhold() const { return renderer_.Tracker().HighTreshhold(); }
    void SetHighTreshhold(int value);
    int MidTreshhold() const { return renderer_.Tracker().MidTreshhold(); }
    void SetMidTreshhold(int value);

    bool Enabled() const { return isEnabled(); }
    // Disabling stops the refresh timer and clears every bar and peak.
    void SetEnabled(bool value);

    void ResetLevels();
    void RefreshLevels(bool force);
    void UpdateLevels(TSpectArray& values, bool force);
    void TimerTick();
    // Renders the whole picture into the image: background, scale, separators, every bar.
    void Paint();

    const TSpectArray& Levels() const { return renderer_.Tracker().Levels(); }
    const TSpectArray& Peaks() const { return renderer_.Tracker().Peaks(); }
    const TSpectArray& PeakZones() const { return renderer_.Tracker().PeakZones(); }
    bool RefreshTimerActive() const { return refreshTimer_.isActive(); }

    int TopMargin() const { return renderer_.TopMargin(); }
    int BottomMargin() const { return renderer_.BottomMargin(); }
    int LeftMargin() const { return renderer_.Layout().LeftMargin; }
    int RightMargin() const { return renderer_.Layout().RightMargin; }
    int BarWidth() const { return renderer_.Layout().BarWidth; }
    int BarOffset() const { return renderer_.Layout().BarOffset; }
    int FreqTextWidth() const { return renderer_.FreqTextWidth(); }
    int LevelTextWidth() const { return renderer_.LevelTextWidth(); }
    int PlotTop() const { return TopMargin(); }
    int PlotBottom() const { return renderer_.PlotBottom(image_.height()); }
    int PlotHeight() const { return PlotBottom() - PlotTop(); }
    int BarLeft(int band) const { return renderer_.BarLeft(band); }

    QString FreqText() const { return QString::fromStdString(renderer_.FreqText()); }
    QString LevelText() const { return QString::fromStdString(renderer_.LevelText()); }
    const QImage& Image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Schedules a full paint for the next pass of the event loop (coalesced).
    void Invalidate();
    void InvalidateIf(bool changed);
    // The owner's refresh handler in the renderer's terms; empty without one.
    SpectrumRenderer::RefreshHandler Handler();

    QFont notationFont_;
    QFont seperatorFont_;
    SpectrumRenderer renderer_;
    QTimer refreshTimer_;
    QImage image_;
    std::unique_ptr<ImageCanvas> canvas_;
    bool paintQueued_ = false;
};

}  // namespace spectrino
