// The floating-point control word of the x87 unit (extended precision arithmetic).
#pragma once

#include <cstdint>

namespace spectrino::platform {

// All exceptions masked, 64-bit precision, rounding to nearest.
inline constexpr uint16_t kDefaultFpuControlWord = 0x133F;

// Sets the control word where the processor has one; elsewhere does nothing.
void SetFpuControlWord(uint16_t word);
// The current control word, or 0 where the processor has none.
uint16_t FpuControlWord();

}  // namespace spectrino::platform
