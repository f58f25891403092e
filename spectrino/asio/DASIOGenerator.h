// A source of audio blocks for the ASIO host's custom pre-fill: subclasses override
// ProcessBlock; this base writes silence.
#pragma once

#include <atomic>
#include <cstdint>

#include "asio/buffer_types.h"

namespace spectrino {

class TASIOGenerator {
public:
    TASIOGenerator() = default;
    virtual ~TASIOGenerator() = default;
    TASIOGenerator(const TASIOGenerator&) = delete;
    TASIOGenerator& operator=(const TASIOGenerator&) = delete;

    // Set by the host from its own thread while the driver's thread may read them.
    double SampleRate() const { return sampleRate_.load(std::memory_order_relaxed); }
    void SetSampleRate(double value) { sampleRate_.store(value, std::memory_order_relaxed); }
    uint32_t BlockSize() const { return blockSize_.load(std::memory_order_relaxed); }
    void SetBlockSize(uint32_t value) { blockSize_.store(value, std::memory_order_relaxed); }

    // Fills one block of every channel; `output` is false for input buffers, true for output.
    // Runs on the driver's thread.
    virtual void ProcessBlock(TQorArrayOfSingleDynArray& buffers, bool output);

private:
    std::atomic<double> sampleRate_{44100.0};
    std::atomic<uint32_t> blockSize_{2048};
};

}  // namespace spectrino
