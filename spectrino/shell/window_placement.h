// Where the main window goes: the outer rectangle (frame included) that the settings hold,
// fitted to the screens, and the frame arithmetic between that and the client area.
#pragma once

#include <QList>
#include <QMargins>
#include <QRect>
#include <QSize>

#include <cstdint>

class QWidget;

namespace spectrino {

// An outer rectangle as stored: any 32-bit numbers, with room to add the frame to them.
struct TWindowPlace {
    int64_t Left = 0;
    int64_t Top = 0;
    int64_t Width = 0;
    int64_t Height = 0;
};

// The place within the screen area the rectangle mostly lies on, or the nearest area when it
// lies on none: no larger than that area and entirely inside it, but not smaller than the
// window can be. A place that already lies inside an area is kept. Without any area only the
// size is bounded.
QRect FitToScreens(const TWindowPlace& place, const QList<QRect>& areas,
                   const QSize& minimum = QSize());

// The available areas of all screens (without task bars and docks).
QList<QRect> AvailableScreenAreas();

// The frame the window system puts around a top-level window; empty until it is known.
QMargins FrameMargins(const QWidget& window);

// The outer rectangle of the window's normal (restored) state, also while it is minimised or
// maximised.
QRect NormalOuterRect(const QWidget& window);

}  // namespace spectrino
