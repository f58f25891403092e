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
#include "platform/com.h"
#include "sample_codec.h"
#include "settings.h"

namespace spectrino::testsignal {

// Driver objects and factory locks alive in this file; it may be unloaded at zero.
std::atomic<int>& ServerReferences();

class TestSignalDriver final : public IASIO {
public:
    TestSignalDriver(const platform::CLSID& clsid, std::string settingsKey);
    TestSignalDriver(const TestSignalDriver&) = delete;
    TestSignalDriver& operator=(const TestSignalDriver&) = delete;

    platform::HRESULT SPECTRINO_COMCALL QueryInterface(const platform::IID& iid,
                                                       void** object) override;
    uint32_t SPECTRINO_COMCALL AddRef() override;
    uint32_t SPECTRINO_COMCALL Release() override;

    ASIOBool init(void* sysHandle) override;
    void getDriverName(char* name) override;
    int32_t getDriverVersion() override;
    void getErrorMessage(char* text) override;
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) override;
    ASIOError getLatencies(int32_t* inputLatency, int32_t* outputLatency) override;
    ASIOError getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                            int32_t* granularity) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getClockSources(ASIOClockSource* clocks, int32_t* numSources) override;
    ASIOError setClockSource(int32_t reference) override;
    ASIOError getSamplePosition(ASIOSamples* samplePosition, ASIOTimeStamp* timeStamp) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;
    // Reads the settings again. What the open buffers cannot follow (buffer sizes, channels,
    // sample type, rates) makes the driver ask the host for a reset; changed latencies are
    // announced. Sent from the streaming thread while running, else from the calling thread.
    ASIOError controlPanel() override;
    ASIOError future(int32_t selector, void* opt) override;
    ASIOError outputReady() override;

private:
    ~TestSignalDriver();

    struct Buffer {
        bool isInput = false;
        int32_t channel = 0;
        std::unique_ptr<std::byte[]> halves[2];
    };
    struct Generator {
        double phase = 0.0;
        uint32_t noise = 0;
    };

    void Stream();
    void FillInput(const Buffer& buffer, int half);
    void Measure(const Buffer& buffer, int half);
    void SendPendingMessages();
    void Join();
    const Buffer* Find(bool isInput, int32_t channel) const;
    static int64_t NowNanoseconds();

    std::atomic<uint32_t> references_{1};
    platform::CLSID clsid_;
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
    std::unique_ptr<std::atomic<int32_t>[]> inputGains_;
    std::unique_ptr<std::atomic<int32_t>[]> outputGains_;
    std::unique_ptr<std::atomic<int32_t>[]> inputMeters_;
    std::unique_ptr<std::atomic<int32_t>[]> outputMeters_;

    std::atomic<double> sampleRate_{44100.0};
    std::atomic<int64_t> samplePosition_{0};
    std::atomic<int64_t> systemTime_{0};
    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<int32_t> inputLatency_{0};
    std::atomic<int32_t> outputLatency_{0};
    std::atomic<bool> resetWanted_{false};
    std::atomic<bool> latencyWanted_{false};
    std::atomic<bool> bufferSizeWanted_{false};
    std::thread thread_;
};

}  // namespace spectrino::testsignal
