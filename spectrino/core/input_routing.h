// How the two captured channels become the one mono signal the filter bank measures.
#pragma once

#include <cstddef>
#include <cstdint>

namespace spectrino {

// Input modes: the Input Mode menu's tags and the stored "InputMode" value.
inline constexpr int32_t kLeftPlusRight = 1;
inline constexpr int32_t kLeftOnly = 2;
inline constexpr int32_t kRightOnly = 3;
inline constexpr int32_t kLeftMinusRight = 4;

// Interleaved 16-bit stereo frames to floats in -1 .. +1: (L + R) / 65536, L / 32768,
// R / 32768 or (L - R) / 65536. Any mode other than 2 to 4 means left + right.
void MixWaveFrames(const int16_t* frames, size_t count, int32_t mode, float* out);

// Two float channels to one: (L + R) / 2, L, R or (L - R) / 2, the sum or difference rounded to
// a float before halving.
void MixChannels(const float* left, const float* right, size_t count, int32_t mode, float* out);

}  // namespace spectrino
