// An ASIO driver over one ALSA PCM: capture for the inputs, playback for the outputs, and a
// thread of its own that reads one block, hands it to the host and writes the host's output
// block back, once per period.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "alsa_pcm.h"
#include "asio/asio_records.h"
#include "common/channel_buffers.h"
#include "common/driver_base.h"
#include "common/driver_panel.h"
#include "settings.h"

namespace spectrino::alsa {

class AlsaDriver final : public drivers::DriverBase {
public:
    AlsaDriver();

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
    // Shows the driver's settings window (needs a Qt application); accepted changes are stored
    // and applied through a reset request to the host.
    ASIOError controlPanel() override;
    ASIOError future(int32_t selector, void* opt) override;

private:
    ~AlsaDriver() override;

    // Where the streaming thread is. A device whose sound server died can hold the thread
    // inside ALSA for good; stop() then leaves it behind, and the thread, should it ever come
    // back, sees that and touches nothing of the driver.
    class StreamControl {
    public:
        // Runs one call into the device. False: the thread was left behind meanwhile.
        template <typename Call>
        bool InDevice(Call&& call) {
            deviceSince_.store(NowNanoseconds());
            phase_.store(Phase::InDevice);
            call();
            Phase expected = Phase::InDevice;
            return phase_.compare_exchange_strong(expected, Phase::InDriver);
        }
        bool LeftBehind() const { return phase_.load() == Phase::LeftBehind; }
        // True when the thread is inside the device and can be left there.
        bool LeaveBehind();
        // Nanoseconds the thread has been inside the device, 0 when it is not.
        int64_t InDeviceFor() const;
        void Finish();
        bool WaitFinished(std::chrono::milliseconds limit);

    private:
        enum class Phase { InDriver, InDevice, LeftBehind };
        std::atomic<Phase> phase_{Phase::InDriver};
        std::atomic<int64_t> deviceSince_{0};
        std::mutex mutex_;
        std::condition_variable finishedChanged_;
        bool finished_ = false;
    };

    bool OpenStreams(double rate);
    // Closes the PCMs on a thread of their own: closing a PCM of a dead server can hang.
    void CloseStreams();
    void Stream(std::shared_ptr<StreamControl> control);
    // Watches the streaming thread and reports a device that stopped answering.
    void Watch(std::stop_token stop, std::shared_ptr<StreamControl> control);
    // Ends streaming after the device failed and asks the host to open the driver again; once.
    void ReportLoss(const std::string& why);
    void ApplySettings(const Settings& changed);
    // Waits for the streaming thread to end, or leaves it behind when the device holds it.
    void EndStreaming();
    bool SupportsRate(double rate) const;

    Settings settings_;
    bool initialised_ = false;
    int32_t inputs_ = 0;
    int32_t outputs_ = 0;
    bool rate44100_ = false;
    bool rate48000_ = false;

    std::vector<drivers::ChannelBuffer> buffers_;
    int32_t bufferSize_ = 0;
    ASIOCallbacks* callbacks_ = nullptr;
    bool useTimeInfo_ = false;
    // Shared with the streaming thread, which keeps them alive should it be left behind.
    std::shared_ptr<AlsaPcm> capture_;
    std::shared_ptr<AlsaPcm> playback_;
    double streamRate_ = 0.0;  // the rate the open streams run at
    std::unique_ptr<drivers::DriverPanel> controlPanel_;

    std::atomic<bool> stallPending_{false};
    std::atomic<bool> lossReported_{false};
    std::shared_ptr<StreamControl> control_;
    std::thread thread_;
    std::jthread watchdog_;
};

}  // namespace spectrino::alsa
