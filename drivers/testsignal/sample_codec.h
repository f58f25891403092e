// The driver's own encoding of full-scale +-1.0 values into the sample layouts it can be set
// to: integers scaled by 2^(bits-1) - 1, rounded and limited; floats as they are; big-endian
// types with their bytes reversed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace spectrino::testsignal {

struct SampleFormat {
    int32_t type = 0;
    int bytes = 0;  // per sample in the buffer
    int bits = 0;   // significant bits of an integer sample; 0 for floats
    bool isFloat = false;
    bool bigEndian = false;
};

// The layout of one of the eighteen types; nullptr-like (bytes 0) for anything else.
SampleFormat FormatOf(int32_t type);

void EncodeSample(const SampleFormat& format, double value, std::byte* out);
double DecodeSample(const SampleFormat& format, const std::byte* in);

// The same for whole blocks, `count` samples after each other.
void EncodeSamples(const SampleFormat& format, const double* values, std::size_t count,
                   std::byte* out);
void DecodeSamples(const SampleFormat& format, const std::byte* in, std::size_t count,
                   double* values);
// The largest magnitude in a block, as DecodeSample reads its samples.
double PeakOfSamples(const SampleFormat& format, const std::byte* in, std::size_t count);

}  // namespace spectrino::testsignal
