// The Qt side of the window's place: screens, the frame and the restored outer rectangle.
#pragma once

#include <QList>
#include <QMargins>
#include <QRect>

class QWidget;

namespace spectrino {

// The available areas of all screens (without task bars and docks).
QList<QRect> AvailableScreenAreas();

// The frame the window system puts around a top-level window; empty until it is known.
QMargins FrameMargins(const QWidget& window);

// The outer rectangle of the window's normal (restored) state, also while it is minimised or
// maximised.
QRect NormalOuterRect(const QWidget& window);

}  // namespace spectrino
