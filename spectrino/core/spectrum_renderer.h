// What the bar graph shows and where: 128 band levels as vertical bars on a 0 .. -74 dB scale,
// peak markers, three colour zones, separators and a read-out of the frequency and level under
// the pointer. It draws through a SpectrumCanvas; timers, events and fonts are the front end's.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/bandtable.h"
#include "core/colour.h"
#include "core/level_tracker.h"
#include "core/spectrum_canvas.h"

namespace spectrino {

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

std::string FormatHz(float hz);              // "44100 Hz"
std::string FormatSeperatorLabel(float hz);  // "31.5", "1k2", "12k5"

// What the pointer stands on inside the plot.
struct TPointerReading {
    int Band = 0;
    double Centre = 0;  // the band's centre to the half hertz
    std::string Level;  // "-12 db"
};

class SpectrumRenderer {
public:
    // Fills in fresh levels; entries it leaves alone keep their current level.
    using RefreshHandler = std::function<void(TSpectArray&)>;

    SpectrumRenderer();

    // Drawing failures go here and the pass goes on.
    std::function<void(const std::string&)> OnDebugOutput;

    float Samplerate() const { return samplerate_; }
    // Setters return true when the picture needs a full paint.
    bool SetSamplerate(float value);
    // Throws Exception for an index outside 0 .. 127.
    void GetBand(int index, float& centre, float& width) const;
    const BandTable& Bands() const { return bands_; }

    LevelTracker& Tracker() { return tracker_; }
    const LevelTracker& Tracker() const { return tracker_; }

    TColor Color() const { return color_; }
    bool SetColor(TColor value) { return ChangeZoneSetting(color_, value); }
    TColor HighColor() const { return highColor_; }
    bool SetHighColor(TColor value) { return ChangeZoneSetting(highColor_, value); }
    TColor MidColor() const { return midColor_; }
    bool SetMidColor(TColor value) { return ChangeZoneSetting(midColor_, value); }
    TColor LowColor() const { return lowColor_; }
    bool SetLowColor(TColor value) { return ChangeZoneSetting(lowColor_, value); }
    bool SetHighTreshhold(int value);
    bool SetMidTreshhold(int value);
    TColor ScaleColor() const { return scaleColor_; }
    bool SetScaleColor(TColor value) { return Change(scaleColor_, value); }
    TColor SeperatorColor() const { return seperatorColor_; }
    bool SetSeperatorColor(TColor value) { return Change(seperatorColor_, value); }
    TColor NotationFontColor() const { return notationFontColor_; }
    bool SetNotationFontColor(TColor value) { return Change(notationFontColor_, value); }
    TColor SeperatorFontColor() const { return seperatorFontColor_; }
    bool SetSeperatorFontColor(TColor value) { return Change(seperatorFontColor_, value); }

    // The whole picture: background, scale, separators, the cached columns, then every bar
    // redrawn from its level after one forced refresh.
    void Paint(SpectrumCanvas& canvas, const RefreshHandler& refresh);
    void Refresh(SpectrumCanvas& canvas, const RefreshHandler& refresh, bool force);
    void UpdateLevels(SpectrumCanvas& canvas, TSpectArray& values, bool force);
    // The refresh timer's work: the read-out, then fresh levels.
    void Tick(SpectrumCanvas& canvas, const RefreshHandler& refresh);
    // Levels and peaks to the floor and every column cleared.
    void Clear(SpectrumCanvas& canvas);

    // The pointer at (x, y) of a picture of that size; nothing outside the bar block.
    std::optional<TPointerReading> ReadingAt(int x, int y, int width, int height) const;
    // Texts shown from the next tick on; empty erases.
    void SetReadout(std::string freqText, std::string levelText);
    const std::string& FreqText() const { return freqText_; }
    const std::string& LevelText() const { return levelText_; }

    // Layout as of the last paint; the plot's bottom follows the picture's height.
    int TopMargin() const { return topMargin_; }
    int BottomMargin() const { return bottomMargin_; }
    const TSpectrumLayout& Layout() const { return layout_; }
    int FreqTextWidth() const { return freqTextWidth_; }
    int LevelTextWidth() const { return levelTextWidth_; }
    int PlotBottom(int height) const { return height - bottomMargin_; }
    int BarLeft(int band) const;

private:
    bool Change(TColor& field, TColor value);
    bool ChangeZoneSetting(TColor& field, TColor value);
    void ComputeLayout(const SpectrumCanvas& canvas);
    void DrawScale(SpectrumCanvas& canvas);
    void DrawSeparators(SpectrumCanvas& canvas, int plotBottom);
    void PrepareColumns(SpectrumCanvas& canvas, int plotHeight);
    void DrawBar(SpectrumCanvas& canvas, int band, int32_t old);
    // Notes a one-row line the width of a bar column, at y in the picture.
    void MarkColumnRow(int band, int y);
    void ForgetColumns();
    void DrawPeak(SpectrumCanvas& canvas, int band, int32_t oldPeak);
    void DrawReadout(SpectrumCanvas& canvas);
    int LevelToY(int32_t level, int plotBottom) const;
    void Report(const std::string& what, const std::exception& e) const;

    float samplerate_ = 44100.0f;
    BandTable bands_;
    TColor color_ = 0x000000;
    TColor notationFontColor_ = 0xFFC0C0;
    TColor seperatorFontColor_ = 0xFFC0C0;
    TColor scaleColor_ = 0x808080;
    TColor seperatorColor_ = 0x000040;
    TColor highColor_ = 0x0000FF;
    TColor midColor_ = 0x00FFFF;
    TColor lowColor_ = 0xC0C000;
    // Text cells take the colour of the last fill, as a canvas brush keeps its colour.
    TColor cellColor_ = 0;
    bool zonesDirty_ = false;
    bool columnsMade_ = false;
    int columnHeight_ = 0;

    // What each column on the picture is known to hold: rows 0 .. BackgroundEnd - 1 copied
    // from the empty column, rows BarStart .. height - 1 from the bar column and the marker
    // on PeakRow (-1: none) in PeakColor, untouched since. Copies over rows already holding
    // the same pixels and markers that stay where they are are left out.
    struct KnownRows {
        int BackgroundEnd = 0;
        int BarStart = 0;
        int PeakRow = -1;
        TColor PeakColor = 0;
    };
    std::array<KnownRows, kBandCount> known_{};

    // Levels, peaks and their zones; the thresholds live there too.
    LevelTracker tracker_;

    int topMargin_ = 0;
    int bottomMargin_ = 0;
    TSpectrumLayout layout_;
    int freqTextWidth_ = 100;
    int levelTextWidth_ = 100;

    std::string freqText_;
    std::string levelText_;
    std::string shownFreqText_;
    std::string shownLevelText_;
};

}  // namespace spectrino
