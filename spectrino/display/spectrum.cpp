#include "display/spectrum.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QLocale>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "filterbank/latency_probe.h"
#include "platform/debug_output.h"

namespace spectrino {

namespace {

// Fonts named after faces this system lacks fall back to the default sans face.
QFont WithSansFallback(QFont font) {
    if (!QFontDatabase::hasFamily(font.family())) {
        QFont sans(QStringLiteral("sans-serif"));
        sans.setStyleHint(QFont::SansSerif);
        font.setFamilies({QFontInfo(sans).family()});
    }
    return font;
}

// One drawing session on the control's canvas; the outermost session shows what it changed.
class CanvasSession {
public:
    CanvasSession(ImageCanvas& canvas, QWidget& widget) : canvas_(canvas), widget_(widget) {
        canvas_.Begin();
    }
    ~CanvasSession() {
        canvas_.End();
        if (!canvas_.InSession()) {
            const QRect dirty = canvas_.TakeDirty();
            if (!dirty.isEmpty()) {
                widget_.repaint(dirty);
            }
        }
    }
    CanvasSession(const CanvasSession&) = delete;
    CanvasSession& operator=(const CanvasSession&) = delete;

private:
    ImageCanvas& canvas_;
    QWidget& widget_;
};

}  // namespace

TSpectrum::TSpectrum(QWidget* parent)
    : QWidget(parent),
      canvas_(std::make_unique<ImageCanvas>(image_, notationFont_, seperatorFont_)) {
    notationFont_ = font();
    notationFont_.setPointSize(8);
    seperatorFont_ = font();
    seperatorFont_.setPointSize(7);
    Renderer().OnDebugOutput = [](const std::string& line) { platform::DebugOutput(line); };
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(450, 240);
    setMinimumSize(456, 240);
    image_ = MakeImage(size());
    if (!image_.isNull()) {
        image_.fill(ColorToQColor(Color()));
    }
    refreshTimer_.setInterval(kRefreshInterval);
    connect(&refreshTimer_, &QTimer::timeout, this, &TSpectrum::TimerTick);
    refreshTimer_.start();
}

TSpectrum::~TSpectrum() {
    refreshTimer_.stop();
}

void TSpectrum::SetNotationFont(const QFont& font) {
    notationFont_ = WithSansFallback(font);
    Invalidate();
}

void TSpectrum::SetSeperatorFont(const QFont& font) {
    seperatorFont_ = WithSansFallback(font);
    Invalidate();
}

void TSpectrum::SetEnabled(bool value) {
    setEnabled(value);
    if (!value) {
        refreshTimer_.stop();
        CanvasSession session(*canvas_, *this);
        Renderer().Clear(*canvas_);
    } else if (!refreshTimer_.isActive()) {
        refreshTimer_.start();
    }
}

void TSpectrum::ResetLevels() {
    Renderer().Tracker().ResetLevels();
}

void TSpectrum::RefreshLevels(bool force) {
    CanvasSession session(*canvas_, *this);
    Renderer().Refresh(*canvas_, Handler(), force);
}

void TSpectrum::UpdateLevels(TSpectArray& values, bool force) {
    CanvasSession session(*canvas_, *this);
    Renderer().UpdateLevels(*canvas_, values, force);
}

void TSpectrum::TimerTick() {
    {
        CanvasSession session(*canvas_, *this);
        Renderer().Tick(*canvas_, Handler());
    }
    const TSpectArray& levels = Renderer().Tracker().Levels();
    latency_probe::LevelsDrawn(levels.data(), static_cast<int>(levels.size()));
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
    Renderer().Paint(*canvas_, Handler());
}

void TSpectrum::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    if (!image_.rect().contains(area)) {
        painter.fillRect(area, ColorToQColor(Color()));
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
            image_.fill(ColorToQColor(Color()));
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
    const auto reading = Renderer().ReadingAt(pos.x(), pos.y(), image_.width(), image_.height());
    if (!reading) {
        Renderer().SetReadout({}, {});
        return;
    }
    // The frequency follows the user's locale: "14.5 Hz", "14,5 Hz".
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    const QString freq = locale.toString(reading->Centre, 'g', 15) + QStringLiteral(" Hz");
    Renderer().SetReadout(freq.toStdString(), reading->Level);
}

void TSpectrum::mouseDoubleClickEvent(QMouseEvent* event) {
    QWidget::mouseDoubleClickEvent(event);
    // A double-click is the left button's; the others have no meaning here.
    if (OnDblClick && event->button() == Qt::LeftButton) {
        const auto handler = OnDblClick;
        handler();
    }
}

}  // namespace spectrino
