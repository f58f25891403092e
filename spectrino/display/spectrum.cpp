#include "display/spectrum.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLocale>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "framework/exception.h"
#include "platform/debug_output.h"
#include "shell/bandlevel.h"

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

QImage MakeImage(QSize size) {
    if (size.width() <= 0 || size.height() <= 0) {
        return {};
    }
    return QImage(size, QImage::Format_RGB32);
}

// Fonts named after faces this system lacks fall back to the default sans face.
QFont WithSansFallback(QFont font) {
    if (!QFontDatabase::hasFamily(font.family())) {
        QFont sans(QStringLiteral("sans-serif"));
        sans.setStyleHint(QFont::SansSerif);
        font.setFamilies({QFontInfo(sans).family()});
    }
    return font;
}

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

}  // namespace

QColor ColorToQColor(TColor color) {
    if ((color & 0xFF000000u) == 0xFF000000u) {
        return SystemColor(color & 0x00FFFFFFu);
    }
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

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

QString FormatHz(float hz) {
    return QString::number(static_cast<int64_t>(std::floor(hz))) + QStringLiteral(" Hz");
}

QString FormatSeperatorLabel(float hz) {
    if (hz >= 1000.0f) {
        QString text = QString::number(static_cast<int64_t>(std::floor(hz / 1000.0f))) + 'k';
        const int64_t n = static_cast<int64_t>(std::floor(hz)) % 1000;
        if (n == 0) {
            return text;
        }
        if (n < 10) {
            return text + QStringLiteral("00") + QString::number(n);
        }
        if (n < 100) {
            return text + '0' + QString::number(n / 10);
        }
        return text + QString::number(n / 100);
    }
    const double whole = std::floor(hz);
    QString text = QString::number(static_cast<int64_t>(whole));
    const double fraction = hz - whole;
    if (fraction >= 0.1) {
        text += '.' + QString::number(static_cast<int64_t>(std::floor(10.0 * fraction)));
    }
    return text;
}

// Drawing state over the control's image. Pen, brush and font persist between drawing
// sessions, as on a window canvas. A line leaves out its end point and text cells are
// filled with the brush colour, which the layout relies on.
class TSpectrumCanvas {
public:
    explicit TSpectrumCanvas(QImage& target) : target_(target) {}

    TColor PenColor = 0;
    TColor BrushColor = 0;
    QFont Font;
    TColor FontColor = 0;
    bool Upward = false;  // text turned 90 degrees counter-clockwise

    void Begin() {
        if (depth_++ == 0 && !target_.isNull()) {
            painter_ = std::make_unique<QPainter>(&target_);
        }
    }
    void End() {
        if (--depth_ == 0) {
            painter_.reset();
        }
    }
    bool InSession() const { return depth_ > 0; }
    bool Active() const { return painter_ && painter_->isActive(); }

    // Fills left .. right - 1, top .. bottom - 1 with the brush.
    void FillRect(int left, int top, int right, int bottom) {
        QPainter& painter = Painter();
        if (right <= left || bottom <= top) {
            return;
        }
        const QRect rect(QPoint(left, top), QPoint(right - 1, bottom - 1));
        painter.fillRect(rect, ColorToQColor(BrushColor));
        Touch(rect);
    }

    void Line(int x1, int y1, int x2, int y2) {
        QPainter& painter = Painter();
        QRect rect;
        if (y1 == y2 && x1 != x2) {
            rect = x2 > x1 ? QRect(x1, y1, x2 - x1, 1) : QRect(x2 + 1, y1, x1 - x2, 1);
        } else if (x1 == x2 && y1 != y2) {
            rect = y2 > y1 ? QRect(x1, y1, 1, y2 - y1) : QRect(x1, y2 + 1, 1, y1 - y2);
        } else {
            return;
        }
        painter.fillRect(rect, ColorToQColor(PenColor));
        Touch(rect);
    }

    void TextOut(int x, int y, const QString& text) {
        QPainter& painter = Painter();
        const QFontMetrics metrics = Metrics();
        const QRect cell(0, 0, metrics.horizontalAdvance(text), metrics.height());
        painter.save();
        painter.translate(x, y);
        if (Upward) {
            painter.rotate(-90);
        }
        painter.fillRect(cell, ColorToQColor(BrushColor));
        painter.setFont(Font);
        painter.setPen(ColorToQColor(FontColor));
        painter.drawText(0, metrics.ascent(), text);
        Touch(painter.transform().mapRect(cell));
        painter.restore();
    }

    void CopyRect(QPoint destination, const QImage& source, const QRect& sourceRect) {
        QPainter& painter = Painter();
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(destination, source, sourceRect);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        Touch(QRect(destination, sourceRect.size()));
    }

    int TextWidth(const QString& text) const { return Metrics().horizontalAdvance(text); }
    int TextHeight(const QString&) const { return Metrics().height(); }

    QRect TakeDirty() { return std::exchange(dirty_, QRect()); }

private:
    QPainter& Painter() {
        if (!Active()) {
            throw Exception("no image to draw on");
        }
        return *painter_;
    }
    QFontMetrics Metrics() const {
        return target_.isNull() ? QFontMetrics(Font) : QFontMetrics(Font, &target_);
    }
    void Touch(const QRect& rect) { dirty_ |= rect; }

    QImage& target_;
    std::unique_ptr<QPainter> painter_;
    int depth_ = 0;
    QRect dirty_;
};

namespace {

// One drawing session on the control's canvas; the outermost session shows what it changed.
class CanvasSession {
public:
    CanvasSession(TSpectrumCanvas& canvas, QWidget& widget) : canvas_(canvas), widget_(widget) {
        canvas_.Begin();
    }
    ~CanvasSession() {
        canvas_.End();
        if (!canvas_.InSession()) {
            const QRect dirty = canvas_.TakeDirty();
            if (!dirty.isEmpty()) {
                widget_.update(dirty);
            }
        }
    }
    CanvasSession(const CanvasSession&) = delete;
    CanvasSession& operator=(const CanvasSession&) = delete;

private:
    TSpectrumCanvas& canvas_;
    QWidget& widget_;
};

}  // namespace

TSpectrum::TSpectrum(QWidget* parent)
    : QWidget(parent),
      bands_(ComputeBands(44100.0f)),
      canvas_(std::make_unique<TSpectrumCanvas>(image_)) {
    notationFont_ = font();
    notationFont_.setPointSize(8);
    seperatorFont_ = font();
    seperatorFont_.setPointSize(7);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(450, 240);
    setMinimumSize(456, 240);
    image_ = MakeImage(size());
    if (!image_.isNull()) {
        image_.fill(ColorToQColor(color_));
    }
    ResetLevels();
    refreshTimer_.setInterval(kRefreshInterval);
    connect(&refreshTimer_, &QTimer::timeout, this, &TSpectrum::TimerTick);
    refreshTimer_.start();
}

TSpectrum::~TSpectrum() {
    refreshTimer_.stop();
}

void TSpectrum::SetSamplerate(float value) {
    if (value == samplerate_) {
        return;
    }
    bands_ = ComputeBands(value);
    samplerate_ = value;
    Invalidate();
}

void TSpectrum::GetBand(int index, float& centre, float& width) const {
    if (index < 0 || index >= kBandCount) {
        throw Exception("band index out of range: " + std::to_string(index));
    }
    bands_.GetBand(index, centre, width);
}

void TSpectrum::ChangeZoneSetting(TColor& field, TColor value) {
    if (field == value) {
        return;
    }
    field = value;
    zonesDirty_ = true;
    Invalidate();
}

void TSpectrum::SetColor(TColor value) {
    ChangeZoneSetting(color_, value);
}
void TSpectrum::SetHighColor(TColor value) {
    ChangeZoneSetting(highColor_, value);
}
void TSpectrum::SetMidColor(TColor value) {
    ChangeZoneSetting(midColor_, value);
}
void TSpectrum::SetLowColor(TColor value) {
    ChangeZoneSetting(lowColor_, value);
}

void TSpectrum::SetHighTreshhold(int value) {
    if (value != tracker_.HighTreshhold()) {
        tracker_.SetHighTreshhold(value);
        zonesDirty_ = true;
        Invalidate();
    }
}

void TSpectrum::SetMidTreshhold(int value) {
    if (value != tracker_.MidTreshhold()) {
        tracker_.SetMidTreshhold(value);
        zonesDirty_ = true;
        Invalidate();
    }
}

void TSpectrum::SetScaleColor(TColor value) {
    if (value != scaleColor_) {
        scaleColor_ = value;
        Invalidate();
    }
}

void TSpectrum::SetSeperatorColor(TColor value) {
    if (value != seperatorColor_) {
        seperatorColor_ = value;
        Invalidate();
    }
}

void TSpectrum::SetNotationFont(const QFont& font) {
    notationFont_ = WithSansFallback(font);
    Invalidate();
}

void TSpectrum::SetNotationFontColor(TColor value) {
    if (value != notationFontColor_) {
        notationFontColor_ = value;
        Invalidate();
    }
}

void TSpectrum::SetSeperatorFont(const QFont& font) {
    seperatorFont_ = WithSansFallback(font);
    Invalidate();
}

void TSpectrum::SetSeperatorFontColor(TColor value) {
    if (value != seperatorFontColor_) {
        seperatorFontColor_ = value;
        Invalidate();
    }
}

void TSpectrum::SetEnabled(bool value) {
    setEnabled(value);
    if (!value) {
        refreshTimer_.stop();
        ResetLevels();
        TSpectArray values = tracker_.Levels();
        UpdateLevels(values, true);
    } else if (!refreshTimer_.isActive()) {
        refreshTimer_.start();
    }
}

void TSpectrum::ResetLevels() {
    tracker_.ResetLevels();
}

void TSpectrum::RefreshLevels(bool force) {
    if (!OnRefresh) {
        return;
    }
    // Entries the handler leaves alone keep their current level. A copy of the handler
    // survives the handler replacing itself.
    TSpectArray values = tracker_.Levels();
    const auto handler = OnRefresh;
    handler(*this, values);
    UpdateLevels(values, force);
}

void TSpectrum::UpdateLevels(TSpectArray& values, bool force) {
    CanvasSession session(*canvas_, *this);
    for (int i = 0; i < kBandCount; ++i) {
        const LevelTracker::BandUpdate update = tracker_.UpdateBand(i, values[i], force);
        if (update.Drawn) {
            DrawBar(i, update.Old);
        }
        DrawPeak(i, update.OldPeak);
    }
}

void TSpectrum::TimerTick() {
    DrawReadout();
    RefreshLevels(false);
}

void TSpectrum::Invalidate() {
    if (paintQueued_) {
        return;
    }
    paintQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            paintQueued_ = false;
            if (isVisible()) {
                Paint();
            }
        },
        Qt::QueuedConnection);
}

void TSpectrum::Paint() {
    if (canvas_->InSession()) {
        // Asked from inside a drawing pass (an OnRefresh handler); paint once it is over.
        Invalidate();
        return;
    }
    if (image_.size() != size()) {
        image_ = MakeImage(size());
    }
    CanvasSession session(*canvas_, *this);
    ComputeLayout();
    if (canvas_->Active()) {
        canvas_->PenColor = color_;
        canvas_->BrushColor = color_;
        canvas_->FillRect(0, 0, image_.width(), image_.height());
        DrawScale();
        DrawSeparators();
    }
    PrepareBitmaps();
    RefreshLevels(true);
}

void TSpectrum::SelectNotationFont() {
    canvas_->Font = notationFont_;
    canvas_->FontColor = notationFontColor_;
    canvas_->Upward = false;
}

void TSpectrum::ComputeLayout() {
    canvas_->Font = seperatorFont_;
    canvas_->FontColor = seperatorFontColor_;
    canvas_->Upward = false;
    int widest = 0;
    for (const float frequency : SeperatorFrequencies) {
        widest = std::max(widest, canvas_->TextWidth(FormatSeperatorLabel(frequency)));
    }
    bottomMargin_ = 8 + widest;

    SelectNotationFont();
    topMargin_ = 8 + canvas_->TextHeight(FormatHz(samplerate_));
    freqTextWidth_ = canvas_->TextWidth(QStringLiteral(" 99999.9 Hz"));
    levelTextWidth_ = canvas_->TextWidth(QStringLiteral(" -96 db"));
    layout_ = ComputeSpectrumLayout(image_.width(), canvas_->TextWidth(QStringLiteral("-90")));
}

void TSpectrum::DrawScale() {
    const int width = image_.width();
    const QString caption = FormatHz(samplerate_);
    canvas_->TextOut((width - canvas_->TextWidth(caption)) / 2, kTextTop, caption);

    const int left = LeftMargin();
    const int right = width - RightMargin();
    const auto labelBothSides = [&](int y, const QString& label) {
        const int top = y - canvas_->TextHeight(label) / 2;
        canvas_->TextOut(left - 4 - canvas_->TextWidth(label), top, label);
        canvas_->TextOut(right + 4, top, label);
    };
    canvas_->PenColor = scaleColor_;
    for (int i = 0; i <= kScaleDb; ++i) {
        const int y = PlotTop() + (i * PlotHeight()) / kScaleDb;
        if (i % 10 == 0) {
            canvas_->Line(left, y, right, y);
            labelBothSides(y, QString::number(-i));
        } else if (i % 2 == 0) {
            canvas_->Line(left, y, left + BarOffset(), y);
            canvas_->Line(right - BarOffset(), y, right, y);
        }
    }
    canvas_->Line(left, PlotBottom(), right, PlotBottom());
    labelBothSides(PlotTop() + (kScaleDb * PlotHeight()) / kScaleDb, QStringLiteral("db"));
}

void TSpectrum::DrawSeparators() {
    const QFont savedFont = canvas_->Font;
    const bool savedUpward = canvas_->Upward;

    // Same face and size as the separator font, normal or bold weight, turned to run upward;
    // the text colour stays that of the font it replaces.
    QFont upright = seperatorFont_;
    upright.setWeight(seperatorFont_.bold() ? QFont::Bold : QFont::Normal);
    canvas_->Font = upright;
    canvas_->Upward = true;
    canvas_->BrushColor = 0;

    const bool upperTable = samplerate_ >= 48000.0f;
    for (int i = 0; i < kSeparatorCount; ++i) {
        canvas_->PenColor = seperatorColor_;
        // The gap column just left of the band that starts at the separator frequency.
        const int x = upperTable ? BarLeft(4 * i) + BarWidth() : BarLeft(4 * i + 1) + BarWidth();
        canvas_->Line(x, PlotTop() + 1, x, PlotBottom() - 1);
        const QString label = FormatSeperatorLabel(SeperatorFrequencies[i]);
        const int w = canvas_->TextWidth(label);
        const int h = canvas_->TextHeight(label);
        canvas_->TextOut(x - h / 2, PlotBottom() + w + 4, label);
    }

    canvas_->Font = savedFont;
    canvas_->Upward = savedUpward;
}

void TSpectrum::PrepareBitmaps() {
    const QSize wanted(BarWidth(), PlotHeight());
    const auto prepare = [&](std::optional<QImage>& bitmap) {
        const bool sized = bitmap && bitmap->size() == wanted;
        if (!sized) {
            bitmap = MakeImage(wanted);
        }
        return sized;
    };
    const bool backgroundSized = prepare(backgroundBitmap_);
    const bool barSized = prepare(barBitmap_);
    if (backgroundSized && barSized && !zonesDirty_) {
        return;
    }
    zonesDirty_ = false;
    if (backgroundBitmap_->isNull() || barBitmap_->isNull()) {
        return;
    }
    backgroundBitmap_->fill(ColorToQColor(color_));

    QImage& bar = *barBitmap_;
    const int h = bar.height();
    const TZoneRows rows = ComputeZoneRows(h, tracker_.HighTreshhold(), tracker_.MidTreshhold());
    QPainter painter(&bar);
    // Later zones win where thresholds cross, as each band is painted over the previous.
    const auto band = [&](int top, int bottom, TColor color) {
        top = std::clamp(top, 0, h);
        bottom = std::clamp(bottom, 0, h);
        if (bottom > top) {
            painter.fillRect(QRect(0, top, bar.width(), bottom - top), ColorToQColor(color));
        }
    };
    band(0, rows.High, highColor_);
    band(rows.High, rows.Mid, midColor_);
    band(rows.Mid, h, lowColor_);
}

int TSpectrum::BarLeft(int band) const {
    return LeftMargin() + BarOffset() + (BarWidth() + 1) * band;
}

int TSpectrum::LevelToY(int32_t level) const {
    return PlotBottom() -
           static_cast<int>(PlotHeight() * (kScaleRange - DepthBelowTop(level)) / kScaleRange);
}

void TSpectrum::DrawBar(int band, int32_t old) {
    if (!backgroundBitmap_ || !barBitmap_) {
        return;
    }
    const int32_t level = tracker_.Levels()[band];
    const int h = barBitmap_->height();
    const int barHeight = static_cast<int>(static_cast<int64_t>(h) *
                                           (kScaleRange - DepthBelowTop(level)) / kScaleRange);
    const int barTop = h - barHeight;
    const int x = BarLeft(band);
    if (barTop != 0) {
        try {
            canvas_->CopyRect(QPoint(x, PlotTop()), *backgroundBitmap_,
                              QRect(0, 0, BarWidth(), barTop));
        } catch (const Exception& e) {
            platform::DebugOutput("copyrect failed: " + e.Message());
        }
    }
    // A shrinking bar keeps its remaining pixels; only a growing one copies the bar column.
    if (level > old && barHeight > 0) {
        try {
            canvas_->CopyRect(QPoint(x, PlotTop() + barTop), *barBitmap_,
                              QRect(0, barTop, BarWidth(), barHeight));
        } catch (const Exception& e) {
            platform::DebugOutput("copyrect failed: " + e.Message());
        }
    }
}

void TSpectrum::DrawPeak(int band, int32_t oldPeak) {
    const int32_t peak = tracker_.Peaks()[band];
    if (peak < tracker_.Levels()[band]) {
        return;
    }
    const int x1 = BarLeft(band);
    const int x2 = x1 + BarWidth();
    const auto line = [&](int y) {
        try {
            canvas_->Line(x1, y, x2, y);
        } catch (const Exception& e) {
            platform::DebugOutput("moveto/lineto failed: " + e.Message());
        }
    };
    if (oldPeak != kNoPeakErase) {
        const int y = LevelToY(oldPeak);
        if (y < PlotBottom()) {
            canvas_->PenColor = color_;
            line(y);
        }
    }
    switch (tracker_.PeakZones()[band]) {
        case 2:
            canvas_->PenColor = highColor_;
            break;
        case 1:
            canvas_->PenColor = midColor_;
            break;
        default:
            canvas_->PenColor = lowColor_;
            break;
    }
    const int y = LevelToY(peak);
    if (y < PlotBottom()) {
        line(y);
    }
}

int TSpectrum::FontHeightProperty(const QFont& font) const {
    if (font.pixelSize() > 0) {
        return -font.pixelSize();
    }
    const int dpi = image_.isNull() ? 96 : image_.logicalDpiY();
    return -static_cast<int>(std::lround(font.pointSizeF() * dpi / 72.0));
}

void TSpectrum::DrawReadout() {
    CanvasSession session(*canvas_, *this);
    const int width = image_.width();
    const int areaBottom = 8 - FontHeightProperty(notationFont_);
    // Spaces around the texts are drawn opaquely, so a shorter text covers a longer one.
    if (freqText_ != shownFreqText_) {
        shownFreqText_ = freqText_;
        if (canvas_->Active()) {
            if (freqText_.isEmpty()) {
                canvas_->PenColor = color_;
                canvas_->BrushColor = color_;
                canvas_->FillRect(width - freqTextWidth_ - RightMargin(), kTextTop,
                                  width - RightMargin(), areaBottom);
            } else {
                SelectNotationFont();
                const QString text = QString(6, ' ') + freqText_;
                canvas_->TextOut(width - canvas_->TextWidth(text) - RightMargin(), kTextTop, text);
            }
        }
    }
    if (levelText_ != shownLevelText_) {
        shownLevelText_ = levelText_;
        if (canvas_->Active()) {
            if (levelText_.isEmpty()) {
                canvas_->PenColor = color_;
                canvas_->BrushColor = color_;
                canvas_->FillRect(LeftMargin(), kTextTop, LeftMargin() + levelTextWidth_,
                                  areaBottom);
            } else {
                SelectNotationFont();
                canvas_->TextOut(LeftMargin(), kTextTop, levelText_ + QString(5, ' '));
            }
        }
    }
}

void TSpectrum::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    if (!image_.rect().contains(area)) {
        painter.fillRect(area, ColorToQColor(color_));
    }
    if (!image_.isNull()) {
        painter.drawImage(area.topLeft(), image_, area);
    }
}

void TSpectrum::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!canvas_->InSession()) {
        image_ = MakeImage(size());
        if (!image_.isNull()) {
            image_.fill(ColorToQColor(color_));
        }
    }
    Invalidate();
}

void TSpectrum::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Invalidate();
}

void TSpectrum::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    const QPoint pos = event->position().toPoint();
    const int x = pos.x();
    const int y = pos.y();
    const int barsLeft = LeftMargin() + BarOffset();
    const int barsRight = image_.width() - RightMargin() - BarOffset();
    if (PlotTop() < y && y < PlotBottom() && barsLeft < x && x < barsRight) {
        // The gap column right of a bar belongs to that bar.
        const int band =
            std::clamp((x - barsLeft) / std::max(BarWidth() + 1, 1), 0, kBandCount - 1);
        const double centre = std::floor(2.0 * bands_.BandCentres[band] + 0.5) / 2.0;
        QLocale locale;
        locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
        freqText_ = locale.toString(centre, 'g', 15) + QStringLiteral(" Hz");
        const float db =
            static_cast<float>((y - PlotTop()) * static_cast<double>(kScaleDb) / PlotHeight());
        levelText_ = QString::number(static_cast<int64_t>(std::floor(-db))) + QStringLiteral(" db");
    } else {
        freqText_.clear();
        levelText_.clear();
    }
}

void TSpectrum::mouseDoubleClickEvent(QMouseEvent* event) {
    QWidget::mouseDoubleClickEvent(event);
    // A double-click is the left button's; the others have no meaning here.
    if (OnDblClick && event->button() == Qt::LeftButton) {
        const auto handler = OnDblClick;
        handler(*this);
    }
}

}  // namespace spectrino
