#include "meter/weighting.h"

#include <cmath>

namespace spectrino {
namespace {

constexpr double kF1 = 20.6;
constexpr double kF2 = 107.7;
constexpr double kF3 = 737.9;
constexpr double kF4 = 12194.0;

// The weighting's transfer magnitude in dB before normalisation.
double RawDb(FrequencyWeighting weighting, double hz) {
    const double f2 = hz * hz;
    const double outer = kF4 * kF4 * f2 / ((f2 + kF1 * kF1) * (f2 + kF4 * kF4));
    if (weighting == FrequencyWeighting::C) {
        return 20 * std::log10(outer);
    }
    return 20 * std::log10(outer * f2 / std::sqrt((f2 + kF2 * kF2) * (f2 + kF3 * kF3)));
}

}  // namespace

double WeightingDb(FrequencyWeighting weighting, double hz) {
    if (weighting == FrequencyWeighting::Z) {
        return 0.0;
    }
    return RawDb(weighting, hz) - RawDb(weighting, 1000.0);
}

char WeightingLetter(FrequencyWeighting weighting) {
    switch (weighting) {
        case FrequencyWeighting::A:
            return 'A';
        case FrequencyWeighting::C:
            return 'C';
        case FrequencyWeighting::Z:
            break;
    }
    return 'Z';
}

}  // namespace spectrino
