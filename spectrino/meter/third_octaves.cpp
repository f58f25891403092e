#include "meter/third_octaves.h"

#include <algorithm>

namespace spectrino {

BandRange ThirdOctaveBands(float rate, int index) {
    // The same test that selects the higher band table.
    const int shift = rate >= 48000.0f ? 1 : 0;
    return {std::max(0, 4 * index - shift), 4 * index + 3 - shift};
}

}  // namespace spectrino
