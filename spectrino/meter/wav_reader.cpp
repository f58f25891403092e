#include "meter/wav_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace spectrino {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// Bytes 2 .. 15 of the sub-format GUIDs of PCM and float in an extensible header; the first two
// bytes carry the plain format tag.
constexpr std::array<unsigned char, 14> kSubFormatTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr size_t kChunkBytes = 64 * 1024;

uint16_t Le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

float Int16Sample(const unsigned char* p) {
    return static_cast<float>(static_cast<int16_t>(Le16(p))) * (1.0f / 32768.0f);
}

float Int24Sample(const unsigned char* p) {
    // Shift the 24 bits to the top of a 32-bit word so the sign comes along.
    const auto word = static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 8) |
                                           (static_cast<uint32_t>(p[1]) << 16) |
                                           (static_cast<uint32_t>(p[2]) << 24));
    return static_cast<float>(word / 256) * (1.0f / 8388608.0f);
}

float Int32Sample(const unsigned char* p) {
    return static_cast<float>(static_cast<double>(static_cast<int32_t>(Le32(p))) *
                              (1.0 / 2147483648.0));
}

float Float32Sample(const unsigned char* p) {
    const uint32_t bits = Le32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

WavReader::WavReader(std::istream& in, uint64_t size) : in_(in) {
    ParseHeader(size);
}

void WavReader::ParseHeader(uint64_t size) {
    uint64_t offset = 0;
    auto read = [&](unsigned char* out, size_t n, const char* what) {
        if (size - offset < n ||
            !in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n))) {
            throw WavError(std::string("truncated file: ") + what + " is cut short");
        }
        offset += n;
    };
    auto skip = [&](uint64_t n, const char* what) {
        if (size - offset < n) {
            throw WavError(std::string("truncated file: ") + what + " is cut short");
        }
        in_.seekg(static_cast<std::streamoff>(n), std::ios::cur);
        if (!in_) {
            throw WavError(std::string("cannot read ") + what);
        }
        offset += n;
    };

    std::array<unsigned char, 12> riff{};
    if (size < riff.size()) {
        throw WavError("not a WAV file: too short for a RIFF/WAVE header");
    }
    read(riff.data(), riff.size(), "the RIFF header");
    if (std::memcmp(riff.data(), "RIFF", 4) != 0 || std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
        throw WavError("not a WAV file: no RIFF/WAVE header");
    }

    bool haveFormat = false;
    for (;;) {
        if (offset == size) {
            throw WavError(haveFormat ? "malformed WAV file: no data chunk"
                                      : "malformed WAV file: no fmt chunk");
        }
        std::array<unsigned char, 8> chunk{};
        read(chunk.data(), chunk.size(), "a chunk header");
        const uint32_t chunkSize = Le32(chunk.data() + 4);
        if (std::memcmp(chunk.data(), "fmt ", 4) == 0) {
            if (haveFormat) {
                throw WavError("malformed WAV file: more than one fmt chunk");
            }
            if (chunkSize < 16) {
                throw WavError("malformed WAV file: fmt chunk too small");
            }
            std::array<unsigned char, 40> fmt{};
            const size_t kept = std::min<size_t>(chunkSize, fmt.size());
            read(fmt.data(), kept, "the fmt chunk");
            skip(chunkSize - kept + (chunkSize & 1u), "the fmt chunk");
            uint16_t tag = Le16(fmt.data());
            const uint16_t channels = Le16(fmt.data() + 2);
            const uint32_t rate = Le32(fmt.data() + 4);
            const uint32_t byteRate = Le32(fmt.data() + 8);
            const uint16_t blockAlign = Le16(fmt.data() + 12);
            const uint16_t bits = Le16(fmt.data() + 14);
            if (tag == kFormatExtensible) {
                if (chunkSize < 40 || std::memcmp(fmt.data() + 26, kSubFormatTail.data(),
                                                  kSubFormatTail.size()) != 0) {
                    throw WavError("unsupported WAV format: unknown extensible sub-format");
                }
                tag = Le16(fmt.data() + 24);
            }
            if (tag == kFormatPcm && bits == 16) {
                format_.type = WavSampleType::Int16;
            } else if (tag == kFormatPcm && bits == 24) {
                format_.type = WavSampleType::Int24;
            } else if (tag == kFormatPcm && bits == 32) {
                format_.type = WavSampleType::Int32;
            } else if (tag == kFormatFloat && bits == 32) {
                format_.type = WavSampleType::Float32;
            } else {
                throw WavError("unsupported WAV format: format tag " + std::to_string(tag) +
                               " with " + std::to_string(bits) +
                               " bits (PCM 16, 24 or 32 bit or 32-bit float only)");
            }
            if (channels != 1 && channels != 2) {
                throw WavError("unsupported WAV format: " + std::to_string(channels) +
                               " channels (mono or stereo only)");
            }
            if (rate != 44100 && rate != 48000) {
                throw WavError("unsupported sample rate: " + std::to_string(rate) +
                               " Hz (44100 or 48000 Hz only)");
            }
            if (blockAlign != channels * (bits / 8) ||
                static_cast<uint64_t>(byteRate) != static_cast<uint64_t>(rate) * blockAlign) {
                throw WavError(
                    "malformed WAV file: frame size or byte rate disagree with the format");
            }
            format_.channels = channels;
            format_.sampleRate = rate;
            format_.blockAlign = blockAlign;
            haveFormat = true;
        } else if (std::memcmp(chunk.data(), "data", 4) == 0) {
            if (!haveFormat) {
                throw WavError("malformed WAV file: data chunk before the fmt chunk");
            }
            if (chunkSize > size - offset) {
                throw WavError("truncated file: the data chunk holds " + std::to_string(chunkSize) +
                               " bytes but only " + std::to_string(size - offset) + " follow");
            }
            if (chunkSize % format_.blockAlign != 0) {
                throw WavError("malformed WAV file: the data chunk ends inside a frame");
            }
            format_.frameCount = chunkSize / format_.blockAlign;
            framesLeft_ = format_.frameCount;
            if (format_.type == WavSampleType::Float32) {
                CheckFloatSamples();
            }
            return;
        } else {
            skip(static_cast<uint64_t>(chunkSize) + (chunkSize & 1u), "a chunk");
        }
    }
}

// NaN and infinity measure as nothing at all; such a file is refused before any row is written.
void WavReader::CheckFloatSamples() {
    const std::streampos start = in_.tellg();
    const size_t perChunk = kChunkBytes / format_.blockAlign;
    uint64_t frame = 0;
    while (frame < format_.frameCount) {
        const auto frames =
            static_cast<size_t>(std::min<uint64_t>(perChunk, format_.frameCount - frame));
        const size_t bytes = frames * format_.blockAlign;
        raw_.resize(std::max(raw_.size(), bytes));
        if (!in_.read(reinterpret_cast<char*>(raw_.data()), static_cast<std::streamsize>(bytes))) {
            throw WavError("read error: the file ended before its data chunk did");
        }
        for (size_t i = 0; i < frames * format_.channels; ++i) {
            const float value = Float32Sample(raw_.data() + 4 * i);
            if (!std::isfinite(value)) {
                const uint64_t bad = frame + i / format_.channels;
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%.3f",
                              static_cast<double>(bad) / format_.sampleRate);
                throw WavError("invalid sample: frame " + std::to_string(bad) + " (at " + seconds +
                               " s) holds " + (std::isnan(value) ? "NaN" : "an infinite value") +
                               "; float samples must be finite numbers");
            }
        }
        frame += frames;
    }
    in_.seekg(start);
    if (!in_) {
        throw WavError("cannot read the data chunk again");
    }
}

size_t WavReader::ReadFrames(float* left, float* right, size_t maxFrames) {
    const size_t perChunk = kChunkBytes / format_.blockAlign;
    size_t done = 0;
    while (done < maxFrames && framesLeft_ > 0) {
        const size_t frames =
            static_cast<size_t>(std::min<uint64_t>({maxFrames - done, perChunk, framesLeft_}));
        const size_t bytes = frames * format_.blockAlign;
        raw_.resize(std::max(raw_.size(), bytes));
        if (!in_.read(reinterpret_cast<char*>(raw_.data()), static_cast<std::streamsize>(bytes))) {
            framesLeft_ = 0;
            throw WavError("read error: the file ended before its data chunk did");
        }
        float (*sample)(const unsigned char*) = Int16Sample;
        switch (format_.type) {
            case WavSampleType::Int16:
                break;
            case WavSampleType::Int24:
                sample = Int24Sample;
                break;
            case WavSampleType::Int32:
                sample = Int32Sample;
                break;
            case WavSampleType::Float32:
                sample = Float32Sample;
                break;
        }
        const size_t width = format_.blockAlign / format_.channels;
        const unsigned char* p = raw_.data();
        float* l = left + done;
        float* r = right + done;
        if (format_.channels == 2) {
            for (size_t i = 0; i < frames; ++i, p += 2 * width) {
                l[i] = sample(p);
                r[i] = sample(p + width);
            }
        } else {
            for (size_t i = 0; i < frames; ++i, p += width) {
                l[i] = r[i] = sample(p);
            }
        }
        done += frames;
        framesLeft_ -= frames;
    }
    return done;
}

WavFile::WavFile(const std::string& path) {
    std::error_code error;
    if (std::filesystem::exists(path, error) && !std::filesystem::is_regular_file(path, error)) {
        throw WavError("cannot read " + path + ": not a regular file");
    }
    auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!file->is_open()) {
        throw WavError("cannot open " + path + ": " + std::generic_category().message(errno));
    }
    file->seekg(0, std::ios::end);
    const std::streamoff end = file->tellg();
    file->seekg(0, std::ios::beg);
    if (end < 0 || !*file) {
        throw WavError("cannot read " + path + " (not a regular file?)");
    }
    reader_ = std::make_unique<WavReader>(*file, static_cast<uint64_t>(end));
    stream_ = std::move(file);
}

WavFile::~WavFile() = default;

}  // namespace spectrino
