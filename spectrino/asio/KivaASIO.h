// The installed ASIO drivers, as the registry lists them, and the adapter through which the
// host calls one driver object.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "asio/asio_records.h"
#include "platform/com.h"

namespace spectrino {

// One installed driver.
struct TAsioDriverDesc {
    platform::GUID id;  // its class id
    char name[512];     // the registry subkey name; no terminating zero when 512 long
    char path[512];     // its server file; no terminating zero when 512 long
};
static_assert(sizeof(TAsioDriverDesc) == 1040);
static_assert(offsetof(TAsioDriverDesc, name) == 16);
static_assert(offsetof(TAsioDriverDesc, path) == 528);

using TAsioDriverList = std::vector<TAsioDriverDesc>;

// The text of a fixed-size name field, up to its first zero.
std::string DriverDescName(const TAsioDriverDesc& desc);
std::string DriverDescPath(const TAsioDriverDesc& desc);

// The host's view of a driver: the driver's operations, in its order, after the three
// reference-counting slots.
class IKivaASIO : public platform::IUnknown {
public:
    virtual ASIOBool Init(void* sysHandle) = 0;
    virtual void GetDriverName(char* name) = 0;
    virtual int32_t GetDriverVersion() = 0;
    virtual void GetErrorMessage(char* text) = 0;
    virtual ASIOError Start() = 0;
    virtual ASIOError Stop() = 0;
    virtual ASIOError GetChannels(int32_t* numInputChannels, int32_t* numOutputChannels) = 0;
    virtual ASIOError GetLatencies(int32_t* inputLatency, int32_t* outputLatency) = 0;
    virtual ASIOError GetBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                                    int32_t* granularity) = 0;
    virtual ASIOError CanSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError GetSampleRate(ASIOSampleRate* sampleRate) = 0;
    virtual ASIOError SetSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError GetClockSources(ASIOClockSource* clocks, int32_t* numSources) = 0;
    virtual ASIOError SetClockSource(int32_t reference) = 0;
    virtual ASIOError GetSamplePosition(ASIOSamples* samplePosition, ASIOTimeStamp* timeStamp) = 0;
    virtual ASIOError GetChannelInfo(ASIOChannelInfo* info) = 0;
    virtual ASIOError CreateBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                    int32_t bufferSize, ASIOCallbacks* callbacks) = 0;
    virtual ASIOError DisposeBuffers() = 0;
    virtual ASIOError ControlPanel() = 0;
    virtual ASIOError Future(int32_t selector, void* opt) = 0;
    virtual ASIOError OutputReady() = 0;

protected:
    ~IKivaASIO() = default;
};

// {5E1F0D3A-7C2B-4B8E-9A41-3D6C8F20B7E4}
inline constexpr platform::IID IID_IKivaASIO{
    0x5E1F0D3A, 0x7C2B, 0x4B8E, {0x9A, 0x41, 0x3D, 0x6C, 0x8F, 0x20, 0xB7, 0xE4}};

// Holds the driver object and forwards every call to it unchanged. Drivers built here follow
// the same member-call rules as the host, so forwarding is a plain call.
class TKivaASIO final : public IKivaASIO {
public:
    // Initialises COM on the calling thread and creates the class as an in-process server,
    // asking for the interface named by the class id itself.
    explicit TKivaASIO(const platform::CLSID& clsid);
    TKivaASIO(const TKivaASIO&) = delete;
    TKivaASIO& operator=(const TKivaASIO&) = delete;

    bool HasDriver() const { return driver_ != nullptr; }

    platform::HRESULT SPECTRINO_COMCALL QueryInterface(const platform::IID& iid,
                                                       void** object) override;
    uint32_t SPECTRINO_COMCALL AddRef() override;
    uint32_t SPECTRINO_COMCALL Release() override;

    ASIOBool Init(void* sysHandle) override;
    void GetDriverName(char* name) override;
    int32_t GetDriverVersion() override;
    void GetErrorMessage(char* text) override;
    ASIOError Start() override;
    ASIOError Stop() override;
    ASIOError GetChannels(int32_t* numInputChannels, int32_t* numOutputChannels) override;
    ASIOError GetLatencies(int32_t* inputLatency, int32_t* outputLatency) override;
    ASIOError GetBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                            int32_t* granularity) override;
    ASIOError CanSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError GetSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError SetSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError GetClockSources(ASIOClockSource* clocks, int32_t* numSources) override;
    ASIOError SetClockSource(int32_t reference) override;
    ASIOError GetSamplePosition(ASIOSamples* samplePosition, ASIOTimeStamp* timeStamp) override;
    ASIOError GetChannelInfo(ASIOChannelInfo* info) override;
    ASIOError CreateBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError DisposeBuffers() override;
    ASIOError ControlPanel() override;
    ASIOError Future(int32_t selector, void* opt) override;
    ASIOError OutputReady() override;

private:
    // Only the last Release destroys: it releases the driver, then balances the COM
    // initialisation of the constructor.
    ~TKivaASIO();

    std::atomic<uint32_t> references_{1};
    IASIO* driver_ = nullptr;
};

using IKivaASIORef = platform::ComRef<IKivaASIO>;

// Empties `list`, then fills it from the registry's "software\asio" entries whose server file
// can be found, in the order the registry keeps them.
void ListAsioDrivers(TAsioDriverList& list);

// 0 when the class `clsidText` (brace form) has an in-process server file that exists, else -1.
// `path` receives the file name as far as it was resolved.
int GetDriverPath(const std::string& clsidText, std::string& path);

// Creates the driver of `entry`; true when `driver` received an interface.
bool CreateDriver(const TAsioDriverDesc& entry, IKivaASIORef& driver);

}  // namespace spectrino
