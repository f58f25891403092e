// The ASIO host: picks one installed driver, opens it, creates its double buffers for every
// channel, starts and stops it, answers its messages and turns each buffer switch into
// floating-point channel buffers handed to user code.
//
// Threads: everything runs on the thread that created the host, except the per-block work,
// which runs on the driver's thread inside its bufferSwitch / bufferSwitchTimeInfo calls. The
// options read per block take effect from the next block. Before buffers are disposed or a
// driver is released the host waits until no buffer switch is running and lets none start, so
// a block never sees freed buffers. Resets and latency changes the driver asks for are
// completed on the host's own thread once the driver's call has returned; a reset takes the
// reopened driver back to the rate last set through SetSampleRate. Do not change the
// driver, buffers or Active from inside a buffer-switch event.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "asio/DASIOConvert.h"
#include "asio/DASIOGenerator.h"
#include "asio/KivaASIO.h"
#include "asio/asio_records.h"
#include "asio/buffer_types.h"

namespace spectrino {

namespace platform {
class MessageWindow;
}

// A set of up to 32 members of an enumeration.
template <typename E>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> items) {
        for (const E item : items) {
            bits_ |= Bit(item);
        }
    }
    static constexpr TSet FromBits(uint32_t bits) {
        TSet set;
        set.bits_ = bits;
        return set;
    }
    constexpr bool Contains(E item) const { return (bits_ & Bit(item)) != 0; }
    constexpr void Include(E item) { bits_ |= Bit(item); }
    constexpr void Exclude(E item) { bits_ &= ~Bit(item); }
    constexpr uint32_t Bits() const { return bits_; }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr uint32_t Bit(E item) { return 1u << static_cast<unsigned>(item); }
    uint32_t bits_ = 0;
};

enum TASIOSelectorSupport {
    assEngineVersion,
    assResetRequest,
    assBufferSizeChange,
    assResyncRequest,
    assLatenciesChanged,
    assSupportsTimeInfo,
    assSupportsTimeCode,
    assSupportsInputMonitor,
};
using TASIOSelectorSupports = TSet<TASIOSelectorSupport>;

enum TASIOCanDo {
    acdInputMonitor,
    acdTimeInfo,
    acdTimeCode,
    acdTransport,
    acdInputGain,
    acdInputMeter,
    acdOutputGain,
    acdOutputMeter,
};
using TASIOCanDos = TSet<TASIOCanDo>;

// The time-info flag bits 1, 2, 4, 8, 16, 32 in this order.
enum TATFlag {
    atSystemTimeValid,
    atSamplePositionValid,
    atSampleRateValid,
    atSpeedValid,
    atSampleRateChanged,
    atClockSourceChanged,
};
using TATFlags = TSet<TATFlag>;

enum TBufferPreFill { bpfNone, bpfZero, bpfNoise, bpfCustom };
enum TPreventClipping { pcNone, pcDigital, pcAnalog };
enum TInputMonitor { imDisabled, imMono, imStereo, imAll };

// A method reference that the owner's thread assigns while another thread may raise it.
// Raising a cleared event does nothing. A replaced handler stays alive (a raise may still be
// running it) until the owner calls Collect at a moment when nothing can raise the event.
template <typename... Args>
class TEvent {
public:
    using Handler = std::function<void(Args...)>;

    TEvent() = default;
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    // Assign from one thread only (the owner's).
    TEvent& operator=(Handler handler) {
        const Handler* current = nullptr;
        if (handler) {
            handlers_.push_back(std::make_unique<const Handler>(std::move(handler)));
            current = handlers_.back().get();
        }
        current_.store(current, std::memory_order_release);
        return *this;
    }
    explicit operator bool() const { return current_.load(std::memory_order_acquire) != nullptr; }
    void operator()(Args... args) const {
        if (const Handler* handler = current_.load(std::memory_order_acquire)) {
            (*handler)(args...);
        }
    }
    // Frees the replaced handlers.
    void Collect() {
        const Handler* current = current_.load(std::memory_order_relaxed);
        std::erase_if(handlers_,
                      [current](const auto& handler) { return handler.get() != current; });
    }

private:
    std::atomic<const Handler*> current_{nullptr};
    std::vector<std::unique_ptr<const Handler>> handlers_;
};

using TASIORecord = ASIOTime;

// One ASIOTime record with its time-info fields as properties. Safe to use from the driver's
// thread and the host's thread at once.
class TASIOTimeSub {
public:
    TASIOTimeSub();
    TASIOTimeSub(const TASIOTimeSub&) = delete;
    TASIOTimeSub& operator=(const TASIOTimeSub&) = delete;

    // hi * 2^32 + lo of the record's samplePosition.
    int64_t SamplePos() const;
    void SetSamplePos(int64_t value);
    double Speed() const;
    void SetSpeed(double value);
    double SampleRate() const;
    void SetSampleRate(double value);
    TATFlags Flags() const;
    // Keeps only the six time-info bits.
    void SetFlags(TATFlags value);

    // Copies the whole record.
    void Assign(const TASIOTimeSub& other);
    void Assign(const TASIORecord& record);
    TASIORecord Record() const;

    // Raised when SamplePos, Speed or SampleRate changes through its setter.
    TEvent<TASIOTimeSub&> OnChanged;

private:
    template <typename Change>
    void Modify(Change change);

    mutable std::mutex mutex_;
    TASIORecord record_{};
};

class TCustomASIOHostBasic;
class TCustomASIOHost;

using TNotifyEvent = TEvent<TCustomASIOHostBasic&>;
using TSamplePositionUpdateEvent = TEvent<TCustomASIOHostBasic&, int64_t>;
using TBufferSwitchEvent32 =
    TEvent<TCustomASIOHost&, const TQorArrayOfSingleDynArray&, TQorArrayOfSingleDynArray&>;
using TBufferSwitchEvent64 =
    TEvent<TCustomASIOHost&, const TQorArrayOfDoubleDynArray&, TQorArrayOfDoubleDynArray&>;
using TBufferSwitchEventNative = TEvent<TCustomASIOHost&, PASIOBufferList, int32_t>;
using TSample2Event = TEvent<TCustomASIOHost&, float, int32_t>;

// The internal messages the driver callbacks are turned into.
inline constexpr uint32_t CM_ASIOCommand = 2676;
inline constexpr uint32_t CM_ASIOSamplePosition = 2677;
inline constexpr uint32_t CM_ASIOBufferSwitch = 2678;
inline constexpr uint32_t CM_ASIOBufferSwitchTimeInfo = 2679;

struct TASIOMessage {
    uint32_t Msg;
    int64_t WParam;
    int64_t LParam;
};

// Lets buffer switches run only while it is open; closing waits for those already running.
class TCallbackGate {
public:
    bool Enter();
    void Leave();
    void Open();
    // Waits for every buffer switch inside to leave, except one running on the calling thread.
    void Close();
    bool IsOpen() const;

private:
    static constexpr uint32_t kOpen = 0x80000000u;
    std::atomic<uint32_t> state_{0};
};

// The driver callbacks. They always act on the most recently created host.
void ASIOBufferSwitch(int32_t doubleBufferIndex, ASIOBool directProcess);
void ASIOSampleRateChanged(ASIOSampleRate sampleRate);
int32_t ASIOMessage(int32_t selector, int32_t value, void* message, double* opt);
ASIOTime* ASIOBufferSwitchTimeInfo(ASIOTime* params, int32_t doubleBufferIndex,
                                   ASIOBool directProcess);

// The most recently created host still alive, or null.
extern std::atomic<TCustomASIOHostBasic*> CurrentHost;

class TCustomASIOHostBasic {
public:
    // Reads the installed drivers; no driver is bound yet.
    TCustomASIOHostBasic();
    virtual ~TCustomASIOHostBasic();
    TCustomASIOHostBasic(const TCustomASIOHostBasic&) = delete;
    TCustomASIOHostBasic& operator=(const TCustomASIOHostBasic&) = delete;

    virtual void SetActive(bool value);
    virtual void SetDriverIndex(int value);
    virtual void SetDriverName(const std::string& name);
    virtual int32_t GetInputMeter(int32_t channel);
    virtual int32_t GetOutputMeter(int32_t channel);
    virtual bool CanInputGain();
    virtual bool CanInputMeter();
    virtual bool CanOutputGain();
    virtual bool CanOutputMeter();
    virtual void SetCanDos(TASIOCanDos value);
    virtual bool CanTimeCode();
    virtual bool CanTimeInfo();
    virtual bool CanTransport();
    virtual bool CreateBuffers();
    virtual void DestroyBuffers();
    virtual void SetSampleRate(double value);
    virtual void BufferSwitch(int32_t index);
    virtual void BufferSwitchTimeInfo(int32_t index, const TASIORecord& params);
    virtual void ControlPanel();
    virtual void Reset();
    virtual int GetNumDrivers() const;
    virtual void OpenDriver();
    virtual void CloseDriver();
    virtual int32_t CanSampleRate(double sampleRate);
    virtual void SetOutputGain(int32_t channel, int32_t gain);
    virtual void SetInputGain(int32_t channel, int32_t gain);

    bool Active() const { return FActive; }
    // False also when a chosen driver failed to open or was dropped on a failed reset.
    bool DriverOpen() const { return FDriver.Get() != nullptr; }
    int DriverIndex() const { return FDriverIndex; }
    const std::string& DriverName() const { return FDriverName; }
    int32_t DriverVersion() const { return FDriverVersion; }
    const std::vector<std::string>& DriverList() const { return FDriverList; }
    const TAsioDriverList& AsioDriverList() const { return FAsioDriverList; }
    uint32_t BufferSize() const { return FBufferSize.load(std::memory_order_relaxed); }
    int32_t BufferMinimum() const { return FBufferMinimum; }
    int32_t BufferMaximum() const { return FBufferMaximum; }
    int32_t BufferPreferredSize() const { return FBufferPreferredSize; }
    int32_t BufferGranularity() const { return FBufferGranularity; }
    int32_t InputLatency() const { return FInputLatency.load(std::memory_order_relaxed); }
    int32_t OutputLatency() const { return FOutputLatency.load(std::memory_order_relaxed); }
    int InputChannelCount() const { return FInputChannelCount.load(std::memory_order_relaxed); }
    int OutputChannelCount() const { return FOutputChannelCount.load(std::memory_order_relaxed); }
    double SampleRate() const { return FSampleRate.load(std::memory_order_relaxed); }
    TASIOSelectorSupports SelectorSupport() const {
        return TASIOSelectorSupports::FromBits(FSelectorSupport.load(std::memory_order_relaxed));
    }
    void SetSelectorSupport(TASIOSelectorSupports value) {
        FSelectorSupport.store(value.Bits(), std::memory_order_relaxed);
    }
    TASIOCanDos CanDos() const { return FCanDos; }
    TASIOTimeSub& ASIOTime() { return *FASIOTime; }
    bool BuffersCreated() const { return FBuffersCreated; }

    // The stored record of input channel `index`; zeros when there is no such channel.
    void GetChannelInfo(int index, ASIOChannelInfo& info) const;

    // OnUpdateSamplePos and OnSampleRateChanged are raised on the driver's thread (the latter
    // on whichever thread the driver uses); the others on the host's own thread.
    TNotifyEvent OnCreate;  // raised by whoever finishes setting the host up
    TNotifyEvent OnDestroy;
    TNotifyEvent OnReset;
    TNotifyEvent OnDriverChanged;
    TNotifyEvent OnLatencyChanged;
    TNotifyEvent OnSampleRateChanged;
    TNotifyEvent OnBuffersCreate;
    TNotifyEvent OnBuffersDestroy;
    TSamplePositionUpdateEvent OnUpdateSamplePos;

protected:
    // Runs the handler of one internal message on the calling thread.
    void Dispatch(const TASIOMessage& message);

    // Called by CreateBuffers once BufferSize and the channel counts are known, and by
    // DestroyBuffers at its end.
    virtual void PrepareChannelBuffers() {}
    virtual void ReleaseChannelBuffers() {}
    // Frees replaced event handlers; called while no buffer switch can run.
    virtual void CollectEvents();

    // Stops, closes and detaches from the callbacks; the first call does the work. The most
    // derived destructor calls it while its own parts are still alive.
    void Shutdown();

    IKivaASIO* Driver() const { return FDriver.Get(); }
    // Whether buffers are in place for buffer switches.
    bool GateOpen() const { return FGate.IsOpen(); }
    PASIOBufferList BufferInfos() const { return FInputBuffers; }
    ASIOBufferInfo* InputBufferInfos() const { return FInputBuffers; }
    ASIOBufferInfo* OutputBufferInfos() const { return FOutputBuffers; }
    const std::vector<TInConverter>& InConverters() const { return FInConverters; }
    const std::vector<TOutConverter>& OutConverters() const { return FOutConverters; }

    // Reseeded from the clock by every CreateBuffers; used by the noise pre-fill.
    double RandomUniform();

    // Raised instead of the float processing by TCustomASIOHostBasic's own block handling.
    TEvent<TCustomASIOHostBasic&, PASIOBufferList, int32_t> FOnNativeBufferSwitch;

private:
    friend void ASIOBufferSwitch(int32_t, ASIOBool);
    friend void ASIOSampleRateChanged(ASIOSampleRate);
    friend int32_t ASIOMessage(int32_t, int32_t, void*, double*);
    friend TASIORecord* ASIOBufferSwitchTimeInfo(TASIORecord*, int32_t, ASIOBool);

    void HandleCommand(int64_t command, int64_t argument);
    // Completes a driver request on the host's thread after the driver's call has returned.
    void PostCommand(int64_t command);
    void FetchLatencies();
    bool QueryCanDo(int32_t selector, TASIOCanDo member);
    void ZeroDriverBuffers();
    void ClearDriverValues();
    // Asks a reopened driver for `rate` when it runs at another one and can run at it.
    void RestoreSampleRate(double rate);

    std::unique_ptr<platform::MessageWindow> FHandle;
    IKivaASIORef FDriver;
    TAsioDriverList FAsioDriverList;
    std::vector<std::string> FDriverList;
    ASIOCallbacks FCallbacks{};
    bool FBuffersCreated = false;
    std::unique_ptr<std::byte[]> FBufferBlock;
    ASIOBufferInfo* FInputBuffers = nullptr;
    ASIOBufferInfo* FOutputBuffers = nullptr;
    std::vector<ASIOChannelInfo> FInputChannelInfos;
    std::vector<ASIOChannelInfo> FOutputChannelInfos;
    std::vector<TInConverter> FInConverters;
    std::vector<TOutConverter> FOutConverters;
    std::unique_ptr<TASIOTimeSub> FASIOTime;
    TCallbackGate FGate;

    bool FActive = false;
    bool FShutDown = false;
    int FDriverIndex = -1;
    std::string FDriverName;
    int32_t FDriverVersion = 0;
    int32_t FBufferMinimum = 0;
    int32_t FBufferMaximum = 0;
    int32_t FBufferPreferredSize = 0;
    int32_t FBufferGranularity = 0;
    std::atomic<uint32_t> FBufferSize{0};
    std::atomic<int32_t> FInputLatency{0};
    std::atomic<int32_t> FOutputLatency{0};
    std::atomic<int> FInputChannelCount{0};
    std::atomic<int> FOutputChannelCount{0};
    std::atomic<double> FSampleRate{44100.0};
    // The rate last set through SetSampleRate (also by opening); unlike SampleRate() it is not
    // replaced by closing or by a failed start.
    double FChosenRate = 44100.0;
    // Samples per half of the driver's buffers as they were created; BufferSize may change
    // after that (a failed start sets it to 2048).
    uint32_t FDriverBufferSize = 0;
    std::atomic<uint32_t> FSelectorSupport{
        TASIOSelectorSupports{assEngineVersion, assResetRequest, assBufferSizeChange,
                              assResyncRequest, assLatenciesChanged}
            .Bits()};
    TASIOCanDos FCanDos;
    std::atomic<bool> FResetPending{false};
    std::atomic<bool> FLatencyPending{false};
    uint32_t FRandSeed = 0;
};

// The host with floating-point channel buffers and the per-block processing.
class TCustomASIOHost : public TCustomASIOHostBasic {
public:
    TCustomASIOHost();
    ~TCustomASIOHost() override;

    void BufferSwitchTimeInfo(int32_t index, const TASIORecord& params) override;

    TBufferPreFill PreFillInBuffer() const { return FPreFillInBuffer.load(kRelaxed); }
    void SetPreFillInBuffer(TBufferPreFill value) { FPreFillInBuffer.store(value, kRelaxed); }
    TBufferPreFill PreFillOutBuffer() const { return FPreFillOutBuffer.load(kRelaxed); }
    void SetPreFillOutBuffer(TBufferPreFill value) { FPreFillOutBuffer.store(value, kRelaxed); }
    TPreventClipping PreventClipping() const { return FPreventClipping.load(kRelaxed); }
    void SetPreventClipping(TPreventClipping value);
    TInputMonitor InputMonitor() const { return FInputMonitor.load(kRelaxed); }
    void SetInputMonitor(TInputMonitor value) { FInputMonitor.store(value, kRelaxed); }
    uint16_t InputChannelOffset() const { return FInputChannelOffset.load(kRelaxed); }
    void SetInputChannelOffset(uint16_t value);
    uint16_t OutputChannelOffset() const { return FOutputChannelOffset.load(kRelaxed); }
    void SetOutputChannelOffset(uint16_t value);
    TASIOGenerator* CustomGenerator() const { return FCustomGenerator.load(kRelaxed); }
    // Not owned; it must outlive its use by the host.
    void SetCustomGenerator(TASIOGenerator* value);
    TConvertOptimizations ConvertOptimizations() const {
        return FConverterOptions.ConvertOptimizations();
    }
    void SetConvertOptimizations(TConvertOptimizations value) {
        FConverterOptions.SetConvertOptimizations(value);
    }
    TASIOOutputDither OutputDither() const { return FConverterOptions.OutputDither(); }
    void SetOutputDither(TASIOOutputDither value) { FConverterOptions.SetOutputDither(value); }

    // 0 no buffer-switch event, 1 the 32-bit one, 2 the 64-bit one (which wins).
    int SwitchMode() const;

    TBufferSwitchEvent32 OnBufferSwitch32;
    TBufferSwitchEvent64 OnBufferSwitch64;
    TBufferSwitchEventNative OnBufferSwitchNative;
    TSample2Event OnInput2Sample;   // never raised
    TSample2Event OnSample2Output;  // never raised

protected:
    void PrepareChannelBuffers() override;
    void ReleaseChannelBuffers() override;
    void CollectEvents() override;

private:
    static constexpr auto kRelaxed = std::memory_order_relaxed;

    // False when user code took the buffers down during the block.
    template <typename T>
    bool ProcessBlock(int32_t index, std::vector<std::vector<T>>& in,
                      std::vector<std::vector<T>>& out);
    template <typename T>
    void FillNoise(std::vector<std::vector<T>>& buffers);

    std::atomic<TBufferPreFill> FPreFillInBuffer{bpfNone};
    std::atomic<TBufferPreFill> FPreFillOutBuffer{bpfNone};
    std::atomic<TPreventClipping> FPreventClipping{pcNone};
    std::atomic<TInputMonitor> FInputMonitor{imDisabled};
    std::atomic<uint16_t> FInputChannelOffset{0};
    std::atomic<uint16_t> FOutputChannelOffset{0};
    std::atomic<TASIOGenerator*> FCustomGenerator{nullptr};
    TConverterOptions FConverterOptions;
    TSharedPair<TClipPair> FClipBuffer;

    TQorArrayOfSingleDynArray FSingleInBuffer;
    TQorArrayOfSingleDynArray FSingleOutBuffer;
    TQorArrayOfDoubleDynArray FDoubleInBuffer;
    TQorArrayOfDoubleDynArray FDoubleOutBuffer;
};

// The host as the main window uses it. A class deriving from any host calls Shutdown() first
// in its destructor, so that no buffer switch runs while its parts are taken down.
class TASIOHost : public TCustomASIOHost {
public:
    TASIOHost() = default;
    ~TASIOHost() override;
};

}  // namespace spectrino
