// An ASIO driver that is a JACK client: its ports are the channels, JACK's process callback
// runs the host's buffer switch with JACK's period as the block, and samples stay 32-bit
// floats. At a rate other than the server's, both directions are resampled inside the driver.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/channel_buffers.h"
#include "common/driver_base.h"
#include "common/driver_panel.h"
#include "message_relay.h"
#include "resampler.h"
#include "settings.h"

namespace spectrino::jack {

class JackDriver final : public drivers::DriverBase {
public:
    JackDriver();

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
    // Shows the settings window (needs a Qt application); accepted changes are stored and
    // applied through a reset request to the host.
    ASIOError controlPanel() override;
    ASIOError future(int32_t selector, void* opt) override;

private:
    ~JackDriver() override;

    // What the process thread works with at one host rate; replaced whole, never changed while
    // installed.
    struct Engine {
        double rate = 0.0;
        int32_t size = 0;                    // frames per host block
        std::vector<float*> inputPlanes[2];  // per half, by channel; null: unused
        std::vector<float*> outputPlanes[2];
        std::vector<const float*> portsIn;  // scratch, by channel
        std::vector<float*> portsOut;
        std::unique_ptr<Resampler> fromServer;  // null at the server's rate
        std::unique_ptr<Resampler> toServer;
        int half = 0;
        bool resetAsked = false;  // for a cycle of another length than `size`
    };

    static int OnProcess(jack_nframes_t frames, void* self);
    static int OnBufferSize(jack_nframes_t frames, void* self);
    static int OnSampleRate(jack_nframes_t rate, void* self);
    static int OnGraphOrder(void* self);
    static void OnShutdown(jack_status_t code, const char* reason, void* self);
    // Runs `use` on the driver behind a notification callback's `self`, unless it is closing.
    template <typename Use>
    static void IfOpen(void* self, Use use);
    void SetNotifyOpen(bool open);
    // Streaming ends and the host is asked for a reset, which finds the server gone.
    void MarkLost(const std::string& reason);
    // On the relay's thread: a server that runs no cycle for a while is taken as gone, since
    // not every server tells its clients when it goes (PipeWire's JACK side does not).
    void WatchCycles();

    void Process(jack_nframes_t frames);
    void PassThrough(Engine& engine, jack_nframes_t frames);
    void Resample(Engine& engine, jack_nframes_t frames);
    void Silence(jack_nframes_t frames);
    std::unique_ptr<Engine> MakeEngine(double rate);
    // Swaps the engine the process thread uses, once it is outside the old one.
    void Install(std::unique_ptr<Engine> engine);
    void WaitIdle() const;
    void UpdateLatencies();
    void ConnectInputs();
    void ApplySettings(const Settings& changed);
    bool SupportsRate(double rate) const;
    void Close();

    Settings settings_;
    jack_client_t* client_ = nullptr;
    std::vector<jack_port_t*> inputPorts_;
    std::vector<jack_port_t*> outputPorts_;
    std::atomic<int32_t> period_{0};       // frames per JACK cycle when the client was opened
    std::atomic<int32_t> cycleFrames_{0};  // frames of the latest cycle
    double serverRate_ = 0.0;              // the server's own rate

    std::vector<drivers::ChannelBuffer> buffers_;
    ASIOCallbacks* callbacks_ = nullptr;
    bool useTimeInfo_ = false;
    // The callbacks JACK's notification thread runs (all but the process one) hold this while
    // they use the driver; closing waits for one under way and turns later ones away.
    std::mutex notifyMutex_;
    bool notifyOpen_ = false;         // guarded by notifyMutex_
    std::mutex engineMutex_;          // JACK's notification thread reads the engine for latencies
    std::unique_ptr<Engine> engine_;  // owned here, used by the process thread
    std::atomic<Engine*> processEngine_{nullptr};
    std::atomic<bool> inProcess_{false};
    std::atomic<bool> lost_{false};
    std::atomic<uint64_t> cycles_{0};  // process cycles run
    uint64_t watchedCycles_ = 0;       // the relay thread's own
    int quietTicks_ = 0;
    std::unique_ptr<drivers::DriverPanel> controlPanel_;
    MessageRelay relay_;
};

}  // namespace spectrino::jack
