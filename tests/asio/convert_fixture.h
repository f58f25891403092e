// Shared helpers for the converter tests: the type catalogue and routine-set switching.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "asio/DASIOConvert.h"
#include "platform/cpu_features.h"

namespace spectrino::test {

struct TypeInfo {
    TASIOSampleType type;
    TASIOSampleType twin;  // the LSB twin of an MSB type, itself for LSB types
    int bits;              // 0 for floating-point types
    bool reversesIn32;     // input to 32-bit float reverses the driver buffer in place
    bool reversesIn64;
    bool dithered;
};

inline const std::vector<TypeInfo>& AllTypes() {
    static const std::vector<TypeInfo> types = {
        {ASIOSTInt16LSB, ASIOSTInt16LSB, 16, false, false, true},
        {ASIOSTInt24LSB, ASIOSTInt24LSB, 24, false, false, true},
        {ASIOSTInt32LSB, ASIOSTInt32LSB, 32, false, false, false},
        {ASIOSTFloat32LSB, ASIOSTFloat32LSB, 0, false, false, false},
        {ASIOSTFloat64LSB, ASIOSTFloat64LSB, 0, false, false, false},
        {ASIOSTInt32LSB16, ASIOSTInt32LSB16, 16, false, false, true},
        {ASIOSTInt32LSB18, ASIOSTInt32LSB18, 18, false, false, true},
        {ASIOSTInt32LSB20, ASIOSTInt32LSB20, 20, false, false, true},
        {ASIOSTInt32LSB24, ASIOSTInt32LSB24, 24, false, false, true},
        {ASIOSTInt16MSB, ASIOSTInt16LSB, 16, true, true, false},
        {ASIOSTInt24MSB, ASIOSTInt24LSB, 24, false, false, false},
        {ASIOSTInt32MSB, ASIOSTInt32LSB, 32, true, true, false},
        {ASIOSTFloat32MSB, ASIOSTFloat32LSB, 0, false, false, false},
        {ASIOSTFloat64MSB, ASIOSTFloat64LSB, 0, true, false, false},
        {ASIOSTInt32MSB16, ASIOSTInt32LSB16, 16, true, true, false},
        {ASIOSTInt32MSB18, ASIOSTInt32LSB18, 18, true, true, false},
        {ASIOSTInt32MSB20, ASIOSTInt32LSB20, 20, true, true, false},
        {ASIOSTInt32MSB24, ASIOSTInt32LSB24, 24, true, true, false},
    };
    return types;
}

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReverseEach(Bytes bytes, int size) {
    for (std::size_t i = 0; i + size <= bytes.size(); i += size) {
        std::reverse(bytes.begin() + i, bytes.begin() + i + size);
    }
    return bytes;
}

// Leaves the tables as program start left them, whatever a test installed.
class ConverterTest : public ::testing::Test {
protected:
    void TearDown() override { SetupConverters(platform::ProbeCpuFeatures()); }
};

}  // namespace spectrino::test
