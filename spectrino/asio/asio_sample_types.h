// Sample layouts an ASIO driver may report for a channel, with the driver interface's numbers.
#pragma once

#include <cstdint>

namespace spectrino {

// Drivers report the type as a plain 32-bit number, so any value may arrive; only these have
// converters.
enum TASIOSampleType : std::int32_t {
    ASIOSTInt16MSB = 0,
    ASIOSTInt24MSB = 1,
    ASIOSTInt32MSB = 2,
    ASIOSTFloat32MSB = 3,
    ASIOSTFloat64MSB = 4,
    ASIOSTInt32MSB16 = 8,
    ASIOSTInt32MSB18 = 9,
    ASIOSTInt32MSB20 = 10,
    ASIOSTInt32MSB24 = 11,
    ASIOSTInt16LSB = 16,
    ASIOSTInt24LSB = 17,
    ASIOSTInt32LSB = 18,
    ASIOSTFloat32LSB = 19,
    ASIOSTFloat64LSB = 20,
    ASIOSTInt32LSB16 = 24,
    ASIOSTInt32LSB18 = 25,
    ASIOSTInt32LSB20 = 26,
    ASIOSTInt32LSB24 = 27,
};

// One past the highest type number above.
inline constexpr int kASIOSampleTypeLimit = 28;

// Bytes one sample of `type` takes in a driver buffer; 0 for a type without converters.
constexpr int ASIOSampleSize(std::int32_t type) {
    switch (type) {
        case ASIOSTInt16MSB:
        case ASIOSTInt16LSB:
            return 2;
        case ASIOSTInt24MSB:
        case ASIOSTInt24LSB:
            return 3;
        case ASIOSTFloat64MSB:
        case ASIOSTFloat64LSB:
            return 8;
        case ASIOSTInt32MSB:
        case ASIOSTFloat32MSB:
        case ASIOSTInt32MSB16:
        case ASIOSTInt32MSB18:
        case ASIOSTInt32MSB20:
        case ASIOSTInt32MSB24:
        case ASIOSTInt32LSB:
        case ASIOSTFloat32LSB:
        case ASIOSTInt32LSB16:
        case ASIOSTInt32LSB18:
        case ASIOSTInt32LSB20:
        case ASIOSTInt32LSB24:
            return 4;
        default:
            return 0;
    }
}

}  // namespace spectrino
