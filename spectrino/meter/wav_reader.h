// Reads the sample frames of a RIFF/WAVE stream: PCM with 16, 24 or 32 bits or 32-bit float,
// mono or stereo, at 44100 or 48000 Hz. Everything about the stream is checked when it is
// opened, float samples that are not numbers included, so a reader that opened never fails
// halfway for a reason the file could tell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace spectrino {

class WavError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class WavSampleType : uint8_t { Int16, Int24, Int32, Float32 };

struct WavFormat {
    WavSampleType type = WavSampleType::Int16;
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t blockAlign = 0;  // bytes per frame
    uint64_t frameCount = 0;
};

class WavReader {
public:
    // Reads and checks the header; raises WavError on anything it cannot read. `size` is the
    // number of bytes the stream holds from its current position.
    WavReader(std::istream& in, uint64_t size);

    const WavFormat& Format() const { return format_; }
    uint64_t FramesLeft() const { return framesLeft_; }

    // Up to `maxFrames` frames as floats in -1 .. +1 (integers scaled by their full scale),
    // one array per channel; a mono stream fills `left` and `right` alike. Returns the number
    // of frames read, 0 at the end. Raises WavError when the stream ends early.
    size_t ReadFrames(float* left, float* right, size_t maxFrames);

private:
    void ParseHeader(uint64_t size);
    // Raises WavError naming the first frame with a sample that is not a finite number; leaves
    // the stream where the data starts.
    void CheckFloatSamples();

    std::istream& in_;
    WavFormat format_;
    uint64_t framesLeft_ = 0;
    std::vector<unsigned char> raw_;
};

// A WAV file on disk with its reader.
class WavFile {
public:
    // Raises WavError when the file cannot be opened or read.
    explicit WavFile(const std::string& path);
    ~WavFile();
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;

    WavReader& Reader() { return *reader_; }

private:
    std::unique_ptr<std::istream> stream_;
    std::unique_ptr<WavReader> reader_;
};

}  // namespace spectrino
