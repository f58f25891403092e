#include "shell/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace spectrino {
namespace {

// Far beyond any screen, yet small enough that every sum of two stays an int.
constexpr int64_t kLimit = 1 << 24;

int64_t Overlap(int64_t start, int64_t length, int64_t areaStart, int64_t areaLength) {
    return std::max<int64_t>(
        0, std::min(start + length, areaStart + areaLength) - std::max(start, areaStart));
}

// Distance between the rectangle and the area along one axis; 0 where they overlap.
double Gap(int64_t start, int64_t length, int64_t areaStart, int64_t areaLength) {
    return static_cast<double>(
        std::max<int64_t>({0, areaStart - (start + length), start - (areaStart + areaLength)}));
}

// One axis: no longer than the area unless the window cannot be that short, moved in where
// it sticks out; what cannot fit starts at the area's start.
void FitAxis(int64_t& start, int64_t& length, int64_t minimum, int64_t areaStart,
             int64_t areaLength) {
    length = std::max(std::min(length, areaLength), std::max<int64_t>(minimum, 1));
    start = std::max(std::min(start, areaStart + areaLength - length), areaStart);
}

}  // namespace

QRect FitToScreens(const TWindowPlace& place, const QList<QRect>& areas, const QSize& minimum) {
    TWindowPlace fitted = place;
    QRect area(-kLimit, -kLimit, 2 * kLimit, 2 * kLimit);
    if (!areas.isEmpty()) {
        // The area holding the largest part of the window, else the nearest one.
        const auto covered = [&](const QRect& a) {
            const int64_t w = std::max<int64_t>(place.Width, 1);
            const int64_t h = std::max<int64_t>(place.Height, 1);
            return Overlap(place.Left, w, a.left(), a.width()) *
                   Overlap(place.Top, h, a.top(), a.height());
        };
        const auto distance = [&](const QRect& a) {
            return std::hypot(Gap(place.Left, place.Width, a.left(), a.width()),
                              Gap(place.Top, place.Height, a.top(), a.height()));
        };
        area = *std::max_element(areas.begin(), areas.end(), [&](const QRect& a, const QRect& b) {
            const int64_t ca = covered(a);
            const int64_t cb = covered(b);
            if (ca != cb) {
                return ca < cb;
            }
            return distance(a) > distance(b);
        });
    }
    FitAxis(fitted.Left, fitted.Width, minimum.width(), area.left(), area.width());
    FitAxis(fitted.Top, fitted.Height, minimum.height(), area.top(), area.height());
    return QRect(static_cast<int>(fitted.Left), static_cast<int>(fitted.Top),
                 static_cast<int>(fitted.Width), static_cast<int>(fitted.Height));
}

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
