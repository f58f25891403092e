// The bar-graph control: 128 band levels as vertical bars on a 0 .. -74 dB scale, with peak
// markers, three colour zones and a read-out of the frequency and level under the pointer.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "display/bandtable.h"
#include "display/level_tracker.h"

namespace spectrino {

// 0x00BBGGRR; 0xFF000000 plus an index names a system colour.
using TColor = uint32_t;

QColor ColorToQColor(TColor color);

// Horizontal layout of the bar block for a client width and the width of the widest scale
// label ("-90").
struct TSpectrumLayout {
    int LeftMargin = 0;
    int RightMargin = 0;
    int BarWidth = 0;
    int BarOffset = 0;
};
TSpectrumLayout ComputeSpectrumLayout(int clientWidth, int scaleLabelWidth);

// First row of the mid zone and of the low zone in a column of the given height.
struct TZoneRows {
    int High = 0;  // rows 0 .. High - 1 are the high zone
    int Mid = 0;   // rows High .. Mid - 1 the mid zone, the rest the low zone
};
TZoneRows ComputeZoneRows(int height, int highTreshhold, int midTreshhold);

QString FormatHz(float hz);              // "44100 Hz"
QString FormatSeperatorLabel(float hz);  // "31.5", "1k2", "12k5"

class TSpectrumCanvas;

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

    float Samplerate() const { return samplerate_; }
    void SetSamplerate(float value);
    void GetBand(int index, float& centre, float& width) const;

    TPeakDisplay PeakDisplay() const { return tracker_.PeakDisplay(); }
    void SetPeakDisplay(TPeakDisplay value) { tracker_.SetPeakDisplay(value); }
    TDecaySpeed DecaySpeed() const { return tracker_.DecaySpeed(); }
    void SetDecaySpeed(TDecaySpeed value) { tracker_.SetDecaySpeed(value); }

    TColor Color() const { return color_; }
    void SetColor(TColor value);
    const QFont& NotationFont() const { return notationFont_; }
    TColor NotationFontColor() const { return notationFontColor_; }
    void SetNotationFont(const QFont& font);
    void SetNotationFontColor(TColor value);
    const QFont& SeperatorFont() const { return seperatorFont_; }
    TColor SeperatorFontColor() const { return seperatorFontColor_; }
    void SetSeperatorFont(const QFont& font);
    void SetSeperatorFontColor(TColor value);
    TColor ScaleColor() const { return scaleColor_; }
    void SetScaleColor(TColor value);
    TColor SeperatorColor() const { return seperatorColor_; }
    void SetSeperatorColor(TColor value);
    TColor HighColor() const { return highColor_; }
    void SetHighColor(TColor value);
    TColor MidColor() const { return midColor_; }
    void SetMidColor(TColor value);
    TColor LowColor() const { return lowColor_; }
    void SetLowColor(TColor value);
    int HighTreshhold() const { return tracker_.HighTreshhold(); }
    void SetHighTreshhold(int value);
    int MidTreshhold() const { return tracker_.MidTreshhold(); }
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

    const TSpectArray& Levels() const { return tracker_.Levels(); }
    const TSpectArray& Peaks() const { return tracker_.Peaks(); }
    const TSpectArray& PeakZones() const { return tracker_.PeakZones(); }
    bool RefreshTimerActive() const { return refreshTimer_.isActive(); }

    int TopMargin() const { return topMargin_; }
    int BottomMargin() const { return bottomMargin_; }
    int LeftMargin() const { return layout_.LeftMargin; }
    int RightMargin() const { return layout_.RightMargin; }
    int BarWidth() const { return layout_.BarWidth; }
    int BarOffset() const { return layout_.BarOffset; }
    int FreqTextWidth() const { return freqTextWidth_; }
    int LevelTextWidth() const { return levelTextWidth_; }
    int PlotTop() const { return topMargin_; }
    int PlotBottom() const { return image_.height() - bottomMargin_; }
    int PlotHeight() const { return PlotBottom() - PlotTop(); }
    int BarLeft(int band) const;

    const QString& FreqText() const { return freqText_; }
    const QString& LevelText() const { return levelText_; }
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
    void ChangeZoneSetting(TColor& field, TColor value);
    void ComputeLayout();
    void DrawScale();
    void DrawSeparators();
    void PrepareBitmaps();
    void DrawBar(int band, int32_t old);
    void DrawPeak(int band, int32_t oldPeak);
    void DrawReadout();
    int LevelToY(int32_t level) const;
    int FontHeightProperty(const QFont& font) const;
    void SelectNotationFont();

    float samplerate_ = 44100.0f;
    BandTable bands_;
    TColor color_ = 0x000000;
    QFont notationFont_;
    TColor notationFontColor_ = 0xFFC0C0;
    QFont seperatorFont_;
    TColor seperatorFontColor_ = 0xFFC0C0;
    TColor scaleColor_ = 0x808080;
    TColor seperatorColor_ = 0x000040;
    TColor highColor_ = 0x0000FF;
    TColor midColor_ = 0x00FFFF;
    TColor lowColor_ = 0xC0C000;
    bool zonesDirty_ = false;

    // Levels, peaks and their zones; the thresholds live there too.
    LevelTracker tracker_;

    int topMargin_ = 0;
    int bottomMargin_ = 0;
    TSpectrumLayout layout_;
    int freqTextWidth_ = 100;
    int levelTextWidth_ = 100;

    QString freqText_;
    QString levelText_;
    QString shownFreqText_;
    QString shownLevelText_;

    QTimer refreshTimer_;
    QImage image_;
    std::unique_ptr<TSpectrumCanvas> canvas_;
    std::optional<QImage> backgroundBitmap_;
    std::optional<QImage> barBitmap_;
    bool paintQueued_ = false;
};

}  // namespace spectrino
