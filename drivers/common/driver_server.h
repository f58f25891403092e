// What every in-process driver server shares: a class factory that makes one driver per
// request and keeps the server loaded while it lives, the class-object entry point, and the
// registration of the file as an ASIO driver.
#pragma once

#include <atomic>
#include <new>
#include <string>
#include <utility>

#include "asio/asio_records.h"
#include "platform/com.h"
#include "platform/library_dirs.h"
#include "platform/registry.h"

#if defined(_WIN32)
#define SPECTRINO_DRIVER_EXPORT extern "C" __declspec(dllexport)
#else
#define SPECTRINO_DRIVER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace spectrino::drivers {

// What each driver file defines for the entry points in server_exports.cpp.
// The class and name it registers itself under.
struct RegisteredDriver {
    platform::CLSID classId;
    const char* name;
};
const RegisteredDriver& ThisDriver();
// Whether this file makes drivers of `clsid`.
bool ServesClass(const platform::CLSID& clsid);
// A new driver of `clsid` holding one reference, or null when memory runs out.
IASIO* MakeDriver(const platform::CLSID& clsid);

// QueryInterface of a driver: the ASIO convention hands out the driver interface for IUnknown
// and for the driver's class id.
template <typename Interface>
platform::HRESULT QueryDriverInterface(Interface* driver, const platform::GUID& classId,
                                       const platform::IID& iid, void** object) {
    if (object == nullptr) {
        return platform::kE_POINTER;
    }
    if (iid == platform::IID_IUnknown || iid == classId) {
        driver->AddRef();
        *object = driver;
        return platform::kS_OK;
    }
    *object = nullptr;
    return platform::kE_NOINTERFACE;
}

// `make` returns a new driver holding one reference, or null when memory runs out.
template <typename Make>
class DriverClassFactory final : public platform::IClassFactory {
public:
    DriverClassFactory(std::atomic<int>& serverReferences, Make make)
        : serverReferences_(serverReferences), make_(std::move(make)) {
        serverReferences_.fetch_add(1, std::memory_order_relaxed);
    }
    DriverClassFactory(const DriverClassFactory&) = delete;
    DriverClassFactory& operator=(const DriverClassFactory&) = delete;

    platform::HRESULT SPECTRINO_COMCALL QueryInterface(const platform::IID& iid,
                                                       void** object) override {
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

    platform::HRESULT SPECTRINO_COMCALL CreateInstance(platform::IUnknown* outer,
                                                       const platform::IID& iid,
                                                       void** object) override {
        if (object == nullptr) {
            return platform::kE_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return platform::kCLASS_E_NOAGGREGATION;
        }
        auto* driver = make_();
        if (driver == nullptr) {
            return platform::kE_OUTOFMEMORY;
        }
        const platform::HRESULT result = driver->QueryInterface(iid, object);
        driver->Release();  // the caller's reference, if any, keeps it
        return result;
    }
    platform::HRESULT SPECTRINO_COMCALL LockServer(int32_t lock) override {
        if (lock != 0) {
            serverReferences_.fetch_add(1, std::memory_order_relaxed);
        } else {
            serverReferences_.fetch_sub(1, std::memory_order_release);
        }
        return platform::kS_OK;
    }

private:
    ~DriverClassFactory() { serverReferences_.fetch_sub(1, std::memory_order_release); }

    std::atomic<uint32_t> references_{1};
    std::atomic<int>& serverReferences_;
    Make make_;
};

// The body of DllGetClassObject once the class id is known to be served.
template <typename Make>
platform::HRESULT GetClassObject(std::atomic<int>& serverReferences, Make make,
                                 const platform::IID& iid, void** object) {
    auto* factory = new (std::nothrow) DriverClassFactory<Make>(serverReferences, std::move(make));
    if (factory == nullptr) {
        return platform::kE_OUTOFMEMORY;
    }
    const platform::HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

inline platform::HRESULT CanUnloadNow(const std::atomic<int>& serverReferences) {
    return serverReferences.load(std::memory_order_acquire) == 0 ? platform::kS_OK
                                                                 : platform::kS_FALSE;
}

// Registers the file holding `address` as the server of `clsid` and lists it as an ASIO
// driver named `name`.
inline platform::HRESULT RegisterDriverServer(const void* address, const platform::CLSID& clsid,
                                              const std::string& name) {
    namespace pf = platform;
    const std::string path = pf::ModuleFilePath(address);
    const std::string text = pf::GUIDToString(clsid);
    auto server = pf::RegistryKey::Open(
        pf::RootKey::ClassesRoot, "CLSID\\" + text + "\\InprocServer32", pf::Access::ReadWrite);
    auto entry = pf::RegistryKey::Open(pf::RootKey::LocalMachine, "software\\asio\\" + name,
                                       pf::Access::ReadWrite);
    if (path.empty() || !server || !entry || !server->WriteString("", path) ||
        !server->WriteString("ThreadingModel", "Apartment") || !server->Close() ||
        !entry->WriteString("clsid", text) || !entry->WriteString("Description", name) ||
        !entry->Close()) {
        return pf::kE_FAIL;
    }
    return pf::kS_OK;
}

// Undoes RegisterDriverServer: the class key and the ASIO entry go, with all below them.
inline platform::HRESULT UnregisterDriverServer(const platform::CLSID& clsid,
                                                const std::string& name) {
    namespace pf = platform;
    const bool server =
        pf::DeleteRegistryKey(pf::RootKey::ClassesRoot, "CLSID\\" + pf::GUIDToString(clsid));
    const bool entry = pf::DeleteRegistryKey(pf::RootKey::LocalMachine, "software\\asio\\" + name);
    return server && entry ? pf::kS_OK : pf::kE_FAIL;
}

}  // namespace spectrino::drivers
