#include "core/window_place.h"

#include <algorithm>
#include <cmath>

namespace spectrino {
namespace {

// Far beyond any screen, yet small enough that every sum of two stays an int.
constexpr int kLimit = 1 << 24;

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

TBox FitToScreens(const TWindowPlace& place, const std::vector<TBox>& areas, int minimumWidth,
                  int minimumHeight) {
    TWindowPlace fitted = place;
    TBox area{-kLimit, -kLimit, 2 * kLimit, 2 * kLimit};
    if (!areas.empty()) {
        // The area holding the largest part of the window, else the nearest one.
        const auto covered = [&](const TBox& a) {
            const int64_t w = std::max<int64_t>(place.Width, 1);
            const int64_t h = std::max<int64_t>(place.Height, 1);
            return Overlap(place.Left, w, a.Left, a.Width) * Overlap(place.Top, h, a.Top, a.Height);
        };
        const auto distance = [&](const TBox& a) {
            return std::hypot(Gap(place.Left, place.Width, a.Left, a.Width),
                              Gap(place.Top, place.Height, a.Top, a.Height));
        };
        area = *std::max_element(areas.begin(), areas.end(), [&](const TBox& a, const TBox& b) {
            const int64_t ca = covered(a);
            const int64_t cb = covered(b);
            if (ca != cb) {
                return ca < cb;
            }
            return distance(a) > distance(b);
        });
    }
    FitAxis(fitted.Left, fitted.Width, minimumWidth, area.Left, area.Width);
    FitAxis(fitted.Top, fitted.Height, minimumHeight, area.Top, area.Height);
    return TBox{static_cast<int>(fitted.Left), static_cast<int>(fitted.Top),
                static_cast<int>(fitted.Width), static_cast<int>(fitted.Height)};
}

}  // namespace spectrino
