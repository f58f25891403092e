#include "bandtable.h"

namespace spectrino {

BandTable ComputeBands(float rate) {
    // The semitone ratio and its square, as double constants; products are formed in extended
    // precision and rounded to single precision once.
    constexpr long double s = 1.0594630943592953;
    constexpr long double s2 = 1.122462048309373;
    BandTable table;
    for (int i = 0; i < kSeparatorCount; ++i) {
        const long double f = SeperatorFrequencies[i];
        // Edges of the five semitone steps around f: the lower table starts two semitones
        // below f, the upper one a semitone below.
        const float edges_low[5] = {static_cast<float>(f / s2), static_cast<float>(f / s),
                                    static_cast<float>(f), static_cast<float>(f * s),
                                    static_cast<float>(f * s * s)};
        const float edges_high[5] = {static_cast<float>(f / s), static_cast<float>(f),
                                     static_cast<float>(f * s), static_cast<float>(f * s * s),
                                     static_cast<float>(f * s * s * s)};
        const float* edges = rate >= 48000.0f ? edges_high : edges_low;
        for (int j = 0; j < 4; ++j) {
            const float lo = edges[j];
            const float hi = edges[j + 1];
            table.BandCentres[4 * i + j] =
                static_cast<float>((static_cast<long double>(lo) + hi) / 2);
            table.BandWidths[4 * i + j] = static_cast<float>(static_cast<long double>(hi) - lo);
        }
    }
    return table;
}

}  // namespace spectrino
