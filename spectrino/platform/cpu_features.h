// What the processor reports about its vector instruction sets.
#pragma once

#include <cstdint>

namespace spectrino::platform {

struct CpuFeatures {
    bool sse = false;                       // leaf 1, EDX bit 25
    std::uint32_t highestExtendedLeaf = 0;  // leaf 0x80000000, EAX; 0 without identification
    bool amd3DNow = false;                  // leaf 0x80000001, EDX bit 31, when that leaf exists
};

// Asks the processor; all false on processors without x86 identification.
CpuFeatures ProbeCpuFeatures();

}  // namespace spectrino::platform
