#include "meter/meter_level.h"

#include <cmath>
#include <limits>

#include "core/bandlevel.h"

namespace spectrino {

int32_t MeterLevel(double result) {
    if (!std::isfinite(result) || result <= std::numeric_limits<float>::max()) {
        return BandLevel(result);
    }
    const long double y = 1000.0L * std::log10(static_cast<long double>(result) / 0.04L);
    // As BandLevel rounds: y - 0.5 to the nearest integer, ties to even.
    return static_cast<int32_t>(std::nearbyint(static_cast<double>(y) - 0.5));
}

}  // namespace spectrino
