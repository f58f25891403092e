#include "testsignal_driver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <stdexcept>

namespace spectrino::testsignal {

namespace {

// Gains are fixed point with this value as 0 dB; meters run from 0 to this value at full scale.
constexpr int32_t kUnityGain = 0x20000000;
constexpr int32_t kFullMeter = 0x7FFFFFFF;
constexpr const char* kFailingStartUp = "The driver is set to fail its start-up.";

int BytesPerSample(const SampleFormat& format) {
    return format.bytes != 0 ? format.bytes : 4;
}

int32_t Meter(double peak) {
    return static_cast<int32_t>(std::min(peak, 1.0) * kFullMeter);
}

bool SameTones(const std::vector<Tone>& a, const std::vector<Tone>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Tone& x, const Tone& y) {
        return x.waveform == y.waveform && x.frequency == y.frequency && x.level == y.level;
    });
}

}  // namespace

TestSignalDriver::TestSignalDriver(const platform::CLSID& clsid, std::string settingsKey)
    : DriverBase(clsid, kDriverName),
      settingsKey_(std::move(settingsKey)),
      settings_(ReadSettings(settingsKey_)),
      format_(FormatOf(settings_.sampleType)) {
    SetError(kFailingStartUp);
}

TestSignalDriver::~TestSignalDriver() {
    stop();
    if (thread_.joinable()) {
        thread_.detach();  // released from inside its own callback: it ends on its own
    }
}

ASIOBool TestSignalDriver::init(void* /*sysHandle*/) {
    if (settings_.initFails) {
        return ASIOFalse;
    }
    const auto inputs = static_cast<std::size_t>(settings_.inputs);
    const auto outputs = static_cast<std::size_t>(settings_.outputs);
    inputGains_ = std::make_unique<std::atomic<int32_t>[]>(inputs);
    outputGains_ = std::make_unique<std::atomic<int32_t>[]>(outputs);
    inputMeters_ = std::make_unique<std::atomic<int32_t>[]>(inputs);
    outputMeters_ = std::make_unique<std::atomic<int32_t>[]>(outputs);
    for (std::size_t i = 0; i < inputs; ++i) {
        inputGains_[i].store(kUnityGain);
    }
    for (std::size_t i = 0; i < outputs; ++i) {
        outputGains_[i].store(kUnityGain);
    }
    sampleRate_.store(settings_.SupportsRate(settings_.sampleRate) ? settings_.sampleRate
                                                                   : settings_.sampleRates.front());
    SetError("");
    initialised_ = true;
    return ASIOTrue;
}

int32_t TestSignalDriver::getDriverVersion() {
    return settings_.version;
}

ASIOError TestSignalDriver::start() {
    if (buffers_.empty() && callbacks_ == nullptr) {
        return ASE_InvalidMode;
    }
    if (settings_.startFails) {
        return ASE_HWMalfunction;
    }
    // As a driver that crashes inside start; hosts have to survive it.
    if (startsThrown_ < settings_.startThrows) {
        ++startsThrown_;
        throw std::runtime_error("test signal: start raised");
    }
    if (running_.load()) {
        return ASE_OK;
    }
    Join();
    BeginStreaming();
    thread_ = std::thread(&TestSignalDriver::Stream, this);
    return ASE_OK;
}

ASIOError TestSignalDriver::stop() {
    return StopStreaming([this] { Join(); });
}

void TestSignalDriver::Join() {
    // A stop asked for from inside a callback cannot wait for its own thread.
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

ASIOError TestSignalDriver::getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) {
    if (numInputChannels == nullptr || numOutputChannels == nullptr) {
        return ASE_InvalidParameter;
    }
    *numInputChannels = settings_.inputs;
    *numOutputChannels = settings_.outputs;
    return ASE_OK;
}

ASIOError TestSignalDriver::getBufferSize(int32_t* minSize, int32_t* maxSize,
                                          int32_t* preferredSize, int32_t* granularity) {
    if (minSize == nullptr || maxSize == nullptr || preferredSize == nullptr ||
        granularity == nullptr) {
        return ASE_InvalidParameter;
    }
    *minSize = settings_.bufferMinimum;
    *maxSize = settings_.bufferMaximum;
    *preferredSize = settings_.bufferPreferred;
    *granularity = settings_.bufferGranularity;
    return ASE_OK;
}

ASIOError TestSignalDriver::canSampleRate(ASIOSampleRate sampleRate) {
    return settings_.SupportsRate(sampleRate) ? ASE_OK : ASE_NoClock;
}

ASIOError TestSignalDriver::setSampleRate(ASIOSampleRate sampleRate) {
    if (!settings_.SupportsRate(sampleRate)) {
        return ASE_NoClock;
    }
    sampleRate_.store(sampleRate);  // a running stream follows from its next block
    return ASE_OK;
}

ASIOError TestSignalDriver::getChannelInfo(ASIOChannelInfo* info) {
    return DescribeChannel(info, settings_.inputs, settings_.outputs, settings_.sampleType,
                           buffers_);
}

ASIOError TestSignalDriver::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                          int32_t bufferSize, ASIOCallbacks* callbacks) {
    if (!initialised_ || running_.load()) {
        return ASE_InvalidMode;
    }
    if (settings_.createBuffersFails) {
        return ASE_NoMemory;
    }
    if (callbacks == nullptr ||
        !ValidBufferInfos(bufferInfos, numChannels, settings_.inputs, settings_.outputs)) {
        return ASE_InvalidParameter;
    }
    if (!settings_.SupportsBufferSize(bufferSize)) {
        return ASE_InvalidMode;
    }
    if (!buffers_.empty()) {
        disposeBuffers();
    }
    const auto bytes =
        static_cast<std::size_t>(bufferSize) * static_cast<std::size_t>(BytesPerSample(format_));
    buffers_ = drivers::MakeChannelBuffers(bufferInfos, numChannels, bytes);
    generators_.assign(static_cast<std::size_t>(settings_.inputs), Generator{});
    for (std::size_t i = 0; i < generators_.size(); ++i) {
        generators_[i].noise = 0x9E3779B9u * static_cast<uint32_t>(i + 1);
    }
    block_.assign(static_cast<std::size_t>(bufferSize), 0.0);
    bufferSize_ = bufferSize;
    callbacks_ = callbacks;
    useTimeInfo_ = settings_.timeInfo && WantsTimeInfo(*callbacks);
    inputLatency_.store(settings_.inputLatency.value_or(bufferSize));
    outputLatency_.store(settings_.outputLatency.value_or(bufferSize));
    return ASE_OK;
}

ASIOError TestSignalDriver::disposeBuffers() {
    if (buffers_.empty() && callbacks_ == nullptr) {
        return ASE_InvalidMode;
    }
    stop();
    buffers_.clear();
    callbacks_ = nullptr;
    return ASE_OK;
}

ASIOError TestSignalDriver::controlPanel() {
    const Settings fresh = ReadSettings(settingsKey_);
    const bool sizesChanged = fresh.bufferMinimum != settings_.bufferMinimum ||
                              fresh.bufferMaximum != settings_.bufferMaximum ||
                              fresh.bufferPreferred != settings_.bufferPreferred ||
                              fresh.bufferGranularity != settings_.bufferGranularity;
    const bool layoutChanged =
        fresh.inputs != settings_.inputs || fresh.outputs != settings_.outputs ||
        fresh.sampleType != settings_.sampleType || fresh.sampleRates != settings_.sampleRates ||
        !SameTones(fresh.tones, settings_.tones);
    const bool latencyChanged = fresh.inputLatency != settings_.inputLatency ||
                                fresh.outputLatency != settings_.outputLatency;
    if (latencyChanged) {
        settings_.inputLatency = fresh.inputLatency;
        settings_.outputLatency = fresh.outputLatency;
        inputLatency_.store(fresh.inputLatency.value_or(bufferSize_));
        outputLatency_.store(fresh.outputLatency.value_or(bufferSize_));
        latencyWanted_.store(true);
    }
    if (layoutChanged) {
        resetWanted_.store(true);
    } else if (sizesChanged) {
        bufferSizeWanted_.store(true);
    }
    if (!running_.load()) {
        SendPendingMessages();
    }
    return ASE_OK;
}

void TestSignalDriver::SendPendingMessages() {
    if (callbacks_ == nullptr || callbacks_->asioMessage == nullptr) {
        return;
    }
    const auto message = callbacks_->asioMessage;
    if (latencyWanted_.exchange(false) &&
        message(kAsioSelectorSupported, kAsioLatenciesChanged, nullptr, nullptr) == 1) {
        message(kAsioLatenciesChanged, 0, nullptr, nullptr);
    }
    if (bufferSizeWanted_.exchange(false)) {
        const bool supported =
            message(kAsioSelectorSupported, kAsioBufferSizeChange, nullptr, nullptr) == 1;
        message(supported ? kAsioBufferSizeChange : kAsioResetRequest, 0, nullptr, nullptr);
    }
    if (resetWanted_.exchange(false)) {
        message(kAsioResetRequest, 0, nullptr, nullptr);
    }
}

ASIOError TestSignalDriver::future(int32_t selector, void* opt) {
    auto* controls = static_cast<ASIOChannelControls*>(opt);
    const auto channelIndex = [this, controls]() -> int32_t {
        const int32_t count = controls->isInput != ASIOFalse ? settings_.inputs : settings_.outputs;
        return initialised_ && controls->channel >= 0 && controls->channel < count
                   ? controls->channel
                   : -1;
    };
    switch (selector) {
        case kAsioCanTimeInfo:
        case kAsioCanInputGain:
        case kAsioCanInputMeter:
        case kAsioCanOutputGain:
        case kAsioCanOutputMeter:
            return ASE_SUCCESS;
        case kAsioSetInputGain:
        case kAsioSetOutputGain:
        case kAsioGetInputMeter:
        case kAsioGetOutputMeter: {
            if (controls == nullptr) {
                return ASE_InvalidParameter;
            }
            const bool wantsInput = selector == kAsioSetInputGain || selector == kAsioGetInputMeter;
            const int32_t channel = channelIndex();
            if (channel < 0 || (controls->isInput != ASIOFalse) != wantsInput) {
                return ASE_InvalidParameter;
            }
            const auto i = static_cast<std::size_t>(channel);
            if (selector == kAsioSetInputGain) {
                inputGains_[i].store(controls->gain);
            } else if (selector == kAsioSetOutputGain) {
                outputGains_[i].store(controls->gain);
            } else {
                controls->meter = (wantsInput ? inputMeters_ : outputMeters_)[i].load();
            }
            return ASE_SUCCESS;
        }
        default:
            return ASE_NotPresent;
    }
}

void TestSignalDriver::FillInput(const Buffer& buffer, int half) {
    const auto channel = static_cast<std::size_t>(buffer.channel);
    const Tone& tone = settings_.tones[channel];
    const int width = BytesPerSample(format_);
    const auto count = static_cast<std::size_t>(bufferSize_);
    std::byte* out = buffer.halves[half].get();
    if (tone.waveform == Waveform::Loopback) {
        // What the host wrote to the same output during the previous block.
        const Buffer* output = drivers::FindChannelBuffer(buffers_, false, buffer.channel);
        if (output != nullptr) {
            std::memcpy(out, output->halves[half ^ 1].get(),
                        count * static_cast<std::size_t>(width));
        } else {
            std::memset(out, 0, count * static_cast<std::size_t>(width));
        }
        return;
    }
    if (tone.waveform == Waveform::Silence || format_.bytes == 0) {
        std::memset(out, 0, count * static_cast<std::size_t>(width));
        inputMeters_[channel].store(0);
        return;
    }
    const double gain = static_cast<double>(inputGains_[channel].load()) / kUnityGain;
    const double amplitude = std::pow(10.0, tone.level / 20.0) * gain;
    Generator& generator = generators_[channel];
    const double step = 2.0 * std::numbers::pi * tone.frequency / sampleRate_.load();
    double peak = 0.0;
    if (tone.waveform == Waveform::Sine) {
        // A rotation by one step per sample, started afresh from the phase each block, so
        // rounding never builds up beyond one block.
        const double stepCos = std::cos(step);
        const double stepSin = std::sin(step);
        double re = std::cos(generator.phase);
        double im = std::sin(generator.phase);
        for (std::size_t i = 0; i < count; ++i) {
            const double value = amplitude * im;
            const double next = re * stepCos - im * stepSin;
            im = re * stepSin + im * stepCos;
            re = next;
            peak = std::max(peak, std::abs(value));
            block_[i] = value;
        }
        generator.phase =
            std::fmod(generator.phase + static_cast<double>(count) * step, 2.0 * std::numbers::pi);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            // xorshift32, scaled to [-1, 1)
            uint32_t x = generator.noise;
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            generator.noise = x;
            const double value = amplitude * (static_cast<double>(x) / 2147483648.0 - 1.0);
            peak = std::max(peak, std::abs(value));
            block_[i] = value;
        }
    }
    EncodeSamples(format_, block_.data(), count, out);
    inputMeters_[channel].store(Meter(peak));
}

void TestSignalDriver::Measure(const Buffer& buffer, int half) {
    if (format_.bytes == 0) {
        return;
    }
    const double peak =
        PeakOfSamples(format_, buffer.halves[half].get(), static_cast<std::size_t>(bufferSize_));
    outputMeters_[static_cast<std::size_t>(buffer.channel)].store(Meter(peak));
}

void TestSignalDriver::Stream() {
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now();
    int half = 0;
    double lastRate = sampleRate_.load();
    while (!stopRequested_.load()) {
        const double rate = sampleRate_.load();
        if (rate != lastRate) {
            lastRate = rate;
            if (callbacks_->sampleRateDidChange != nullptr) {
                callbacks_->sampleRateDidChange(rate);
            }
        }
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(bufferSize_ / rate));
        next += period;
        const auto now = Clock::now();
        if (next + 4 * period < now) {
            next = now;  // far behind (a debugger, a loaded machine): no burst of late blocks
        }
        std::this_thread::sleep_until(next);
        if (stopRequested_.load()) {
            break;
        }
        for (const Buffer& buffer : buffers_) {
            if (buffer.isInput) {
                FillInput(buffer, half);
            }
        }
        SwitchBuffers(*callbacks_, useTimeInfo_, half, rate, NowNanoseconds());
        for (const Buffer& buffer : buffers_) {
            if (!buffer.isInput) {
                Measure(buffer, half);
            }
        }
        samplePosition_.fetch_add(bufferSize_);
        SendPendingMessages();
        half ^= 1;
    }
}

}  // namespace spectrino::testsignal
