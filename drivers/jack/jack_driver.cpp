#include "jack_driver.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include "common/run_bounded.h"
#include "control_panel.h"

namespace spectrino::jack {

namespace {

constexpr int32_t kSampleType = 19;  // ASIOSTFloat32LSB: JACK's own samples
// Closing the client of a server that died may hang inside libjack.
constexpr auto kCloseWait = std::chrono::milliseconds(2000);
// How long opening waits for the server's first cycle.
constexpr auto kFirstCycleWait = std::chrono::milliseconds(500);

float* PortBuffer(jack_port_t* port, jack_nframes_t frames) {
    return static_cast<float*>(jack_port_get_buffer(port, frames));
}

int32_t MaxLatency(const std::vector<jack_port_t*>& ports, jack_latency_callback_mode_t mode) {
    jack_nframes_t most = 0;
    for (jack_port_t* port : ports) {
        jack_latency_range_t range{};
        jack_port_get_latency_range(port, mode, &range);
        most = std::max(most, range.max);
    }
    return static_cast<int32_t>(most);
}

}  // namespace

JackDriver::JackDriver() : DriverBase(kClassId, kDriverName), settings_(ReadSettings()) {}

JackDriver::~JackDriver() {
    stop();
    if (callbacks_ != nullptr) {
        disposeBuffers();
    }
    Close();
}

void JackDriver::Close() {
    if (client_ == nullptr) {
        return;
    }
    SetNotifyOpen(false);
    relay_.SetWatch(nullptr);
    drivers::RunBounded([client = client_] { jack_client_close(client); }, kCloseWait);
    client_ = nullptr;
    inputPorts_.clear();  // they went with the client
    outputPorts_.clear();
}

ASIOBool JackDriver::init(void* /*sysHandle*/) {
    if (client_ != nullptr) {
        return lost_.load() ? ASIOFalse : ASIOTrue;
    }
    // Never start a server of our own: the user's server is the one to join.
    int options = JackNoStartServer;
    if (!settings_.serverName.empty()) {
        options |= JackServerName;
    }
    jack_status_t status{};
    client_ = jack_client_open(settings_.clientName.c_str(), static_cast<jack_options_t>(options),
                               &status, settings_.serverName.c_str());
    if (client_ == nullptr) {
        SetError(settings_.serverName.empty()
                     ? "No JACK server is running"
                     : "JACK server \"" + settings_.serverName + "\" is not running");
        return ASIOFalse;
    }
    for (int32_t i = 0; i < settings_.inputs + settings_.outputs; ++i) {
        const bool isInput = i < settings_.inputs;
        const int32_t number = (isInput ? i : i - settings_.inputs) + 1;
        const std::string name = (isInput ? "In " : "Out ") + std::to_string(number);
        jack_port_t* port = jack_port_register(client_, name.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                               isInput ? JackPortIsInput : JackPortIsOutput, 0);
        if (port == nullptr) {
            SetError("JACK refused the port " + name);
            Close();
            return ASIOFalse;
        }
        (isInput ? inputPorts_ : outputPorts_).push_back(port);
    }
    period_.store(static_cast<int32_t>(jack_get_buffer_size(client_)));
    serverRate_ = jack_get_sample_rate(client_);
    sampleRate_.store(serverRate_);
    SetNotifyOpen(true);
    jack_set_process_callback(client_, &JackDriver::OnProcess, this);
    jack_set_buffer_size_callback(client_, &JackDriver::OnBufferSize, this);
    jack_set_sample_rate_callback(client_, &JackDriver::OnSampleRate, this);
    jack_set_graph_order_callback(client_, &JackDriver::OnGraphOrder, this);
    jack_on_info_shutdown(client_, &JackDriver::OnShutdown, this);
    if (jack_activate(client_) != 0) {
        SetError("JACK did not activate the client");
        Close();
        return ASIOFalse;
    }
    // A server may tell a new client the period it had before a change (PipeWire does); the
    // first cycle tells the one in force.
    const auto until = std::chrono::steady_clock::now() + kFirstCycleWait;
    while (cycleFrames_.load() == 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (const int32_t frames = cycleFrames_.load(); frames > 0) {
        period_.store(frames);
    }
    ConnectInputs();
    UpdateLatencies();
    relay_.SetWatch([this] { WatchCycles(); });
    return ASIOTrue;
}

void JackDriver::ConnectInputs() {
    const std::size_t count = std::min(settings_.connect.size(), inputPorts_.size());
    for (std::size_t i = 0; i < count; ++i) {
        // A source that is not there is no reason to refuse the device.
        jack_connect(client_, settings_.connect[i].c_str(), jack_port_name(inputPorts_[i]));
    }
}

int32_t JackDriver::getDriverVersion() {
    return 1;
}

ASIOError JackDriver::start() {
    if (callbacks_ == nullptr) {
        return ASE_InvalidMode;
    }
    if (lost_.load()) {
        return ASE_HWMalfunction;
    }
    running_.store(true);
    return ASE_OK;
}

ASIOError JackDriver::stop() {
    running_.store(false);
    // A stop from inside the host's callback cannot wait for its own cycle to end.
    if (client_ == nullptr || !pthread_equal(pthread_self(), jack_client_thread_id(client_))) {
        WaitIdle();
    }
    return ASE_OK;
}

void JackDriver::WaitIdle() const {
    // A cycle lasts one period; the process thread never blocks inside it.
    while (inProcess_.load()) {
        std::this_thread::yield();
    }
}

ASIOError JackDriver::getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) {
    if (numInputChannels == nullptr || numOutputChannels == nullptr) {
        return ASE_InvalidParameter;
    }
    if (client_ == nullptr) {
        return ASE_NotPresent;
    }
    *numInputChannels = static_cast<int32_t>(inputPorts_.size());
    *numOutputChannels = static_cast<int32_t>(outputPorts_.size());
    return ASE_OK;
}

ASIOError JackDriver::getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                                    int32_t* granularity) {
    if (client_ == nullptr) {
        return ASE_NotPresent;
    }
    // The server's period; the host takes it as it is, also when resampling.
    return OneBufferSize(period_.load(), minSize, maxSize, preferredSize, granularity);
}

bool JackDriver::SupportsRate(double rate) const {
    return rate == 44100.0 || rate == 48000.0 || (serverRate_ > 0.0 && rate == serverRate_);
}

ASIOError JackDriver::canSampleRate(ASIOSampleRate sampleRate) {
    return SupportsRate(sampleRate) ? ASE_OK : ASE_NoClock;
}

ASIOError JackDriver::setSampleRate(ASIOSampleRate sampleRate) {
    if (!SupportsRate(sampleRate)) {
        return ASE_NoClock;
    }
    if (sampleRate_.exchange(sampleRate) == sampleRate || callbacks_ == nullptr) {
        return ASE_OK;
    }
    auto engine = MakeEngine(sampleRate);
    if (!engine) {
        return ASE_HWMalfunction;
    }
    Install(std::move(engine));
    UpdateLatencies();
    relay_.AnnounceLatencies();
    return ASE_OK;
}

ASIOError JackDriver::getChannelInfo(ASIOChannelInfo* info) {
    return DescribeChannel(info, static_cast<int32_t>(inputPorts_.size()),
                           static_cast<int32_t>(outputPorts_.size()), kSampleType, buffers_);
}

ASIOError JackDriver::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                    int32_t bufferSize, ASIOCallbacks* callbacks) {
    if (client_ == nullptr || lost_.load() || running_.load()) {
        return ASE_InvalidMode;
    }
    if (callbacks == nullptr ||
        !ValidBufferInfos(bufferInfos, numChannels, static_cast<int32_t>(inputPorts_.size()),
                          static_cast<int32_t>(outputPorts_.size()))) {
        return ASE_InvalidParameter;
    }
    if (bufferSize != period_.load()) {
        return ASE_InvalidMode;  // JACK's period is the only block there is
    }
    if (callbacks_ != nullptr) {
        disposeBuffers();
    }
    buffers_ = drivers::MakeChannelBuffers(bufferInfos, numChannels,
                                           static_cast<std::size_t>(bufferSize) * sizeof(float));
    callbacks_ = callbacks;
    useTimeInfo_ = WantsTimeInfo(*callbacks);
    auto engine = MakeEngine(sampleRate_.load());
    if (!engine) {
        buffers_.clear();
        callbacks_ = nullptr;
        return ASE_NoMemory;
    }
    Install(std::move(engine));
    UpdateLatencies();
    relay_.SetCallbacks(callbacks);
    return ASE_OK;
}

ASIOError JackDriver::disposeBuffers() {
    if (callbacks_ == nullptr) {
        return ASE_InvalidMode;
    }
    stop();
    Install(nullptr);
    relay_.SetCallbacks(nullptr);
    buffers_.clear();
    callbacks_ = nullptr;
    return ASE_OK;
}

std::unique_ptr<JackDriver::Engine> JackDriver::MakeEngine(double rate) {
    const int32_t period = period_.load();
    auto engine = std::make_unique<Engine>();
    engine->rate = rate;
    engine->size = period;
    // The converters take one plane at least, also where there is no port.
    const std::size_t inputs = std::max<std::size_t>(inputPorts_.size(), 1);
    const std::size_t outputs = std::max<std::size_t>(outputPorts_.size(), 1);
    for (int half = 0; half < 2; ++half) {
        engine->inputPlanes[half].assign(inputs, nullptr);
        engine->outputPlanes[half].assign(outputs, nullptr);
        for (const drivers::ChannelBuffer& buffer : buffers_) {
            auto& planes = buffer.isInput ? engine->inputPlanes[half] : engine->outputPlanes[half];
            planes[static_cast<std::size_t>(buffer.channel)] = buffer.Half<float>(half);
        }
    }
    engine->portsIn.assign(inputs, nullptr);
    engine->portsOut.assign(outputs, nullptr);
    if (rate != serverRate_) {
        const int32_t block = engine->size;
        engine->fromServer = std::make_unique<Resampler>(static_cast<int>(inputPorts_.size()),
                                                         serverRate_, rate, period, 2 * block);
        engine->toServer = std::make_unique<Resampler>(static_cast<int>(outputPorts_.size()), rate,
                                                       serverRate_, block, 4 * period);
        if (!engine->fromServer->Valid() || !engine->toServer->Valid()) {
            return nullptr;
        }
        // The outputs run one period ahead, so that a cycle in which no block was complete
        // still has a period to play.
        engine->toServer->PushSilence(period);
    }
    return engine;
}

void JackDriver::Install(std::unique_ptr<Engine> engine) {
    processEngine_.store(engine.get());
    WaitIdle();  // the old engine may still be in use for this one cycle
    const std::lock_guard lock(engineMutex_);
    engine_ = std::move(engine);
}

void JackDriver::UpdateLatencies() {
    const int32_t period = period_.load();
    const int32_t capture = MaxLatency(inputPorts_, JackCaptureLatency);
    const int32_t playback = MaxLatency(outputPorts_, JackPlaybackLatency);
    const std::lock_guard lock(engineMutex_);
    const Engine* engine = engine_.get();
    if (engine == nullptr || !engine->fromServer) {
        inputLatency_.store(period + capture);
        outputLatency_.store(period + playback);
        return;
    }
    // In host frames: the block, JACK's part scaled to the host's rate, the converter's delay,
    // and on the way out the period the outputs run ahead.
    const double ratio = engine->rate / serverRate_;
    inputLatency_.store(engine->size + static_cast<int32_t>(std::lround(capture * ratio)) +
                        engine->fromServer->Delay());
    outputLatency_.store(
        engine->size +
        static_cast<int32_t>(std::lround((playback + period + engine->toServer->Delay()) * ratio)));
}

int JackDriver::OnProcess(jack_nframes_t frames, void* self) {
    static_cast<JackDriver*>(self)->Process(frames);
    return 0;
}

void JackDriver::Process(jack_nframes_t frames) {
    inProcess_.store(true);
    cycleFrames_.store(static_cast<int32_t>(frames));
    cycles_.fetch_add(1, std::memory_order_relaxed);
    Engine* engine = processEngine_.load();
    if (engine != nullptr && static_cast<int32_t>(frames) != engine->size) {
        // The server's period changed. A server that said so has asked the host for a reset
        // already; one that did not (PipeWire) is asked for here, once.
        if (!engine->resetAsked) {
            engine->resetAsked = true;
            relay_.RequestReset();
        }
        Silence(frames);
    } else if (engine == nullptr || !running_.load()) {
        Silence(frames);
    } else if (engine->fromServer) {
        Resample(*engine, frames);
    } else {
        PassThrough(*engine, frames);
    }
    inProcess_.store(false);
}

void JackDriver::Silence(jack_nframes_t frames) {
    for (jack_port_t* port : outputPorts_) {
        std::memset(PortBuffer(port, frames), 0, frames * sizeof(float));
    }
}

void JackDriver::PassThrough(Engine& engine, jack_nframes_t frames) {
    const int half = engine.half;
    for (std::size_t c = 0; c < inputPorts_.size(); ++c) {
        if (float* plane = engine.inputPlanes[half][c]) {
            std::memcpy(plane, PortBuffer(inputPorts_[c], frames), frames * sizeof(float));
        }
    }
    SwitchBuffers(*callbacks_, useTimeInfo_, half, engine.rate, NowNanoseconds());
    for (std::size_t c = 0; c < outputPorts_.size(); ++c) {
        float* port = PortBuffer(outputPorts_[c], frames);
        if (const float* plane = engine.outputPlanes[half][c]) {
            std::memcpy(port, plane, frames * sizeof(float));
        } else {
            std::memset(port, 0, frames * sizeof(float));
        }
    }
    samplePosition_.fetch_add(frames);
    engine.half ^= 1;
}

void JackDriver::Resample(Engine& engine, jack_nframes_t frames) {
    const auto count = static_cast<int32_t>(frames);
    for (std::size_t c = 0; c < inputPorts_.size(); ++c) {
        engine.portsIn[c] = PortBuffer(inputPorts_[c], frames);
    }
    engine.fromServer->Push(engine.portsIn.data(), count);
    while (engine.fromServer->Queued() >= engine.size) {
        const int half = engine.half;
        engine.fromServer->Pop(engine.inputPlanes[half].data(), engine.size);
        SwitchBuffers(*callbacks_, useTimeInfo_, half, engine.rate, NowNanoseconds());
        engine.toServer->Push(engine.outputPlanes[half].data(), engine.size);
        samplePosition_.fetch_add(engine.size);
        engine.half ^= 1;
    }
    for (std::size_t c = 0; c < outputPorts_.size(); ++c) {
        engine.portsOut[c] = PortBuffer(outputPorts_[c], frames);
    }
    if (engine.toServer->Queued() >= count) {
        engine.toServer->Pop(engine.portsOut.data(), count);
    } else {
        // Short of a period: play silence and keep what is there, which runs the outputs that
        // much further ahead from now on.
        Silence(frames);
    }
}

void JackDriver::SetNotifyOpen(bool open) {
    const std::lock_guard lock(notifyMutex_);
    notifyOpen_ = open;
}

template <typename Use>
void JackDriver::IfOpen(void* self, Use use) {
    auto* driver = static_cast<JackDriver*>(self);
    const std::lock_guard lock(driver->notifyMutex_);
    if (driver->notifyOpen_) {
        use(*driver);
    }
}

int JackDriver::OnBufferSize(jack_nframes_t frames, void* self) {
    IfOpen(self, [frames](JackDriver& driver) {
        if (static_cast<int32_t>(frames) != driver.period_.load()) {
            driver.relay_.RequestReset();
        }
    });
    return 0;
}

int JackDriver::OnSampleRate(jack_nframes_t rate, void* self) {
    IfOpen(self, [rate](JackDriver& driver) {
        if (static_cast<double>(rate) != driver.serverRate_) {
            driver.relay_.RequestReset();
        }
    });
    return 0;
}

int JackDriver::OnGraphOrder(void* self) {
    // New connections bring other latencies.
    IfOpen(self, [](JackDriver& driver) {
        const int32_t input = driver.inputLatency_.load();
        const int32_t output = driver.outputLatency_.load();
        driver.UpdateLatencies();
        if (driver.inputLatency_.load() != input || driver.outputLatency_.load() != output) {
            driver.relay_.AnnounceLatencies();
        }
    });
    return 0;
}

void JackDriver::OnShutdown(jack_status_t /*code*/, const char* reason, void* self) {
    IfOpen(self, [reason](JackDriver& driver) {
        driver.MarkLost(std::string("The JACK server went away: ") +
                        (reason != nullptr ? reason : ""));
    });
}

void JackDriver::MarkLost(const std::string& reason) {
    if (lost_.exchange(true)) {
        return;
    }
    running_.store(false);
    SetError(reason);
    relay_.RequestReset();
}

void JackDriver::WatchCycles() {
    // Longer than any period a server runs (8192 frames at 22050 Hz is 0.37 s).
    constexpr int kQuietTicksForLoss = 8;
    const uint64_t cycles = cycles_.load(std::memory_order_relaxed);
    if (cycles != watchedCycles_) {
        watchedCycles_ = cycles;
        quietTicks_ = 0;
        return;
    }
    if (++quietTicks_ == kQuietTicksForLoss) {
        MarkLost("The JACK server stopped running cycles");
    }
}

ASIOError JackDriver::controlPanel() {
    return drivers::ShowPanel(controlPanel_, [this] {
        std::vector<std::string> sources;
        if (client_ != nullptr && !lost_.load()) {
            if (const char** ports =
                    jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput)) {
                for (const char** port = ports; *port != nullptr; ++port) {
                    sources.emplace_back(*port);
                }
                jack_free(ports);
            }
        }
        return std::make_unique<ControlPanel>(
            settings_, sources, [this](const Settings& changed) { ApplySettings(changed); });
    });
}

void JackDriver::ApplySettings(const Settings& changed) {
    if (changed == settings_ || !WriteSettings(changed)) {
        return;
    }
    // Not applied here: a reset makes the host open a fresh driver object, which reads them.
    relay_.RequestReset();
}

ASIOError JackDriver::future(int32_t selector, void* /*opt*/) {
    return selector == kAsioCanTimeInfo ? ASE_SUCCESS : ASE_NotPresent;
}

}  // namespace spectrino::jack
