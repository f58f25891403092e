#include "fpu.h"

namespace spectrino::platform {

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
void SetFpuControlWord(uint16_t word) {
    __asm__ __volatile__("fldcw %0" : : "m"(word));
}

uint16_t FpuControlWord() {
    uint16_t word = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(word));
    return word;
}
#else
void SetFpuControlWord(uint16_t) {}
uint16_t FpuControlWord() {
    return 0;
}
#endif

}  // namespace spectrino::platform
