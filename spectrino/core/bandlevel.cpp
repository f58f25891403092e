#include "bandlevel.h"

#include <cmath>

namespace spectrino {

int32_t BandLevel(double result) {
    const float r = static_cast<float>(result);
    const long double a = static_cast<long double>(r) / 0.04L;
    if (!(a > 1e-9L)) {
        return kFloorLevel;
    }
    const float y = static_cast<float>(1000.0L * std::log10(a));
    if (!std::isfinite(y)) {
        return kFloorLevel;
    }
    // y - 0.5 to the nearest integer, ties to even: floor(y) for every y that is not whole.
    return static_cast<int32_t>(std::nearbyint(static_cast<double>(y) - 0.5));
}

}  // namespace spectrino
