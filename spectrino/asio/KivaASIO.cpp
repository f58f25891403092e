#include "KivaASIO.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/library_dirs.h"
#include "platform/registry.h"

namespace spectrino {

using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

namespace {

std::string FieldText(const char (&field)[512]) {
    const auto* end = std::find(std::begin(field), std::end(field), '\0');
    return std::string(std::begin(field), end);
}

// Copies up to the field's size; shorter texts are zero-terminated (and zero-filled).
void SetField(char (&field)[512], const std::string& text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min(text.size(), sizeof field));
}

}  // namespace

std::string DriverDescName(const TAsioDriverDesc& desc) {
    return FieldText(desc.name);
}

std::string DriverDescPath(const TAsioDriverDesc& desc) {
    return FieldText(desc.path);
}

TKivaASIO::TKivaASIO(const platform::CLSID& clsid) {
    platform::CoInitialize(nullptr);
    void* object = nullptr;
    if (platform::Succeeded(platform::CoCreateInstance(
            clsid, nullptr, platform::kCLSCTX_INPROC_SERVER, clsid, &object))) {
        driver_ = static_cast<IASIO*>(object);
    }
}

TKivaASIO::~TKivaASIO() {
    if (driver_ != nullptr) {
        driver_->Release();
    }
    platform::CoUninitialize();
}

platform::HRESULT TKivaASIO::QueryInterface(const platform::IID& iid, void** object) {
    if (object == nullptr) {
        return platform::kE_POINTER;
    }
    if (iid == platform::IID_IUnknown || iid == IID_IKivaASIO) {
        AddRef();
        *object = static_cast<IKivaASIO*>(this);
        return platform::kS_OK;
    }
    *object = nullptr;
    return platform::kE_NOINTERFACE;
}

uint32_t TKivaASIO::AddRef() {
    return references_.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32_t TKivaASIO::Release() {
    const uint32_t left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

ASIOBool TKivaASIO::Init(void* sysHandle) {
    return driver_->init(sysHandle);
}
void TKivaASIO::GetDriverName(char* name) {
    driver_->getDriverName(name);
}
int32_t TKivaASIO::GetDriverVersion() {
    return driver_->getDriverVersion();
}
void TKivaASIO::GetErrorMessage(char* text) {
    driver_->getErrorMessage(text);
}
ASIOError TKivaASIO::Start() {
    return driver_->start();
}
ASIOError TKivaASIO::Stop() {
    return driver_->stop();
}
ASIOError TKivaASIO::GetChannels(int32_t* numInputChannels, int32_t* numOutputChannels) {
    return driver_->getChannels(numInputChannels, numOutputChannels);
}
ASIOError TKivaASIO::GetLatencies(int32_t* inputLatency, int32_t* outputLatency) {
    return driver_->getLatencies(inputLatency, outputLatency);
}
ASIOError TKivaASIO::GetBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                                   int32_t* granularity) {
    return driver_->getBufferSize(minSize, maxSize, preferredSize, granularity);
}
ASIOError TKivaASIO::CanSampleRate(ASIOSampleRate sampleRate) {
    return driver_->canSampleRate(sampleRate);
}
ASIOError TKivaASIO::GetSampleRate(ASIOSampleRate* sampleRate) {
    return driver_->getSampleRate(sampleRate);
}
ASIOError TKivaASIO::SetSampleRate(ASIOSampleRate sampleRate) {
    return driver_->setSampleRate(sampleRate);
}
ASIOError TKivaASIO::GetClockSources(ASIOClockSource* clocks, int32_t* numSources) {
    return driver_->getClockSources(clocks, numSources);
}
ASIOError TKivaASIO::SetClockSource(int32_t reference) {
    return driver_->setClockSource(reference);
}
ASIOError TKivaASIO::GetSamplePosition(ASIOSamples* samplePosition, ASIOTimeStamp* timeStamp) {
    return driver_->getSamplePosition(samplePosition, timeStamp);
}
ASIOError TKivaASIO::GetChannelInfo(ASIOChannelInfo* info) {
    return driver_->getChannelInfo(info);
}
ASIOError TKivaASIO::CreateBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                   int32_t bufferSize, ASIOCallbacks* callbacks) {
    return driver_->createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
}
ASIOError TKivaASIO::DisposeBuffers() {
    return driver_->disposeBuffers();
}
ASIOError TKivaASIO::ControlPanel() {
    return driver_->controlPanel();
}
ASIOError TKivaASIO::Future(int32_t selector, void* opt) {
    return driver_->future(selector, opt);
}
ASIOError TKivaASIO::OutputReady() {
    return driver_->outputReady();
}

void ListAsioDrivers(TAsioDriverList& list) {
    list.clear();
    std::vector<std::string> names;
    if (const auto root =
            RegistryKey::Open(RootKey::LocalMachine, "software\\asio", Access::Read)) {
        names = root->SubKeyNames();
    }
    for (const std::string& name : names) {
        const auto key =
            RegistryKey::Open(RootKey::LocalMachine, "software\\asio\\" + name, Access::Read);
        if (!key) {
            continue;
        }
        const std::string clsidText = key->ReadString("clsid").value_or(std::string());
        std::string path;
        if (GetDriverPath(clsidText, path) != 0) {
            continue;
        }
        // A registered class whose id does not parse cannot be created; leave it out.
        const auto id = platform::ParseGUID(clsidText);
        if (!id) {
            continue;
        }
        TAsioDriverDesc& desc = list.emplace_back();
        desc.id = *id;
        SetField(desc.name, name);
        SetField(desc.path, path);
    }
}

int GetDriverPath(const std::string& clsidText, std::string& path) {
    const auto key = RegistryKey::Open(RootKey::ClassesRoot,
                                       "clsid\\" + clsidText + "\\InprocServer32", Access::Read);
    if (!key) {
        return -1;
    }
    path = platform::ResolveServerFile(key->ReadString("").value_or(std::string()));
    return platform::RegularFileExists(path) ? 0 : -1;
}

bool CreateDriver(const TAsioDriverDesc& entry, IKivaASIORef& driver) {
    driver.Reset();
    IKivaASIORef adapter(new TKivaASIO(entry.id));
    if (!static_cast<TKivaASIO*>(adapter.Get())->HasDriver()) {
        return false;
    }
    driver = std::move(adapter);
    return true;
}

}  // namespace spectrino
