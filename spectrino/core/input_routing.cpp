#include "core/input_routing.h"

namespace spectrino {

void MixWaveFrames(const int16_t* frames, size_t count, int32_t mode, float* out) {
    // Sums and differences of two 16-bit values are exact in a float, and the divisions are by
    // powers of two, so every mode gives the exact quotient.
    for (size_t i = 0; i < count; ++i) {
        const int32_t left = frames[2 * i];
        const int32_t right = frames[2 * i + 1];
        switch (mode) {
            case kLeftOnly:
                out[i] = static_cast<float>(left) / 32768.0f;
                break;
            case kRightOnly:
                out[i] = static_cast<float>(right) / 32768.0f;
                break;
            case kLeftMinusRight:
                out[i] = static_cast<float>(left - right) / 65536.0f;
                break;
            default:
                out[i] = static_cast<float>(left + right) / 65536.0f;
                break;
        }
    }
}

void MixChannels(const float* left, const float* right, size_t count, int32_t mode, float* out) {
    for (size_t i = 0; i < count; ++i) {
        switch (mode) {
            case kLeftOnly:
                out[i] = left[i];
                break;
            case kRightOnly:
                out[i] = right[i];
                break;
            // In double, so that samples near the largest float do not sum to infinity.
            case kLeftMinusRight:
                out[i] = static_cast<float>((static_cast<double>(left[i]) - right[i]) / 2);
                break;
            default:
                out[i] = static_cast<float>((static_cast<double>(left[i]) + right[i]) / 2);
                break;
        }
    }
}

}  // namespace spectrino
