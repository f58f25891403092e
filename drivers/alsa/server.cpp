// The in-process server around the driver: its class factory and the exported entry points.
#include <atomic>
#include <new>
#include <string>

#include "alsa_driver.h"
#include "platform/library_dirs.h"
#include "platform/registry.h"
#include "settings.h"

#define ALSA_DRIVER_EXPORT extern "C" __attribute__((visibility("default")))

namespace spectrino::alsa {
namespace {

using platform::HRESULT;

class ClassFactory final : public platform::IClassFactory {
public:
    ClassFactory() { ServerReferences().fetch_add(1, std::memory_order_relaxed); }
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT SPECTRINO_COMCALL QueryInterface(const platform::IID& iid, void** object) override {
        if (object == nullptr) {
            return platform::kE_POINTER;
        }
        if (iid == platform::IID_IUnknown || iid == platform::IID_IClassFactory) {
            AddRef();
            *object = static_cast<platform::IClassFactory*>(this);
            return platform::kS_OK;
        }
        *object = nullptr;
        return platform::kE_NOINTERFACE;
    }
    uint32_t SPECTRINO_COMCALL AddRef() override {
        return references_.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    uint32_t SPECTRINO_COMCALL Release() override {
        const uint32_t left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT SPECTRINO_COMCALL CreateInstance(platform::IUnknown* outer, const platform::IID& iid,
                                             void** object) override {
        if (object == nullptr) {
            return platform::kE_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return platform::kCLASS_E_NOAGGREGATION;
        }
        auto* driver = new (std::nothrow) AlsaDriver();
        if (driver == nullptr) {
            return platform::kE_OUTOFMEMORY;
        }
        const HRESULT result = driver->QueryInterface(iid, object);
        driver->Release();  // the caller's reference, if any, keeps it
        return result;
    }
    HRESULT SPECTRINO_COMCALL LockServer(int32_t lock) override {
        if (lock != 0) {
            ServerReferences().fetch_add(1, std::memory_order_relaxed);
        } else {
            ServerReferences().fetch_sub(1, std::memory_order_release);
        }
        return platform::kS_OK;
    }

private:
    ~ClassFactory() { ServerReferences().fetch_sub(1, std::memory_order_release); }

    std::atomic<uint32_t> references_{1};
};

}  // namespace
}  // namespace spectrino::alsa

using spectrino::platform::HRESULT;

ALSA_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllGetClassObject(
    const spectrino::platform::CLSID& clsid, const spectrino::platform::IID& iid, void** object) {
    namespace pf = spectrino::platform;
    if (object == nullptr) {
        return pf::kE_POINTER;
    }
    *object = nullptr;
    if (clsid != spectrino::alsa::kClassId) {
        return pf::kCLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new (std::nothrow) spectrino::alsa::ClassFactory();
    if (factory == nullptr) {
        return pf::kE_OUTOFMEMORY;
    }
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

ALSA_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllCanUnloadNow() {
    return spectrino::alsa::ServerReferences().load(std::memory_order_acquire) == 0
               ? spectrino::platform::kS_OK
               : spectrino::platform::kS_FALSE;
}

// Registers this file as the server of the class and lists it as an ASIO driver.
ALSA_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllRegisterServer() {
    namespace pf = spectrino::platform;
    const std::string path = pf::ModuleFilePath(reinterpret_cast<const void*>(&DllRegisterServer));
    const std::string clsid = pf::GUIDToString(spectrino::alsa::kClassId);
    auto server = pf::RegistryKey::Open(
        pf::RootKey::ClassesRoot, "CLSID\\" + clsid + "\\InprocServer32", pf::Access::ReadWrite);
    auto entry = pf::RegistryKey::Open(
        pf::RootKey::LocalMachine, std::string("software\\asio\\") + spectrino::alsa::kDriverName,
        pf::Access::ReadWrite);
    if (path.empty() || !server || !entry || !server->WriteString("", path) ||
        !server->WriteString("ThreadingModel", "Apartment") || !server->Close() ||
        !entry->WriteString("clsid", clsid) ||
        !entry->WriteString("Description", spectrino::alsa::kDriverName) || !entry->Close()) {
        return pf::kE_FAIL;
    }
    return pf::kS_OK;
}
