// An ASIO driver without hardware: every input channel carries a sine, noise, silence or what
// the host wrote to the same-numbered output one block earlier, paced in real time by a thread
// of its own that calls the host once per block.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "asio/asio_records.h"
#include "common/channel_buffers.h"
#include "common/driver_base.h"
#include "platform/com.h"
#include "sample_codec.h"
#include "settings.h"

namespace spectrino::testsignal {

class TestSignalDriver final : public drivers::DriverBase {
public:
    TestSignalDriver(const platform::CLSID& clsid, std::string settingsKey);

    ASIOBool init(void* sysHandle) override;
    int32_t getDriverVersion() override;
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) override;
    ASIOError getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                            int32_t* granularity) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;
    // Reads the settings again. What the open buffers cannot follow (buffer sizes, channels,
    // sample type, rates) makes the driver ask the host for a reset; changed latencies are
    // announced. Sent from the streaming thread while running, else from the calling thread.
    ASIOError controlPanel() override;
    ASIOError future(int32_t selector, void* opt) override;

private:
    ~TestSignalDriver() override;

    using Buffer = drivers::ChannelBuffer;
    struct Generator {
        double phase = 0.0;
        uint32_t noise = 0;
    };

    void Stream();
    void FillInput(const Buffer& buffer, int half);
    void Measure(const Buffer& buffer, int half);
    void SendPendingMessages();
    void Join();

    std::string settingsKey_;
    Settings settings_;  // changed only while stopped, or in place for latencies
    SampleFormat format_;
    bool initialised_ = false;
    int32_t startsThrown_ = 0;

    std::vector<Buffer> buffers_;
    int32_t bufferSize_ = 0;
    ASIOCallbacks* callbacks_ = nullptr;
    bool useTimeInfo_ = false;
    std::vector<Generator> generators_;
    std::vector<double> block_;  // one channel's samples before they are encoded
    std::unique_ptr<std::atomic<int32_t>[]> inputGains_;
    std::unique_ptr<std::atomic<int32_t>[]> outputGains_;
    std::unique_ptr<std::atomic<int32_t>[]> inputMeters_;
    std::unique_ptr<std::atomic<int32_t>[]> outputMeters_;

    std::atomic<bool> resetWanted_{false};
    std::atomic<bool> latencyWanted_{false};
    std::atomic<bool> bufferSizeWanted_{false};
    std::thread thread_;
};

}  // namespace spectrino::testsignal
