// A filter-bank library that lacks most exports: the client must not call through them.
#include "tonebank.h"

#include <cstdlib>

extern "C" {
TONEBANK_API goertzel_bank* goertzel_create(uint32_t) {
    return static_cast<goertzel_bank*>(std::malloc(16));
}
TONEBANK_API void goertzel_destroy(goertzel_bank* bank) {
    std::free(bank);
}
}
