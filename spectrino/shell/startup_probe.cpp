#include "startup_probe.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

#include "platform/process.h"

namespace spectrino {

TStartupProbe::TStartupProbe(QWidget* widget, Report report)
    : QObject(widget), widget_(widget), report_(std::move(report)) {
    widget_->installEventFilter(this);
}

bool TStartupProbe::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget_ && event->type() == QEvent::Paint && !painted_) {
        painted_ = true;
        widget_->removeEventFilter(this);
        // The filter runs before the paint; a queued call runs after it has been drawn and the
        // window's backing store flushed.
        QTimer::singleShot(
            0, this, [this] { report_(platform::SecondsSinceProcessStart().value_or(-1.0)); });
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace spectrino
