// The bar colours and zone thresholds as the colour dialog edits them and the settings keep them.
#pragma once

#include "core/colour.h"

namespace spectrino {

struct TColourSettings {
    TColor HighColor = 0x0000FF;
    TColor MidColor = 0x00FFFF;
    TColor LowColor = 0xC0C000;
    int HighTresh = -10;  // dB
    int MidTresh = -20;   // dB

    bool operator==(const TColourSettings&) const = default;
};

}  // namespace spectrino
