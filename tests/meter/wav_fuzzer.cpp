// libFuzzer entry: any byte string must either read whole or fail with WavError.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "meter/wav_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    try {
        spectrino::WavReader reader(in, size);
        std::vector<float> left(1024);
        std::vector<float> right(1024);
        uint64_t frames = 0;
        while (const size_t n = reader.ReadFrames(left.data(), right.data(), left.size())) {
            frames += n;
        }
        if (frames != reader.Format().frameCount) {
            __builtin_trap();
        }
    } catch (const spectrino::WavError&) {
    }
    return 0;
}
