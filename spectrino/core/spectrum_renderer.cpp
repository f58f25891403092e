#include "core/spectrum_renderer.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <string>

#include "framework/exception.h"

namespace spectrino {

namespace {

constexpr int kScaleDb = 74;                     // the scale runs from 0 down to -74 dB
constexpr int64_t kScaleRange = 100 * kScaleDb;  // the same in hundredths
constexpr int kGapPixels = kBandCount - 1;       // one-pixel gaps between the bars
constexpr int kLayoutSlack = kGapPixels + 16;
constexpr int kTextTop = 4;

// Distance of a level below 0 dB, 0 .. 7400; louder levels stand at the top of the scale.
int64_t DepthBelowTop(int32_t level) {
    return std::clamp<int64_t>(-static_cast<int64_t>(level), 0, kScaleRange);
}

std::string Number(int64_t value) {
    return std::to_string(value);
}

}  // namespace

TSpectrumLayout ComputeSpectrumLayout(int clientWidth, int scaleLabelWidth) {
    TSpectrumLayout layout;
    layout.LeftMargin = scaleLabelWidth + 8;
    layout.RightMargin = scaleLabelWidth + 8;
    layout.BarWidth =
        (clientWidth - layout.LeftMargin - layout.RightMargin - kLayoutSlack) / kBandCount;
    // Odd spare pixels go to the right of the bar block.
    layout.BarOffset = (clientWidth - (layout.LeftMargin + kGapPixels + layout.RightMargin +
                                       kBandCount * layout.BarWidth)) /
                       2;
    return layout;
}

TZoneRows ComputeZoneRows(int height, int highTreshhold, int midTreshhold) {
    const int64_t h = height;
    // A threshold off the scale (the settings file may hold any number) puts its zone edge
    // at the end of the column.
    const auto row = [h](int threshold) {
        return static_cast<int>(
            std::clamp<int64_t>(h - h * (int64_t{threshold} + kScaleDb) / kScaleDb, 0, h));
    };
    return {row(highTreshhold), row(midTreshhold)};
}

std::string FormatHz(float hz) {
    return Number(static_cast<int64_t>(std::floor(hz))) + " Hz";
}

std::string FormatSeperatorLabel(float hz) {
    if (hz >= 1000.0f) {
        std::string text = Number(static_cast<int64_t>(std::floor(hz / 1000.0f))) + 'k';
        const int64_t n = static_cast<int64_t>(std::floor(hz)) % 1000;
        if (n == 0) {
            return text;
        }
        if (n < 10) {
            return text + "00" + Number(n);
        }
        if (n < 100) {
            return text + '0' + Number(n / 10);
        }
        return text + Number(n / 100);
    }
    const double whole = std::floor(hz);
    std::string text = Number(static_cast<int64_t>(whole));
    const double fraction = hz - whole;
    if (fraction >= 0.1) {
        text += '.' + Number(static_cast<int64_t>(std::floor(10.0 * fraction)));
    }
    return text;
}

SpectrumRenderer::SpectrumRenderer() : bands_(ComputeBands(44100.0f)) {
    tracker_.ResetLevels();
}

bool SpectrumRenderer::SetSamplerate(float value) {
    if (value == samplerate_) {
        return false;
    }
    bands_ = ComputeBands(value);
    samplerate_ = value;
    return true;
}

void SpectrumRenderer::GetBand(int index, float& centre, float& width) const {
    if (index < 0 || index >= kBandCount) {
        throw Exception("band index out of range: " + std::to_string(index));
    }
    bands_.GetBand(index, centre, width);
}

bool SpectrumRenderer::Change(TColor& field, TColor value) {
    if (field == value) {
        return false;
    }
    field = value;
    return true;
}

bool SpectrumRenderer::ChangeZoneSetting(TColor& field, TColor value) {
    if (!Change(field, value)) {
        return false;
    }
    zonesDirty_ = true;
    return true;
}

bool SpectrumRenderer::SetHighTreshhold(int value) {
    if (value == tracker_.HighTreshhold()) {
        return false;
    }
    tracker_.SetHighTreshhold(value);
    zonesDirty_ = true;
    return true;
}

bool SpectrumRenderer::SetMidTreshhold(int value) {
    if (value == tracker_.MidTreshhold()) {
        return false;
    }
    tracker_.SetMidTreshhold(value);
    zonesDirty_ = true;
    return true;
}

void SpectrumRenderer::Paint(SpectrumCanvas& canvas, const RefreshHandler& refresh) {
    ComputeLayout(canvas);
    const int plotBottom = PlotBottom(canvas.Height());
    if (canvas.CanDraw()) {
        cellColor_ = color_;
        canvas.FillRect({0, 0, canvas.Width(), canvas.Height()}, color_);
        DrawScale(canvas);
        DrawSeparators(canvas, plotBottom);
    }
    PrepareColumns(canvas, plotBottom - topMargin_);
    Refresh(canvas, refresh, true);
}

void SpectrumRenderer::Refresh(SpectrumCanvas& canvas, const RefreshHandler& refresh, bool force) {
    if (!refresh) {
        return;
    }
    TSpectArray values = tracker_.Levels();
    refresh(values);
    UpdateLevels(canvas, values, force);
}

void SpectrumRenderer::UpdateLevels(SpectrumCanvas& canvas, TSpectArray& values, bool force) {
    for (int i = 0; i < kBandCount; ++i) {
        const LevelTracker::BandUpdate update = tracker_.UpdateBand(i, values[i], force);
        if (update.Drawn) {
            DrawBar(canvas, i, update.Old);
        }
        DrawPeak(canvas, i, update.OldPeak);
    }
}

void SpectrumRenderer::Tick(SpectrumCanvas& canvas, const RefreshHandler& refresh) {
    DrawReadout(canvas);
    Refresh(canvas, refresh, false);
}

void SpectrumRenderer::Clear(SpectrumCanvas& canvas) {
    tracker_.ResetLevels();
    ForgetColumns();
    TSpectArray values = tracker_.Levels();
    UpdateLevels(canvas, values, true);
}

void SpectrumRenderer::ComputeLayout(const SpectrumCanvas& canvas) {
    int widest = 0;
    for (const float frequency : SeperatorFrequencies) {
        widest = std::max(
            widest, canvas.TextWidth(FormatSeperatorLabel(frequency), TSpectrumFont::Seperator));
    }
    bottomMargin_ = 8 + widest;

    constexpr TSpectrumFont font = TSpectrumFont::Notation;
    topMargin_ = 8 + canvas.TextHeight(font);
    freqTextWidth_ = canvas.TextWidth(" 99999.9 Hz", font);
    levelTextWidth_ = canvas.TextWidth(" -96 db", font);
    layout_ = ComputeSpectrumLayout(canvas.Width(), canvas.TextWidth("-90", font));
}

void SpectrumRenderer::DrawScale(SpectrumCanvas& canvas) {
    constexpr TSpectrumFont font = TSpectrumFont::Notation;
    const int width = canvas.Width();
    const auto text = [&](int x, int y, const std::string& s) {
        canvas.TextOut(x, y, s, font, notationFontColor_, cellColor_);
    };
    const std::string caption = FormatHz(samplerate_);
    text((width - canvas.TextWidth(caption, font)) / 2, kTextTop, caption);

    const int left = layout_.LeftMargin;
    const int right = width - layout_.RightMargin;
    const int top = topMargin_;
    const int bottom = PlotBottom(canvas.Height());
    const int height = bottom - top;
    const auto labelBothSides = [&](int y, const std::string& label) {
        const int labelTop = y - canvas.TextHeight(font) / 2;
        text(left - 4 - canvas.TextWidth(label, font), labelTop, label);
        text(right + 4, labelTop, label);
    };
    for (int i = 0; i <= kScaleDb; ++i) {
        const int y = top + (i * height) / kScaleDb;
        if (i % 10 == 0) {
            canvas.Line(left, y, right, y, scaleColor_);
            labelBothSides(y, Number(-i));
        } else if (i % 2 == 0) {
            canvas.Line(left, y, left + layout_.BarOffset, y, scaleColor_);
            canvas.Line(right - layout_.BarOffset, y, right, y, scaleColor_);
        }
    }
    canvas.Line(left, bottom, right, bottom, scaleColor_);
    labelBothSides(top + (kScaleDb * height) / kScaleDb, "db");
}

void SpectrumRenderer::DrawSeparators(SpectrumCanvas& canvas, int plotBottom) {
    // The labels keep the notation text colour on black cells; the black stays for the texts
    // drawn after them.
    constexpr TSpectrumFont font = TSpectrumFont::SeperatorUpward;
    cellColor_ = 0;
    const bool upperTable = samplerate_ >= 48000.0f;
    for (int i = 0; i < kSeparatorCount; ++i) {
        // The gap column just left of the band that starts at the separator frequency.
        const int x = (upperTable ? BarLeft(4 * i) : BarLeft(4 * i + 1)) + layout_.BarWidth;
        canvas.Line(x, topMargin_ + 1, x, plotBottom - 1, seperatorColor_);
        const std::string label = FormatSeperatorLabel(SeperatorFrequencies[i]);
        const int w = canvas.TextWidth(label, font);
        const int h = canvas.TextHeight(font);
        canvas.TextOut(x - h / 2, plotBottom + w + 4, label, font, notationFontColor_, cellColor_);
    }
}

void SpectrumRenderer::PrepareColumns(SpectrumCanvas& canvas, int plotHeight) {
    const int width = layout_.BarWidth;
    const bool backgroundSized =
        canvas.PrepareColumn(TSpectrumColumn::Background, width, plotHeight);
    const bool barSized = canvas.PrepareColumn(TSpectrumColumn::Bar, width, plotHeight);
    columnsMade_ = true;
    const bool empty = width <= 0 || plotHeight <= 0;
    columnHeight_ = empty ? 0 : plotHeight;
    ForgetColumns();
    if (backgroundSized && barSized && !zonesDirty_) {
        return;
    }
    zonesDirty_ = false;
    if (empty) {
        return;
    }
    const int h = plotHeight;
    canvas.FillColumn(TSpectrumColumn::Background, {0, 0, width, h}, color_);
    const TZoneRows rows = ComputeZoneRows(h, tracker_.HighTreshhold(), tracker_.MidTreshhold());
    // Later zones win where thresholds cross, as each band is painted over the previous.
    const auto zone = [&](int top, int bottom, TColor color) {
        top = std::clamp(top, 0, h);
        bottom = std::clamp(bottom, 0, h);
        if (bottom > top) {
            canvas.FillColumn(TSpectrumColumn::Bar, {0, top, width, bottom}, color);
        }
    };
    zone(0, rows.High, highColor_);
    zone(rows.High, rows.Mid, midColor_);
    zone(rows.Mid, h, lowColor_);
}

int SpectrumRenderer::BarLeft(int band) const {
    return layout_.LeftMargin + layout_.BarOffset + (layout_.BarWidth + 1) * band;
}

int SpectrumRenderer::LevelToY(int32_t level, int plotBottom) const {
    const int64_t plotHeight = plotBottom - topMargin_;
    return plotBottom -
           static_cast<int>(plotHeight * (kScaleRange - DepthBelowTop(level)) / kScaleRange);
}

void SpectrumRenderer::Report(const std::string& what, const std::exception& e) const {
    if (OnDebugOutput) {
        OnDebugOutput(what + " failed: " + e.what());
    }
}

void SpectrumRenderer::ForgetColumns() {
    known_.fill({0, columnHeight_, -1, 0});
}

void SpectrumRenderer::MarkColumnRow(int band, int y) {
    const int row = y - topMargin_;
    if (!columnsMade_ || row < 0 || row >= columnHeight_) {
        return;
    }
    KnownRows& known = known_[static_cast<size_t>(band)];
    known.BackgroundEnd = std::min(known.BackgroundEnd, row);
    if (row == known.PeakRow) {
        known.PeakRow = -1;
    }
    if (row >= known.BarStart) {
        known.BarStart = row + 1;
    }
}

void SpectrumRenderer::DrawBar(SpectrumCanvas& canvas, int band, int32_t old) {
    if (!columnsMade_) {
        return;
    }
    const int32_t level = tracker_.Levels()[band];
    const int h = columnHeight_;
    const int barHeight = static_cast<int>(static_cast<int64_t>(h) *
                                           (kScaleRange - DepthBelowTop(level)) / kScaleRange);
    const int barTop = h - barHeight;
    const int x = BarLeft(band);
    const int width = layout_.BarWidth;
    KnownRows& known = known_[static_cast<size_t>(band)];
    // Everything above the bar is empty column; rows known to be empty already are left.
    if (barTop > known.BackgroundEnd) {
        const int from = known.BackgroundEnd;
        try {
            canvas.CopyColumn(TSpectrumColumn::Background, x, topMargin_ + from,
                              {0, from, width, barTop});
            known.BackgroundEnd = barTop;
            known.BarStart = std::max(known.BarStart, barTop);
            if (known.PeakRow >= from && known.PeakRow < barTop) {
                known.PeakRow = -1;
            }
        } catch (const std::exception& e) {
            Report("copyrect", e);
        }
    }
    // A shrinking bar keeps its remaining pixels; only a growing one copies the bar column,
    // down to where the bar already stands untouched.
    if (level > old && barHeight > 0 && known.BarStart > barTop) {
        try {
            canvas.CopyColumn(TSpectrumColumn::Bar, x, topMargin_ + barTop,
                              {0, barTop, width, known.BarStart});
            if (known.PeakRow >= barTop && known.PeakRow < known.BarStart) {
                known.PeakRow = -1;
            }
            known.BarStart = barTop;
            known.BackgroundEnd = std::min(known.BackgroundEnd, barTop);
        } catch (const std::exception& e) {
            Report("copyrect", e);
        }
    }
}

void SpectrumRenderer::DrawPeak(SpectrumCanvas& canvas, int band, int32_t oldPeak) {
    const int32_t peak = tracker_.Peaks()[band];
    if (peak < tracker_.Levels()[band]) {
        return;
    }
    TColor color = lowColor_;
    switch (tracker_.PeakZones()[band]) {
        case 2:
            color = highColor_;
            break;
        case 1:
            color = midColor_;
            break;
        default:
            break;
    }
    const int plotBottom = PlotBottom(canvas.Height());
    const int y = LevelToY(peak, plotBottom);
    KnownRows& known = known_[static_cast<size_t>(band)];
    const bool tracked = columnsMade_ && plotBottom - topMargin_ == columnHeight_;
    // A marker that stays on its row in its colour, untouched since it was drawn, is left.
    if (tracked && y < plotBottom && known.PeakRow == y - topMargin_ && known.PeakColor == color &&
        (oldPeak == LevelTracker::kNoPeakErase || LevelToY(oldPeak, plotBottom) == y)) {
        return;
    }
    const int x1 = BarLeft(band);
    const int x2 = x1 + layout_.BarWidth;
    const auto line = [&](int lineY, TColor lineColor) {
        MarkColumnRow(band, lineY);
        try {
            canvas.Line(x1, lineY, x2, lineY, lineColor);
            return true;
        } catch (const std::exception& e) {
            Report("moveto/lineto", e);
            return false;
        }
    };
    if (oldPeak != LevelTracker::kNoPeakErase) {
        const int oldY = LevelToY(oldPeak, plotBottom);
        if (oldY < plotBottom) {
            line(oldY, color_);
        }
    }
    if (y < plotBottom && line(y, color) && tracked && y >= topMargin_) {
        known.PeakRow = y - topMargin_;
        known.PeakColor = color;
    }
}

std::optional<TPointerReading> SpectrumRenderer::ReadingAt(int x, int y, int width,
                                                           int height) const {
    const int plotTop = topMargin_;
    const int plotBottom = PlotBottom(height);
    const int barsLeft = layout_.LeftMargin + layout_.BarOffset;
    const int barsRight = width - layout_.RightMargin - layout_.BarOffset;
    if (!(plotTop < y && y < plotBottom && barsLeft < x && x < barsRight)) {
        return std::nullopt;
    }
    TPointerReading reading;
    // The gap column right of a bar belongs to that bar.
    reading.Band =
        std::clamp((x - barsLeft) / std::max(layout_.BarWidth + 1, 1), 0, kBandCount - 1);
    reading.Centre = std::floor(2.0 * bands_.BandCentres[reading.Band] + 0.5) / 2.0;
    const float db =
        static_cast<float>((y - plotTop) * static_cast<double>(kScaleDb) / (plotBottom - plotTop));
    reading.Level = Number(static_cast<int64_t>(std::floor(-db))) + " db";
    return reading;
}

void SpectrumRenderer::SetReadout(std::string freqText, std::string levelText) {
    freqText_ = std::move(freqText);
    levelText_ = std::move(levelText);
}

void SpectrumRenderer::DrawReadout(SpectrumCanvas& canvas) {
    constexpr TSpectrumFont font = TSpectrumFont::Notation;
    const int width = canvas.Width();
    const int areaBottom = 8 + canvas.FontPixelSize(font);
    const int left = layout_.LeftMargin;
    const int right = width - layout_.RightMargin;
    // Spaces around the texts are drawn opaquely, so a shorter text covers a longer one.
    if (freqText_ != shownFreqText_) {
        shownFreqText_ = freqText_;
        if (canvas.CanDraw()) {
            if (freqText_.empty()) {
                cellColor_ = color_;
                canvas.FillRect({right - freqTextWidth_, kTextTop, right, areaBottom}, color_);
            } else {
                const std::string text = std::string(6, ' ') + freqText_;
                canvas.TextOut(right - canvas.TextWidth(text, font), kTextTop, text, font,
                               notationFontColor_, cellColor_);
            }
        }
    }
    if (levelText_ != shownLevelText_) {
        shownLevelText_ = levelText_;
        if (canvas.CanDraw()) {
            if (levelText_.empty()) {
                cellColor_ = color_;
                canvas.FillRect({left, kTextTop, left + levelTextWidth_, areaBottom}, color_);
            } else {
                canvas.TextOut(left, kTextTop, levelText_ + std::string(5, ' '), font,
                               notationFontColor_, cellColor_);
            }
        }
    }
}

}  // namespace spectrino
