#include "DASIOHost.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <type_traits>

#include "framework/exception.h"
#include "platform/message_window.h"
#include "platform/tick_count.h"

namespace spectrino {

std::atomic<TCustomASIOHostBasic*> CurrentHost{nullptr};

namespace {

constexpr uint32_t kTimeInfoFlagBits = 0x3F;

// The gate a thread is inside, and how deep, so that closing from inside a buffer switch does
// not wait for itself.
struct GateVisit {
    const TCallbackGate* gate = nullptr;
    int depth = 0;
};
thread_local GateVisit tGateVisit;

class GateScope {
public:
    explicit GateScope(TCallbackGate& gate) : gate_(gate), entered_(gate.Enter()) {
        if (entered_) {
            previous_ = tGateVisit;
            tGateVisit = GateVisit{&gate_, previous_.gate == &gate_ ? previous_.depth + 1 : 1};
        }
    }
    ~GateScope() {
        if (entered_) {
            tGateVisit = previous_;
            gate_.Leave();
        }
    }
    GateScope(const GateScope&) = delete;
    GateScope& operator=(const GateScope&) = delete;
    explicit operator bool() const { return entered_; }

private:
    TCallbackGate& gate_;
    bool entered_;
    GateVisit previous_;
};

TCustomASIOHostBasic* Host() {
    return CurrentHost.load(std::memory_order_acquire);
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

template <typename T>
std::size_t Count(const std::vector<T>& buffer, std::size_t blockSize) {
    return std::min(buffer.size(), blockSize);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCallbackGate

bool TCallbackGate::Enter() {
    uint32_t state = state_.load(std::memory_order_acquire);
    do {
        if ((state & kOpen) == 0) {
            return false;
        }
    } while (!state_.compare_exchange_weak(state, state + 1, std::memory_order_acquire,
                                           std::memory_order_acquire));
    return true;
}

void TCallbackGate::Leave() {
    state_.fetch_sub(1, std::memory_order_release);
}

void TCallbackGate::Open() {
    state_.fetch_or(kOpen, std::memory_order_release);
}

void TCallbackGate::Close() {
    state_.fetch_and(~kOpen, std::memory_order_acq_rel);
    const uint32_t own = tGateVisit.gate == this ? static_cast<uint32_t>(tGateVisit.depth) : 0;
    while ((state_.load(std::memory_order_acquire) & ~kOpen) > own) {
        std::this_thread::yield();
    }
}

bool TCallbackGate::IsOpen() const {
    return (state_.load(std::memory_order_acquire) & kOpen) != 0;
}

// ---------------------------------------------------------------------------------------------
// TASIOTimeSub

TASIOTimeSub::TASIOTimeSub() {
    record_.timeInfo.speed = 1.0;
    record_.timeInfo.sampleRate = 44100.0;
    record_.timeInfo.flags =
        kSystemTimeValid | kSamplePositionValid | kSampleRateValid | kSpeedValid;
}

template <typename Change>
void TASIOTimeSub::Modify(Change change) {
    bool changed;
    {
        const std::lock_guard lock(mutex_);
        changed = change(record_.timeInfo);
    }
    if (changed) {
        OnChanged(*this);
    }
}

int64_t TASIOTimeSub::SamplePos() const {
    const std::lock_guard lock(mutex_);
    return ASIOSamplesToInt64(record_.timeInfo.samplePosition);
}

void TASIOTimeSub::SetSamplePos(int64_t value) {
    Modify([value](AsioTimeInfo& info) {
        if (ASIOSamplesToInt64(info.samplePosition) == value) {
            return false;
        }
        info.samplePosition = Int64ToASIOSamples(value);
        return true;
    });
}

double TASIOTimeSub::Speed() const {
    const std::lock_guard lock(mutex_);
    return record_.timeInfo.speed;
}

void TASIOTimeSub::SetSpeed(double value) {
    Modify([value](AsioTimeInfo& info) {
        if (info.speed == value) {
            return false;
        }
        info.speed = value;
        return true;
    });
}

double TASIOTimeSub::SampleRate() const {
    const std::lock_guard lock(mutex_);
    return record_.timeInfo.sampleRate;
}

void TASIOTimeSub::SetSampleRate(double value) {
    Modify([value](AsioTimeInfo& info) {
        if (info.sampleRate == value) {
            return false;
        }
        info.sampleRate = value;
        return true;
    });
}

TATFlags TASIOTimeSub::Flags() const {
    const std::lock_guard lock(mutex_);
    return TATFlags::FromBits(record_.timeInfo.flags & kTimeInfoFlagBits);
}

void TASIOTimeSub::SetFlags(TATFlags value) {
    const std::lock_guard lock(mutex_);
    record_.timeInfo.flags = value.Bits() & kTimeInfoFlagBits;
}

void TASIOTimeSub::Assign(const TASIOTimeSub& other) {
    if (&other != this) {
        Assign(other.Record());
    }
}

void TASIOTimeSub::Assign(const TASIORecord& record) {
    const std::lock_guard lock(mutex_);
    record_ = record;
}

TASIORecord TASIOTimeSub::Record() const {
    const std::lock_guard lock(mutex_);
    return record_;
}

// ---------------------------------------------------------------------------------------------
// Driver callbacks

void ASIOBufferSwitch(int32_t doubleBufferIndex, ASIOBool /*directProcess*/) {
    TCustomASIOHostBasic* host = Host();
    if (host == nullptr) {
        return;
    }
    const GateScope scope(host->FGate);
    if (scope) {
        host->Dispatch({CM_ASIOBufferSwitch, 1, doubleBufferIndex});
    }
}

void ASIOSampleRateChanged(ASIOSampleRate /*sampleRate*/) {
    if (TCustomASIOHostBasic* host = Host()) {
        host->OnSampleRateChanged(*host);
    }
}

int32_t ASIOMessage(int32_t selector, int32_t value, void* /*message*/, double* /*opt*/) {
    TCustomASIOHostBasic* host = Host();
    switch (selector) {
        case kAsioSelectorSupported:
            if (value < kAsioEngineVersion || value > kAsioSupportsInputMonitor) {
                return 0;
            }
            if (host == nullptr) {
                return value <= kAsioLatenciesChanged ? 1 : 0;
            }
            return host->SelectorSupport().Contains(
                       static_cast<TASIOSelectorSupport>(value - kAsioEngineVersion))
                       ? 1
                       : 0;
        case kAsioEngineVersion:
            return 2;
        case kAsioResetRequest:
        case kAsioBufferSizeChange:
            if (host != nullptr) {
                host->PostCommand(0);
            }
            return 1;
        case kAsioResyncRequest:
            return 0;
        case kAsioLatenciesChanged:
            if (host != nullptr) {
                host->PostCommand(3);
            }
            return 1;
        case kAsioSupportsTimeInfo:
            return 1;
        case kAsioSupportsTimeCode:
            return 0;
        case kAsioSupportsInputMonitor:
            return 1;
        default:
            return 0;
    }
}

ASIOTime* ASIOBufferSwitchTimeInfo(ASIOTime* params, int32_t doubleBufferIndex,
                                   ASIOBool /*directProcess*/) {
    TCustomASIOHostBasic* host = Host();
    if (host == nullptr) {
        return nullptr;
    }
    const GateScope scope(host->FGate);
    if (scope) {
        if (params != nullptr) {
            host->FASIOTime->Assign(*params);
        }
        host->Dispatch({CM_ASIOBufferSwitchTimeInfo, 2, doubleBufferIndex});
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// TCustomASIOHostBasic

TCustomASIOHostBasic::TCustomASIOHostBasic()
    : FHandle(std::make_unique<platform::MessageWindow>()),
      FASIOTime(std::make_unique<TASIOTimeSub>()) {
    CurrentHost.store(this, std::memory_order_release);
    ListAsioDrivers(FAsioDriverList);
    FDriverList.reserve(FAsioDriverList.size());
    for (const TAsioDriverDesc& desc : FAsioDriverList) {
        FDriverList.push_back(DriverDescName(desc));
    }
    FCallbacks.bufferSwitch = &ASIOBufferSwitch;
    FCallbacks.sampleRateDidChange = &ASIOSampleRateChanged;
    FCallbacks.asioMessage = &ASIOMessage;
    FCallbacks.bufferSwitchTimeInfo = &ASIOBufferSwitchTimeInfo;
}

TCustomASIOHostBasic::~TCustomASIOHostBasic() {
    Shutdown();
}

void TCustomASIOHostBasic::Shutdown() {
    if (FShutDown) {
        return;
    }
    FShutDown = true;
    OnDestroy(*this);
    if (FActive) {
        SetActive(false);
    }
    // Only once the driver has stopped: it may read the record until then.
    FCallbacks.bufferSwitchTimeInfo = nullptr;
    try {
        CloseDriver();
    } catch (...) {
    }
    TCustomASIOHostBasic* self = this;
    CurrentHost.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

void TCustomASIOHostBasic::Dispatch(const TASIOMessage& message) {
    switch (message.Msg) {
        case CM_ASIOCommand:
            HandleCommand(message.WParam, message.LParam);
            break;
        case CM_ASIOSamplePosition:
            OnUpdateSamplePos(
                *this, ASIOSamplesToInt64(ASIOSamples{static_cast<uint32_t>(message.WParam),
                                                      static_cast<uint32_t>(message.LParam)}));
            break;
        case CM_ASIOBufferSwitch:
            BufferSwitch(static_cast<int32_t>(message.LParam));
            break;
        case CM_ASIOBufferSwitchTimeInfo:
            BufferSwitchTimeInfo(static_cast<int32_t>(message.LParam), FASIOTime->Record());
            break;
        default:
            break;
    }
}

void TCustomASIOHostBasic::HandleCommand(int64_t command, int64_t argument) {
    if (!FDriver) {
        return;
    }
    switch (command) {
        case 0:
            Reset();
            break;
        case 1:
            BufferSwitch(static_cast<int32_t>(argument));
            break;
        case 2:
            BufferSwitchTimeInfo(static_cast<int32_t>(argument), FASIOTime->Record());
            break;
        case 3:
            FetchLatencies();
            OnLatencyChanged(*this);
            break;
        default:
            break;
    }
}

void TCustomASIOHostBasic::PostCommand(int64_t command) {
    std::atomic<bool>& pending = command == 0 ? FResetPending : FLatencyPending;
    if (pending.exchange(true, std::memory_order_acq_rel)) {
        return;  // one is on its way already
    }
    FHandle->Post([this, command, &pending] {
        pending.store(false, std::memory_order_release);
        try {
            Dispatch({CM_ASIOCommand, command, 0});
        } catch (...) {
            // A driver that cannot be reopened leaves the host without one; the failure has
            // nowhere to go on this path.
        }
    });
}

void TCustomASIOHostBasic::FetchLatencies() {
    int32_t input = 0;
    int32_t output = 0;
    FDriver->GetLatencies(&input, &output);
    FInputLatency.store(input, std::memory_order_relaxed);
    FOutputLatency.store(output, std::memory_order_relaxed);
}

void TCustomASIOHostBasic::SetActive(bool value) {
    if (!FDriver || value == FActive) {
        return;
    }
    if (value) {
        try {
            FActive = FDriver->Start() == ASE_OK;
        } catch (...) {
            FBufferSize.store(2048, std::memory_order_relaxed);
            FSampleRate.store(44100.0, std::memory_order_relaxed);
            FActive = false;
        }
        if (!FActive) {
            try {
                FDriver->Stop();
            } catch (...) {
            }
        }
        return;
    }
    FActive = false;
    try {
        FDriver->Stop();
    } catch (...) {
    }
    if (FBuffersCreated) {
        ZeroDriverBuffers();
    }
}

void TCustomASIOHostBasic::ZeroDriverBuffers() {
    // What the buffers hold, not BufferSize: that may have changed since they were made.
    const std::size_t count = FDriverBufferSize;
    const auto zero = [count](const ASIOBufferInfo* infos,
                              const std::vector<ASIOChannelInfo>& channels) {
        for (std::size_t i = 0; i < channels.size(); ++i) {
            const int width = ASIOSampleSize(channels[i].type);
            const std::size_t bytes = count * static_cast<std::size_t>(width != 0 ? width : 4);
            for (void* half : infos[i].buffers) {
                if (half != nullptr) {
                    std::memset(half, 0, bytes);
                }
            }
        }
    };
    zero(FOutputBuffers, FOutputChannelInfos);
    zero(FInputBuffers, FInputChannelInfos);
}

void TCustomASIOHostBasic::ClearDriverValues() {
    FInputLatency.store(0, std::memory_order_relaxed);
    FOutputLatency.store(0, std::memory_order_relaxed);
    FInputChannelCount.store(0, std::memory_order_relaxed);
    FOutputChannelCount.store(0, std::memory_order_relaxed);
}

void TCustomASIOHostBasic::SetDriverIndex(int value) {
    if (value == FDriverIndex) {
        return;
    }
    const bool wasActive = FActive;
    SetActive(false);
    const int count = static_cast<int>(FDriverList.size());
    FDriverIndex = value < -1 ? -1 : (value >= count ? count - 1 : value);
    if (FDriverIndex == -1) {
        FDriverName.clear();
        ClearDriverValues();
        FBufferSize.store(0, std::memory_order_relaxed);
        CloseDriver();
    } else {
        try {
            CloseDriver();
            FDriverName = FDriverList[static_cast<std::size_t>(FDriverIndex)];
            OpenDriver();
        } catch (...) {
            return;  // the index stays chosen, with no driver bound
        }
    }
    if (FDriver) {
        char name[256] = {};
        FDriver->GetDriverName(name);
        FDriverVersion = FDriver->GetDriverVersion();
        CanTimeCode();
        CanTimeInfo();
        CanTransport();
        CanInputGain();
        CanInputMeter();
        CanOutputGain();
        CanOutputMeter();
    }
    OnDriverChanged(*this);
    SetActive(wasActive);
}

void TCustomASIOHostBasic::SetDriverName(const std::string& name) {
    for (std::size_t i = 0; i < FDriverList.size(); ++i) {
        if (EqualsIgnoringCase(FDriverList[i], name)) {
            SetDriverIndex(static_cast<int>(i));
            return;
        }
    }
}

void TCustomASIOHostBasic::OpenDriver() {
    bool wasActive = false;
    if (FDriver) {
        try {
            wasActive = FActive;
            SetActive(false);
            CloseDriver();
        } catch (...) {
        }
    }
    if (FDriverIndex >= 0) {
        try {
            IKivaASIORef driver;
            if (CreateDriver(FAsioDriverList[static_cast<std::size_t>(FDriverIndex)], driver)) {
                // Drivers answer ASIOTrue; ASIOFalse or an error code is a failed init.
                if (driver->Init(FHandle->Handle()) > 0) {
                    FDriver = std::move(driver);
                }
            }
        } catch (...) {
            FDriver.Reset();
        }
    }
    if (!FDriver) {
        throw Exception("ASIO Driver Failed!");
    }
    FBuffersCreated = CreateBuffers();
    if (wasActive) {
        SetActive(true);
    }
}

void TCustomASIOHostBasic::CloseDriver() {
    if (FDriver) {
        // Buffers are never disposed under a running stream.
        if (FActive) {
            SetActive(false);
        }
        if (FBuffersCreated) {
            try {
                DestroyBuffers();
            } catch (...) {
            }
        }
        FGate.Close();
        FBuffersCreated = false;
        FDriver.Reset();
    }
    ClearDriverValues();
    FSampleRate.store(44100.0, std::memory_order_relaxed);
}

bool TCustomASIOHostBasic::CreateBuffers() {
    if (!FDriver) {
        return false;
    }
    if (FBuffersCreated) {
        DestroyBuffers();
    }
    FGate.Close();

    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t preferred = 0;
    int32_t granularity = 0;
    FDriver->GetBufferSize(&minimum, &maximum, &preferred, &granularity);
    FBufferMinimum = minimum;
    FBufferMaximum = maximum;
    FBufferPreferredSize = minimum == maximum ? minimum : preferred;
    FBufferGranularity = granularity;
    const auto reported = static_cast<uint32_t>(FBufferPreferredSize);
    FBufferSize.store(reported == 0 || reported > 65530 ? 4096 : reported,
                      std::memory_order_relaxed);

    double rate = SampleRate();
    FDriver->GetSampleRate(&rate);
    FSampleRate.store(rate, std::memory_order_relaxed);
    SetSampleRate(rate);

    int32_t inputs = 0;
    int32_t outputs = 0;
    FDriver->GetChannels(&inputs, &outputs);
    inputs = std::max(inputs, 0);
    outputs = std::max(outputs, 0);
    FInputChannelCount.store(inputs, std::memory_order_relaxed);
    FOutputChannelCount.store(outputs, std::memory_order_relaxed);

    // One block for all buffer infos, inputs first, starting on a 16-byte boundary.
    const auto total = static_cast<std::size_t>(inputs) + static_cast<std::size_t>(outputs);
    std::size_t space = total * sizeof(ASIOBufferInfo) + 16;
    FBufferBlock = std::make_unique<std::byte[]>(space);
    void* start = FBufferBlock.get();
    std::align(16, total * sizeof(ASIOBufferInfo), start, space);
    FInputBuffers = static_cast<ASIOBufferInfo*>(start);
    std::uninitialized_value_construct_n(FInputBuffers, total);
    FOutputBuffers = FInputBuffers + inputs;

    const auto describe = [this](int32_t count, ASIOBool isInput,
                                 std::vector<ASIOChannelInfo>& infos, ASIOBufferInfo* buffers) {
        infos.assign(static_cast<std::size_t>(count), ASIOChannelInfo{});
        for (int32_t i = 0; i < count; ++i) {
            ASIOChannelInfo& info = infos[static_cast<std::size_t>(i)];
            info.channel = i;
            info.isInput = isInput;
            FDriver->GetChannelInfo(&info);
            buffers[i] = ASIOBufferInfo{isInput, i, {nullptr, nullptr}};
        }
    };
    describe(inputs, ASIOTrue, FInputChannelInfos, FInputBuffers);
    describe(outputs, ASIOFalse, FOutputChannelInfos, FOutputBuffers);
    FInConverters.clear();
    for (const ASIOChannelInfo& info : FInputChannelInfos) {
        FInConverters.push_back(InputConverters[info.type]);
    }
    FOutConverters.clear();
    for (const ASIOChannelInfo& info : FOutputChannelInfos) {
        FOutConverters.push_back(OutputConverters[info.type]);
    }
    PrepareChannelBuffers();

    // The driver is asked for BufferSize, which every conversion counts on, also where the
    // reported preferred size had to be replaced.
    const uint32_t size = BufferSize();
    const bool created = FDriver->CreateBuffers(FInputBuffers, static_cast<int32_t>(total),
                                                static_cast<int32_t>(size), &FCallbacks) == ASE_OK;
    FDriverBufferSize = created ? size : 0;
    FBuffersCreated = created;
    if (created) {
        FGate.Open();
    }
    FetchLatencies();
    OnBuffersCreate(*this);
    OnLatencyChanged(*this);
    FRandSeed = platform::TickCount();
    return created;
}

void TCustomASIOHostBasic::DestroyBuffers() {
    if (!FDriver || !FBuffersCreated) {
        return;
    }
    if (FActive) {
        SetActive(false);
    }
    FGate.Close();
    OnBuffersDestroy(*this);
    try {
        FDriver->DisposeBuffers();
    } catch (...) {
    }
    FBufferBlock.reset();
    FInputBuffers = nullptr;
    FOutputBuffers = nullptr;
    FBuffersCreated = false;
    FDriverBufferSize = 0;
    FInputChannelInfos.clear();
    FOutputChannelInfos.clear();
    FInConverters.clear();
    FOutConverters.clear();
    ReleaseChannelBuffers();
    CollectEvents();
}

void TCustomASIOHostBasic::CollectEvents() {
    for (TNotifyEvent* event :
         {&OnCreate, &OnDestroy, &OnReset, &OnDriverChanged, &OnLatencyChanged,
          &OnSampleRateChanged, &OnBuffersCreate, &OnBuffersDestroy}) {
        event->Collect();
    }
    OnUpdateSamplePos.Collect();
    FOnNativeBufferSwitch.Collect();
}

void TCustomASIOHostBasic::SetSampleRate(double value) {
    const bool usable = value > 0.0 && value <= 1048575.0;
    FChosenRate = usable ? value : 44100.0;
    FSampleRate.store(FChosenRate, std::memory_order_relaxed);
    FASIOTime->SetSampleRate(value);
    if (FDriver) {
        FDriver->SetSampleRate(value);
    }
}

void TCustomASIOHostBasic::BufferSwitch(int32_t index) {
    TASIORecord record{};
    if (FDriver && FDriver->GetSamplePosition(&record.timeInfo.samplePosition,
                                              &record.timeInfo.systemTime) == ASE_OK) {
        record.timeInfo.flags |= kSystemTimeValid | kSamplePositionValid;
    }
    FASIOTime->Assign(record);
    BufferSwitchTimeInfo(index, record);
}

void TCustomASIOHostBasic::BufferSwitchTimeInfo(int32_t index, const TASIORecord& params) {
    if (!FDriver) {
        return;
    }
    const ASIOSamples& position = params.timeInfo.samplePosition;
    Dispatch({CM_ASIOSamplePosition, position.hi, position.lo});
    FOnNativeBufferSwitch(*this, FInputBuffers, index);
    if (GateOpen()) {
        FDriver->OutputReady();
    }
}

void TCustomASIOHostBasic::ControlPanel() {
    if (FDriver) {
        FDriver->ControlPanel();
    }
}

void TCustomASIOHostBasic::Reset() {
    // The driver object is made again and starts at its own default rate; the host's user
    // measures at the rate it chose, so the driver goes back to that before it streams again.
    const double rate = FChosenRate;
    const bool wasActive = FActive;
    SetActive(false);
    OpenDriver();
    RestoreSampleRate(rate);
    SetActive(wasActive);
    OnReset(*this);
}

void TCustomASIOHostBasic::RestoreSampleRate(double rate) {
    // A driver that can no longer run at the rate keeps its own, and SampleRate says so.
    if (FDriver && SampleRate() != rate && FDriver->CanSampleRate(rate) == ASE_OK) {
        SetSampleRate(rate);
    }
}

int TCustomASIOHostBasic::GetNumDrivers() const {
    return static_cast<int>(FAsioDriverList.size());
}

int32_t TCustomASIOHostBasic::CanSampleRate(double sampleRate) {
    return FDriver ? FDriver->CanSampleRate(sampleRate) : ASE_NotPresent;
}

void TCustomASIOHostBasic::GetChannelInfo(int index, ASIOChannelInfo& info) const {
    if (index >= 0 && static_cast<std::size_t>(index) < FInputChannelInfos.size()) {
        info = FInputChannelInfos[static_cast<std::size_t>(index)];
    } else {
        info = ASIOChannelInfo{};
    }
}

int32_t TCustomASIOHostBasic::GetInputMeter(int32_t channel) {
    if (!FDriver) {
        return -1;
    }
    ASIOChannelControls controls{};
    controls.channel = channel;
    controls.isInput = ASIOTrue;
    FDriver->Future(kAsioGetInputMeter, &controls);
    return controls.meter;
}

int32_t TCustomASIOHostBasic::GetOutputMeter(int32_t channel) {
    if (!FDriver) {
        return -1;
    }
    ASIOChannelControls controls{};
    controls.channel = channel;
    controls.isInput = ASIOFalse;
    FDriver->Future(kAsioGetOutputMeter, &controls);
    return controls.meter;
}

void TCustomASIOHostBasic::SetInputGain(int32_t channel, int32_t gain) {
    if (!FDriver) {
        return;
    }
    ASIOChannelControls controls{};
    controls.channel = channel;
    controls.isInput = ASIOTrue;
    controls.gain = gain;
    FDriver->Future(kAsioSetInputGain, &controls);
}

void TCustomASIOHostBasic::SetOutputGain(int32_t channel, int32_t gain) {
    if (!FDriver) {
        return;
    }
    ASIOChannelControls controls{};
    controls.channel = channel;
    controls.isInput = ASIOFalse;
    controls.gain = gain;
    FDriver->Future(kAsioSetOutputGain, &controls);
}

bool TCustomASIOHostBasic::QueryCanDo(int32_t selector, TASIOCanDo member) {
    if (!FDriver) {
        return false;
    }
    const bool yes = FDriver->Future(selector, nullptr) == ASE_SUCCESS;
    if (yes) {
        FCanDos.Include(member);
    }
    return yes;
}

bool TCustomASIOHostBasic::CanTimeInfo() {
    return QueryCanDo(kAsioCanTimeInfo, acdTimeInfo);
}
bool TCustomASIOHostBasic::CanTimeCode() {
    return QueryCanDo(kAsioCanTimeCode, acdTimeCode);
}
bool TCustomASIOHostBasic::CanTransport() {
    return QueryCanDo(kAsioCanTransport, acdTransport);
}
bool TCustomASIOHostBasic::CanInputGain() {
    return QueryCanDo(kAsioCanInputGain, acdInputGain);
}
bool TCustomASIOHostBasic::CanInputMeter() {
    return QueryCanDo(kAsioCanInputMeter, acdInputMeter);
}
bool TCustomASIOHostBasic::CanOutputGain() {
    return QueryCanDo(kAsioCanOutputGain, acdOutputGain);
}
bool TCustomASIOHostBasic::CanOutputMeter() {
    return QueryCanDo(kAsioCanOutputMeter, acdOutputMeter);
}

void TCustomASIOHostBasic::SetCanDos(TASIOCanDos /*value*/) {}

double TCustomASIOHostBasic::RandomUniform() {
    FRandSeed = FRandSeed * 134775813u + 1u;
    return FRandSeed * (1.0 / 4294967296.0);
}

// ---------------------------------------------------------------------------------------------
// TCustomASIOHost

TCustomASIOHost::TCustomASIOHost() {
    FClipBuffer.Store(ClipDigital.Load());
}

TCustomASIOHost::~TCustomASIOHost() {
    Shutdown();
}

TASIOHost::~TASIOHost() {
    Shutdown();
}

int TCustomASIOHost::SwitchMode() const {
    if (OnBufferSwitch64) {
        return 2;
    }
    return OnBufferSwitch32 ? 1 : 0;
}

void TCustomASIOHost::SetPreventClipping(TPreventClipping value) {
    if (value == pcDigital) {
        FClipBuffer.Store(ClipDigital.Load());
    } else if (value == pcAnalog) {
        FClipBuffer.Store(ClipAnalog.Load());
    }
    FPreventClipping.store(value, kRelaxed);
}

void TCustomASIOHost::SetInputChannelOffset(uint16_t value) {
    if (value != InputChannelOffset() && value < InputChannelCount()) {
        FInputChannelOffset.store(value, kRelaxed);
    }
}

void TCustomASIOHost::SetOutputChannelOffset(uint16_t value) {
    if (value != OutputChannelOffset() && value < OutputChannelCount()) {
        FOutputChannelOffset.store(value, kRelaxed);
    }
}

void TCustomASIOHost::SetCustomGenerator(TASIOGenerator* value) {
    if (value == CustomGenerator()) {
        return;
    }
    FCustomGenerator.store(value, kRelaxed);
    if (value != nullptr) {
        value->SetBlockSize(BufferSize());
        value->SetSampleRate(SampleRate());
    }
}

void TCustomASIOHost::PrepareChannelBuffers() {
    const std::size_t size = BufferSize();
    const auto inputs = static_cast<std::size_t>(InputChannelCount());
    const auto outputs = static_cast<std::size_t>(OutputChannelCount());
    FSingleInBuffer.assign(inputs, TSingleDynArray(size, 0.0f));
    FSingleOutBuffer.assign(outputs, TSingleDynArray(size, 0.0f));
    FDoubleInBuffer.assign(inputs, TDoubleDynArray(size, 0.0));
    FDoubleOutBuffer.assign(outputs, TDoubleDynArray(size, 0.0));
    if (TASIOGenerator* generator = CustomGenerator()) {
        generator->SetBlockSize(static_cast<uint32_t>(size));
    }
}

void TCustomASIOHost::CollectEvents() {
    TCustomASIOHostBasic::CollectEvents();
    OnBufferSwitch32.Collect();
    OnBufferSwitch64.Collect();
    OnBufferSwitchNative.Collect();
    OnInput2Sample.Collect();
    OnSample2Output.Collect();
}

void TCustomASIOHost::ReleaseChannelBuffers() {
    FSingleInBuffer.clear();
    FSingleOutBuffer.clear();
    FDoubleInBuffer.clear();
    FDoubleOutBuffer.clear();
}

template <typename T>
void TCustomASIOHost::FillNoise(std::vector<std::vector<T>>& buffers) {
    for (std::vector<T>& buffer : buffers) {
        for (T& sample : buffer) {
            sample = static_cast<T>(2.0 * RandomUniform() - 1.0);
        }
    }
}

template <typename T>
bool TCustomASIOHost::ProcessBlock(int32_t index, std::vector<std::vector<T>>& in,
                                   std::vector<std::vector<T>>& out) {
    constexpr bool k32 = std::is_same_v<T, float>;
    const std::size_t n = BufferSize();
    // A driver naming neither half gets no conversion either way.
    const bool half = index == 0 || index == 1;
    const ASIOBufferInfo* inInfos = InputBufferInfos();
    const ASIOBufferInfo* outInfos = OutputBufferInfos();

    const auto fillZero = [n](std::vector<std::vector<T>>& buffers) {
        for (std::vector<T>& buffer : buffers) {
            std::fill_n(buffer.begin(), Count(buffer, n), T{});
        }
    };
    const auto clip = [this, n](std::vector<std::vector<T>>& buffers) {
        const TClipPair pair = FClipBuffer.Load();
        const auto routine = [&pair] {
            if constexpr (k32) {
                return pair.Cb32;
            } else {
                return pair.Cb64;
            }
        }();
        if (routine == nullptr) {
            return;
        }
        for (std::vector<T>& buffer : buffers) {
            routine(buffer.data(), static_cast<int>(Count(buffer, n)));
        }
    };
    const auto generate = [this](std::vector<std::vector<T>>& buffers, bool output) {
        if constexpr (k32) {
            if (TASIOGenerator* generator = CustomGenerator()) {
                generator->ProcessBlock(buffers, output);
            }
        }
    };

    // Input pre-fill, or conversion from the driver.
    switch (const TBufferPreFill preFill = PreFillInBuffer(); preFill) {
        case bpfZero:
            fillZero(in);
            break;
        case bpfNoise:
            FillNoise(in);
            break;
        default:
            if (preFill == bpfCustom && k32) {
                generate(in, false);
                if (!GateOpen()) {
                    return false;
                }
                break;
            }
            for (std::size_t ch = 0; half && ch < in.size(); ++ch) {
                void* buffer = inInfos[ch].buffers[index];
                const TInConverter& converter = InConverters()[ch];
                const auto convert = [&converter] {
                    if constexpr (k32) {
                        return converter.Ic32;
                    } else {
                        return converter.Ic64;
                    }
                }();
                if (buffer != nullptr && convert != nullptr) {
                    convert(buffer, in[ch].data(), static_cast<int>(Count(in[ch], n)));
                }
            }
            break;
    }
    if (PreventClipping() != pcNone) {
        clip(in);
    }

    // Output pre-fill; otherwise the outputs keep what the previous block left.
    switch (PreFillOutBuffer()) {
        case bpfZero:
            fillZero(out);
            break;
        case bpfNoise:
            FillNoise(out);
            break;
        case bpfCustom:
            generate(out, true);
            if (!GateOpen()) {
                return false;
            }
            break;
        default:
            break;
    }

    const auto monitor = [&in, &out, n](std::size_t from, std::size_t to) {
        if (from < in.size() && to < out.size()) {
            std::copy_n(in[from].begin(), std::min(Count(in[from], n), Count(out[to], n)),
                        out[to].begin());
        }
    };
    const std::size_t inOffset = InputChannelOffset();
    const std::size_t outOffset = OutputChannelOffset();
    switch (InputMonitor()) {
        case imMono:
            monitor(inOffset, outOffset);
            break;
        case imStereo:
            monitor(inOffset, outOffset);
            monitor(inOffset + 1, outOffset + 1);
            break;
        case imAll:
            for (std::size_t ch = 0; ch < std::min(in.size(), out.size()); ++ch) {
                monitor(ch, ch);
            }
            break;
        default:
            break;
    }

    if constexpr (k32) {
        OnBufferSwitch32(*this, in, out);
    } else {
        OnBufferSwitch64(*this, in, out);
    }
    // The handler may have taken the buffers down; touch nothing then.
    if (!GateOpen()) {
        return false;
    }

    if (PreventClipping() != pcNone) {
        clip(out);
    }
    for (std::size_t ch = 0; half && ch < std::min(out.size(), OutConverters().size()); ++ch) {
        void* buffer = outInfos[ch].buffers[index];
        const TOutConverter& converter = OutConverters()[ch];
        const auto convert = [&converter] {
            if constexpr (k32) {
                return converter.Oc32;
            } else {
                return converter.Oc64;
            }
        }();
        if (buffer != nullptr && convert != nullptr) {
            convert(out[ch].data(), buffer, static_cast<int>(Count(out[ch], n)));
        }
    }
    return true;
}

void TCustomASIOHost::BufferSwitchTimeInfo(int32_t index, const TASIORecord& params) {
    IKivaASIO* driver = Driver();
    if (driver == nullptr) {
        return;
    }
    const ASIOSamples& position = params.timeInfo.samplePosition;
    Dispatch({CM_ASIOSamplePosition, position.hi, position.lo});
    if (!GateOpen()) {
        return;
    }
    if (OnBufferSwitchNative) {
        OnBufferSwitchNative(*this, BufferInfos(), index);
    } else if (SwitchMode() == 2) {
        if (!ProcessBlock(index, FDoubleInBuffer, FDoubleOutBuffer)) {
            return;
        }
    } else if (!ProcessBlock(index, FSingleInBuffer, FSingleOutBuffer)) {
        return;
    }
    if (GateOpen()) {
        driver->OutputReady();
    }
}

}  // namespace spectrino
