// Colours as the settings store them.
#pragma once

#include <cstdint>

namespace spectrino {

// 0x00BBGGRR; 0xFF000000 plus an index names a system colour.
using TColor = uint32_t;

}  // namespace spectrino
