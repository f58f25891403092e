#include "shell/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace spectrino {

QList<QRect> AvailableScreenAreas() {
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (!screen->availableGeometry().isEmpty()) {
            areas.append(screen->availableGeometry());
        }
    }
    return areas;
}

QMargins FrameMargins(const QWidget& window) {
    const QWindow* handle = window.windowHandle();
    return handle != nullptr ? handle->frameMargins() : QMargins();
}

QRect NormalOuterRect(const QWidget& window) {
    const QRect normal = window.normalGeometry();
    return (normal.isValid() ? normal : window.geometry()).marginsAdded(FrameMargins(window));
}

}  // namespace spectrino
