// Where the main window goes: the outer rectangle (frame included) that the settings hold,
// fitted to the screens.
#pragma once

#include <cstdint>
#include <vector>

namespace spectrino {

// An outer rectangle as stored: any 32-bit numbers, with room to add the frame to them.
struct TWindowPlace {
    int64_t Left = 0;
    int64_t Top = 0;
    int64_t Width = 0;
    int64_t Height = 0;
};

// A rectangle on the desktop.
struct TBox {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;

    bool operator==(const TBox&) const = default;
};

// What the window system puts around the client area; all zero until it is known.
struct TFrame {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    bool IsNull() const { return Left == 0 && Top == 0 && Right == 0 && Bottom == 0; }
};

// The place within the screen area the rectangle mostly lies on, or the nearest area when it
// lies on none: no larger than that area and entirely inside it, but not smaller than the
// window can be (minimumWidth x minimumHeight). A place that already lies inside an area is
// kept. Without any area only the size is bounded.
TBox FitToScreens(const TWindowPlace& place, const std::vector<TBox>& areas, int minimumWidth = 0,
                  int minimumHeight = 0);

}  // namespace spectrino
