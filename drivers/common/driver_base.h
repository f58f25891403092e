// What every driver object does the same way: reference counting, the interface lookup under
// its class id, the name and error text, the clock, the sample position and latencies it
// publishes, and the buffer switch it hands each block to the host with.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "asio/asio_records.h"
#include "common/channel_buffers.h"
#include "platform/com.h"

namespace spectrino::drivers {

// Driver objects, factory locks and threads alive in this file; it may be unloaded at zero.
std::atomic<int>& ServerReferences();

// Keeps this file loaded while it lives (a driver object, or a thread that may outlive one).
class ServerReference {
public:
    ServerReference() { ServerReferences().fetch_add(1, std::memory_order_relaxed); }
    ~ServerReference() { ServerReferences().fetch_sub(1, std::memory_order_release); }
    ServerReference(const ServerReference&) = delete;
    ServerReference& operator=(const ServerReference&) = delete;
};

class DriverBase : public IASIO {
public:
    DriverBase(const platform::CLSID& classId, const char* name);
    DriverBase(const DriverBase&) = delete;
    DriverBase& operator=(const DriverBase&) = delete;

    platform::HRESULT SPECTRINO_COMCALL QueryInterface(const platform::IID& iid,
                                                       void** object) override;
    uint32_t SPECTRINO_COMCALL AddRef() override;
    uint32_t SPECTRINO_COMCALL Release() override;

    void getDriverName(char* name) override;
    void getErrorMessage(char* text) override;
    ASIOError getLatencies(int32_t* inputLatency, int32_t* outputLatency) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    // One internal clock.
    ASIOError getClockSources(ASIOClockSource* clocks, int32_t* numSources) override;
    ASIOError setClockSource(int32_t reference) override;
    ASIOError getSamplePosition(ASIOSamples* samplePosition, ASIOTimeStamp* timeStamp) override;
    ASIOError outputReady() override;

protected:
    virtual ~DriverBase();

    void SetError(const std::string& text);
    static int64_t NowNanoseconds();
    // Channels within the counts, none asked for twice.
    static bool ValidBufferInfos(const ASIOBufferInfo* infos, int32_t count, int32_t inputs,
                                 int32_t outputs);
    // Whether the host takes the time record with each block.
    static bool WantsTimeInfo(const ASIOCallbacks& callbacks);
    // Answers getChannelInfo for a driver of `inputs` and `outputs` channels of one sample
    // type: "In n" or "Out n", active when the host has a buffer for it.
    static ASIOError DescribeChannel(ASIOChannelInfo* info, int32_t inputs, int32_t outputs,
                                     int32_t sampleType, const std::vector<ChannelBuffer>& buffers);
    // Reports `size` as the one buffer size there is.
    static ASIOError OneBufferSize(int32_t size, int32_t* minSize, int32_t* maxSize,
                                   int32_t* preferredSize, int32_t* granularity);
    // Hands one block to the host, stamped with the current position, `rate` and `now`.
    void SwitchBuffers(const ASIOCallbacks& callbacks, bool timeInfo, int half, double rate,
                       int64_t now);

    std::atomic<double> sampleRate_{44100.0};
    std::atomic<int64_t> samplePosition_{0};
    std::atomic<int64_t> systemTime_{0};
    std::atomic<int32_t> inputLatency_{0};
    std::atomic<int32_t> outputLatency_{0};
    std::atomic<bool> running_{false};
    // For a driver that streams from a thread of its own: set when that thread is to end.
    std::atomic<bool> stopRequested_{false};

    // The streaming thread may begin.
    void BeginStreaming() {
        stopRequested_.store(false);
        running_.store(true);
    }
    // Asks the streaming thread to end and lets `wait` wait for it.
    template <typename Wait>
    ASIOError StopStreaming(Wait&& wait) {
        stopRequested_.store(true);
        wait();
        running_.store(false);
        return ASE_OK;
    }

private:
    const ServerReference serverReference_;
    std::atomic<uint32_t> references_{1};
    const platform::CLSID classId_;
    const char* const name_;
    std::mutex errorMutex_;  // a streaming thread may report while the host asks
    std::string errorMessage_;
};

}  // namespace spectrino::drivers
