// Writes WAV files in memory for the meter's tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace spectrino::test {

struct WavLayout {
    uint16_t tag = 1;  // 1 PCM, 3 float
    uint16_t channels = 2;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    bool extensible = false;
};

inline void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

inline void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// The fmt chunk of a layout, header included.
inline std::string FmtChunk(const WavLayout& layout) {
    const uint32_t blockAlign = layout.channels * (layout.bits / 8u);
    std::string fmt;
    Put16(fmt, layout.extensible ? 0xFFFE : layout.tag);
    Put16(fmt, layout.channels);
    Put32(fmt, layout.rate);
    Put32(fmt, layout.rate * blockAlign);
    Put16(fmt, blockAlign);
    Put16(fmt, layout.bits);
    if (layout.extensible) {
        Put16(fmt, 22);
        Put16(fmt, layout.bits);
        Put32(fmt, layout.channels == 2 ? 3 : 4);
        Put16(fmt, layout.tag);
        fmt += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    std::string chunk = "fmt ";
    Put32(chunk, static_cast<uint32_t>(fmt.size()));
    return chunk + fmt;
}

// Samples in -1 .. +1, interleaved, encoded in the layout's format (integers rounded and
// clipped to their range).
inline std::string EncodeSamples(const WavLayout& layout, const std::vector<double>& samples) {
    std::string data;
    for (const double s : samples) {
        if (layout.tag == 3) {
            const float f = static_cast<float>(s);
            uint32_t bits;
            std::memcpy(&bits, &f, sizeof bits);
            Put32(data, bits);
            continue;
        }
        const double scale = std::ldexp(1.0, layout.bits - 1);
        const double v = std::clamp(std::round(s * scale), -scale, scale - 1);
        const auto word = static_cast<uint32_t>(static_cast<int64_t>(v));
        for (int byte = 0; byte < layout.bits / 8; ++byte) {
            data += static_cast<char>((word >> (8 * byte)) & 0xFF);
        }
    }
    return data;
}

inline std::string DataChunk(const std::string& payload) {
    std::string chunk = "data";
    Put32(chunk, static_cast<uint32_t>(payload.size()));
    return chunk + payload;
}

inline std::string Riff(const std::string& chunks) {
    std::string file = "RIFF";
    Put32(file, static_cast<uint32_t>(chunks.size() + 4));
    return file + "WAVE" + chunks;
}

inline std::string MakeWav(const WavLayout& layout, const std::vector<double>& samples) {
    return Riff(FmtChunk(layout) + DataChunk(EncodeSamples(layout, samples)));
}

}  // namespace spectrino::test
