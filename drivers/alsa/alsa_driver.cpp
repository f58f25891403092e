#include "alsa_driver.h"
#include "common/run_bounded.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "control_panel.h"

namespace spectrino::alsa {

namespace {

constexpr int32_t kSampleType = 18;  // ASIOSTInt32LSB
constexpr int kRealtimePriority = 70;
// A read gives up after 5 s without data; a call inside the device for longer than this never
// returns (libpulse can deadlock when its server dies).
constexpr int64_t kDeviceHungNs = 6'000'000'000;
// How long stop() waits for a thread still inside the device before leaving it behind.
constexpr auto kStopWait = std::chrono::milliseconds(3000);
constexpr auto kCloseWait = std::chrono::milliseconds(2000);
constexpr auto kWatchInterval = std::chrono::milliseconds(200);

// Real-time scheduling where the system lets us; otherwise the thread runs as it is.
void RaisePriority(std::thread& thread) {
    sched_param param{};
    param.sched_priority = std::min(kRealtimePriority, sched_get_priority_max(SCHED_FIFO));
    pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &param);
}

}  // namespace

bool AlsaDriver::StreamControl::LeaveBehind() {
    Phase expected = Phase::InDevice;
    return phase_.compare_exchange_strong(expected, Phase::LeftBehind) ||
           expected == Phase::LeftBehind;
}

int64_t AlsaDriver::StreamControl::InDeviceFor() const {
    return phase_.load() == Phase::InDevice ? NowNanoseconds() - deviceSince_.load() : 0;
}

void AlsaDriver::StreamControl::Finish() {
    const std::lock_guard lock(mutex_);
    finished_ = true;
    finishedChanged_.notify_all();
}

bool AlsaDriver::StreamControl::WaitFinished(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return finishedChanged_.wait_for(lock, limit, [&] { return finished_; });
}

AlsaDriver::AlsaDriver() : DriverBase(kClassId, kDriverName), settings_(ReadSettings()) {}

AlsaDriver::~AlsaDriver() {
    stop();
    if (thread_.joinable()) {
        // Released from inside its own callback: the thread must not come back to us.
        control_->LeaveBehind();
        thread_.detach();
    }
    CloseStreams();
}

ASIOBool AlsaDriver::init(void* /*sysHandle*/) {
    std::string error;
    const PcmCapabilities capture = AlsaPcm::Probe(settings_.device, Direction::Capture, error);
    if (capture.channels <= 0) {
        SetError(error);
        return ASIOFalse;
    }
    inputs_ = capture.channels;
    rate44100_ = capture.rate44100;
    rate48000_ = capture.rate48000;
    if (settings_.playback) {
        const PcmCapabilities playback =
            AlsaPcm::Probe(settings_.device, Direction::Playback, error);
        // A capture-only device simply has no outputs.
        if (playback.channels > 0) {
            outputs_ = playback.channels;
            rate44100_ = rate44100_ && playback.rate44100;
            rate48000_ = rate48000_ && playback.rate48000;
        }
    }
    if (!rate44100_ && !rate48000_) {
        SetError(settings_.device + ": runs at neither 44100 nor 48000 Hz");
        return ASIOFalse;
    }
    sampleRate_.store(SupportsRate(settings_.sampleRate) ? settings_.sampleRate
                      : rate44100_                       ? 44100.0
                                                         : 48000.0);
    stallPending_.store(settings_.stallOnceMs > 0);
    initialised_ = true;
    return ASIOTrue;
}

int32_t AlsaDriver::getDriverVersion() {
    return 1;
}

bool AlsaDriver::SupportsRate(double rate) const {
    return (rate == 44100.0 && rate44100_) || (rate == 48000.0 && rate48000_);
}

bool AlsaDriver::OpenStreams(double rate) {
    CloseStreams();
    PcmConfig config{settings_.device, Direction::Capture, static_cast<unsigned>(rate),
                     inputs_,          bufferSize_,        settings_.periods};
    std::string error;
    capture_ = AlsaPcm::Open(config, error);
    if (!capture_) {
        SetError(error);
        return false;
    }
    if (outputs_ > 0) {
        config.direction = Direction::Playback;
        config.channels = outputs_;
        playback_ = AlsaPcm::Open(config, error);
        if (!playback_) {
            SetError(error);
            capture_.reset();
            return false;
        }
    }
    streamRate_ = rate;
    // A block is complete one period after its first frame; an output block waits behind the
    // silence the playback ring holds ahead of it.
    inputLatency_.store(bufferSize_);
    outputLatency_.store(playback_ ? playback_->BufferSize() : bufferSize_);
    return true;
}

void AlsaDriver::CloseStreams() {
    if (!capture_ && !playback_) {
        return;
    }
    drivers::RunBounded(
        [capture = std::move(capture_), playback = std::move(playback_)]() mutable {
            capture.reset();
            playback.reset();
        },
        kCloseWait);
}

ASIOError AlsaDriver::start() {
    if (callbacks_ == nullptr || !capture_) {
        return ASE_InvalidMode;
    }
    if (running_.load()) {
        return ASE_OK;
    }
    EndStreaming();
    lossReported_.store(false);
    BeginStreaming();
    control_ = std::make_shared<StreamControl>();
    thread_ = std::thread(&AlsaDriver::Stream, this, control_);
    RaisePriority(thread_);
    watchdog_ =
        std::jthread([this, control = control_](std::stop_token stop) { Watch(stop, control); });
    return ASE_OK;
}

ASIOError AlsaDriver::stop() {
    return StopStreaming([this] { EndStreaming(); });
}

void AlsaDriver::EndStreaming() {
    const auto self = std::this_thread::get_id();
    if (watchdog_.joinable()) {
        watchdog_.request_stop();
        if (watchdog_.get_id() == self) {
            watchdog_.detach();  // a host that stops from inside the loss report
        } else {
            watchdog_.join();
        }
    }
    // A stop asked for from inside a callback cannot wait for its own thread.
    if (!thread_.joinable() || thread_.get_id() == self) {
        return;
    }
    bool waited = control_->WaitFinished(lossReported_.load() ? kStopWait / 30 : kStopWait);
    while (!waited) {
        if (control_->LeaveBehind()) {
            // It holds its own references to the PCMs; ours go.
            thread_.detach();
            capture_.reset();
            playback_.reset();
            return;
        }
        // Busy in the host's callback or between blocks: it will see the stop request.
        waited = control_->WaitFinished(kStopWait / 30);
    }
    thread_.join();
}

ASIOError AlsaDriver::getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) {
    if (numInputChannels == nullptr || numOutputChannels == nullptr) {
        return ASE_InvalidParameter;
    }
    if (!initialised_) {
        return ASE_NotPresent;
    }
    *numInputChannels = inputs_;
    *numOutputChannels = outputs_;
    return ASE_OK;
}

ASIOError AlsaDriver::getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                                    int32_t* granularity) {
    // The period size is chosen in the control panel; a host takes it as it is.
    return OneBufferSize(settings_.periodSize, minSize, maxSize, preferredSize, granularity);
}

ASIOError AlsaDriver::canSampleRate(ASIOSampleRate sampleRate) {
    return SupportsRate(sampleRate) ? ASE_OK : ASE_NoClock;
}

ASIOError AlsaDriver::setSampleRate(ASIOSampleRate sampleRate) {
    if (!SupportsRate(sampleRate)) {
        return ASE_NoClock;
    }
    if (sampleRate_.exchange(sampleRate) == sampleRate) {
        return ASE_OK;
    }
    // A running stream reopens at the new rate from its own thread.
    if (!running_.load() && capture_ && !OpenStreams(sampleRate)) {
        return ASE_HWMalfunction;
    }
    return ASE_OK;
}

ASIOError AlsaDriver::getChannelInfo(ASIOChannelInfo* info) {
    return DescribeChannel(info, inputs_, outputs_, kSampleType, buffers_);
}

ASIOError AlsaDriver::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                    int32_t bufferSize, ASIOCallbacks* callbacks) {
    if (!initialised_ || running_.load()) {
        return ASE_InvalidMode;
    }
    if (callbacks == nullptr || bufferSize < kMinPeriodSize || bufferSize > kMaxPeriodSize ||
        !ValidBufferInfos(bufferInfos, numChannels, inputs_, outputs_)) {
        return ASE_InvalidParameter;
    }
    disposeBuffers();
    bufferSize_ = bufferSize;
    if (!OpenStreams(sampleRate_.load())) {
        return ASE_HWMalfunction;
    }
    buffers_ = drivers::MakeChannelBuffers(bufferInfos, numChannels,
                                           static_cast<std::size_t>(bufferSize) * sizeof(int32_t));
    callbacks_ = callbacks;
    useTimeInfo_ = WantsTimeInfo(*callbacks);
    return ASE_OK;
}

ASIOError AlsaDriver::disposeBuffers() {
    if (callbacks_ == nullptr) {
        return ASE_InvalidMode;
    }
    stop();
    CloseStreams();
    buffers_.clear();
    callbacks_ = nullptr;
    return ASE_OK;
}

ASIOError AlsaDriver::controlPanel() {
    return drivers::ShowPanel(controlPanel_, [this] {
        return std::make_unique<ControlPanel>(
            settings_, ListPcmNames(Direction::Capture),
            [this](const Settings& changed) { ApplySettings(changed); });
    });
}

void AlsaDriver::ApplySettings(const Settings& changed) {
    if (changed == settings_ || !WriteSettings(changed)) {
        return;
    }
    // Not applied here: a reset makes the host open a fresh driver object, which reads them.
    if (callbacks_ != nullptr && callbacks_->asioMessage != nullptr) {
        callbacks_->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
    }
}

ASIOError AlsaDriver::future(int32_t selector, void* /*opt*/) {
    return selector == kAsioCanTimeInfo ? ASE_SUCCESS : ASE_NotPresent;
}

void AlsaDriver::ReportLoss(const std::string& why) {
    if (lossReported_.exchange(true)) {
        return;
    }
    SetError(why);
    if (callbacks_->asioMessage != nullptr) {
        callbacks_->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
    }
}

void AlsaDriver::Watch(std::stop_token stop, std::shared_ptr<StreamControl> control) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    while (!wake.wait_for(lock, stop, kWatchInterval, [] { return false; }) &&
           !stop.stop_requested()) {
        if (control->InDeviceFor() > kDeviceHungNs) {
            ReportLoss(settings_.device + ": the device stopped answering");
            return;
        }
    }
}

void AlsaDriver::Stream(std::shared_ptr<StreamControl> control) {
    const drivers::ServerReference keep;  // the code stays mapped even if we are left behind
    struct FinishOnExit {
        StreamControl& control;
        ~FinishOnExit() { control.Finish(); }
    } finish{*control};

    // Everything the device calls use is local or shared, so that a thread left behind inside
    // one owns what it touches when it comes back.
    std::shared_ptr<AlsaPcm> capture = capture_;
    std::shared_ptr<AlsaPcm> playback = playback_;
    const int32_t frames = bufferSize_;
    const auto size = static_cast<std::size_t>(frames);
    std::vector<int32_t> inFrames(size * static_cast<std::size_t>(inputs_));
    std::vector<int32_t> outFrames(size * static_cast<std::size_t>(std::max(outputs_, 1)));
    int half = 0;
    bool started = false;
    int64_t lastRead = 0;
    AlsaPcm::Result result = AlsaPcm::Result::Ok;
    while (!stopRequested_.load()) {
        if (const double rate = sampleRate_.load(); rate != streamRate_) {
            capture.reset();
            playback.reset();
            if (!OpenStreams(rate)) {
                ReportLoss("cannot reopen at the new rate");
                return;
            }
            capture = capture_;
            playback = playback_;
            started = false;
            if (callbacks_->sampleRateDidChange != nullptr) {
                callbacks_->sampleRateDidChange(rate);
                if (control->LeftBehind()) {
                    return;
                }
            }
        }
        if (!started) {
            if (!control->InDevice([&] {
                    result = playback ? playback->Start() : AlsaPcm::Result::Ok;
                    if (result != AlsaPcm::Result::Failed) {
                        result = capture->Start();
                    }
                })) {
                return;
            }
            if (result == AlsaPcm::Result::Failed) {
                ReportLoss(capture->LastError());
                return;
            }
            started = true;
            lastRead = NowNanoseconds();  // starting is no overrun
        }
        // The testing stall comes once the stream has run for a second.
        if (stallPending_.load() && samplePosition_.load() >= streamRate_ &&
            stallPending_.exchange(false)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(settings_.stallOnceMs));
        }
        // Behind by more than the capture ring holds: an overrun, whether or not the PCM
        // reports one (plugins such as "pulse" may not, and then lag behind for good).
        if (const int64_t now = NowNanoseconds(), behind = now - lastRead;
            behind > static_cast<int64_t>(1e9 * capture->BufferSize() / streamRate_)) {
            // Only capture restarts: playback never waits and catches up by itself.
            if (!control->InDevice([&] {
                    capture->Stop();
                    result = capture->Start();
                })) {
                return;
            }
            if (result == AlsaPcm::Result::Failed) {
                ReportLoss(capture->LastError());
                return;
            }
            samplePosition_.fetch_add(
                std::llround(static_cast<double>(behind) * 1e-9 * streamRate_));
            lastRead = now;
            continue;
        }
        if (!control->InDevice([&] { result = capture->Read(inFrames.data(), frames); })) {
            return;
        }
        if (result == AlsaPcm::Result::Failed) {
            ReportLoss(capture->LastError());
            return;
        }
        const int64_t now = NowNanoseconds();
        if (result == AlsaPcm::Result::Recovered) {
            // What the device captured since the last block was dropped with the overrun;
            // the position still counts it, so it stays true to the stream's time.
            samplePosition_.fetch_add(
                std::llround(static_cast<double>(now - lastRead) * 1e-9 * streamRate_));
            lastRead = now;
            continue;
        }
        lastRead = now;
        for (const drivers::ChannelBuffer& buffer : buffers_) {
            if (!buffer.isInput) {
                continue;
            }
            auto* out = buffer.Half<int32_t>(half);
            const int32_t* in = inFrames.data() + buffer.channel;
            for (std::size_t i = 0; i < size; ++i) {
                out[i] = in[i * static_cast<std::size_t>(inputs_)];
            }
        }
        SwitchBuffers(*callbacks_, useTimeInfo_, half, streamRate_, now);
        // The host may have released the driver from inside the callback.
        if (control->LeftBehind() || stopRequested_.load()) {
            break;
        }
        if (playback) {
            std::fill(outFrames.begin(), outFrames.end(), 0);
            for (const drivers::ChannelBuffer& buffer : buffers_) {
                if (buffer.isInput) {
                    continue;
                }
                const auto* in = buffer.Half<int32_t>(half);
                int32_t* out = outFrames.data() + buffer.channel;
                for (std::size_t i = 0; i < size; ++i) {
                    out[i * static_cast<std::size_t>(outputs_)] = in[i];
                }
            }
            if (!control->InDevice([&] { result = playback->Write(outFrames.data(), frames); })) {
                return;
            }
            if (result == AlsaPcm::Result::Failed) {
                ReportLoss(playback->LastError());
                return;
            }
        }
        samplePosition_.fetch_add(frames);
        half ^= 1;
    }
    if (control->LeftBehind()) {
        return;
    }
    // Stopped on request: drop what is queued so that the next start begins afresh.
    control->InDevice([&] {
        capture->Stop();
        if (playback) {
            playback->Stop();
        }
    });
}

}  // namespace spectrino::alsa
