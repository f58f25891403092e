// A millisecond counter that wraps at 2^32, for seeds and coarse timing.
#pragma once

#include <cstdint>

namespace spectrino::platform {

// Milliseconds since an arbitrary fixed point (system start on Windows); never goes backwards
// except by wrapping.
std::uint32_t TickCount();

}  // namespace spectrino::platform
