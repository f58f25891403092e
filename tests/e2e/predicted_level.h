// What the analyzer should read for the test tone: a steady 16-bit sine at -20 dBFS on both
// channels, mixed left + right as the capture feeds the bank.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "core/bandtable.h"
#include "filterbank/utonebank.h"
#include "core/bandlevel.h"

namespace spectrino_test {

// The band's level in hundredths of a dB, from the same bank and band table.
inline int32_t PredictedToneLevel(int rate, int band, double frequency) {
    using namespace spectrino;
    TGoertzel bank(rate);
    const BandTable table = ComputeBands(static_cast<float>(rate));
    for (int i = 0; i < kBandCount; ++i) {
        bank.AddBin(table.BandCentres[i], table.BandWidths[i]);
    }
    std::vector<float> block(2048);
    long n = 0;
    for (int b = 0; b < 30; ++b) {
        for (float& s : block) {
            const auto v = static_cast<int16_t>(std::lround(
                0.1 * 32767.0 * std::sin(2 * std::numbers::pi * frequency * n++ / rate)));
            s = static_cast<float>(v + v) / 65536.0f;
        }
        bank.AddSamples(block.data(), 2048);
    }
    return BandLevel(bank.GetResult(band));
}

}  // namespace spectrino_test
