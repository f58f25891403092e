// In-process component objects: the few COM services the ASIO host needs.
//
// Windows calls the genuine ole32 functions. Elsewhere a small loader stands in: the class root of
// the registry names each class's server file (HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32,
// default value), which is loaded with dlopen; its exported DllGetClassObject hands out a class
// factory whose CreateInstance makes the object. Objects count their references as in COM, and
// a server is unloaded after the last CoUninitialize of the process once its DllCanUnloadNow
// agrees.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#if defined(_WIN32)
#define SPECTRINO_COMCALL __stdcall
#else
#define SPECTRINO_COMCALL
#endif

namespace spectrino::platform {

// Same layout as the Windows GUID.
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend bool operator==(const GUID&, const GUID&) = default;
};
static_assert(sizeof(GUID) == 16);

using CLSID = GUID;
using IID = GUID;
using HRESULT = int32_t;

inline constexpr HRESULT kS_OK = 0;
inline constexpr HRESULT kS_FALSE = 1;
inline constexpr HRESULT kE_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT kE_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT kE_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT kE_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT kCLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT kCLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
inline constexpr HRESULT kREGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT kCO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
inline constexpr HRESULT kCO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
inline constexpr HRESULT kCO_E_DLLNOTFOUND = static_cast<HRESULT>(0x8004015Fu);
inline constexpr HRESULT kCO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);

inline constexpr uint32_t kCLSCTX_INPROC_SERVER = 1;

inline bool Succeeded(HRESULT result) {
    return result >= 0;
}

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown{0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr IID IID_IClassFactory{1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The three slots every component interface starts with.
class IUnknown {
public:
    virtual HRESULT SPECTRINO_COMCALL QueryInterface(const IID& iid, void** object) = 0;
    virtual uint32_t SPECTRINO_COMCALL AddRef() = 0;
    virtual uint32_t SPECTRINO_COMCALL Release() = 0;

protected:
    ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
public:
    virtual HRESULT SPECTRINO_COMCALL CreateInstance(IUnknown* outer, const IID& iid,
                                                     void** object) = 0;
    virtual HRESULT SPECTRINO_COMCALL LockServer(int32_t lock) = 0;

protected:
    ~IClassFactory() = default;
};

// What an in-process server exports.
using DllGetClassObjectProc = HRESULT(SPECTRINO_COMCALL*)(const CLSID& clsid, const IID& iid,
                                                          void** object);
using DllCanUnloadNowProc = HRESULT(SPECTRINO_COMCALL*)();

// Per thread; the first call on a thread returns kS_OK, further ones kS_FALSE.
HRESULT CoInitialize(void* reserved);
// Balances one CoInitialize of the calling thread; extra calls do nothing.
void CoUninitialize();
// Parses the registry's brace form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits in
// either case); kCO_E_CLASSSTRING for anything else.
HRESULT CLSIDFromString(std::string_view text, CLSID* clsid);
// Creates an object of an in-process server class. `outer` must be null (no aggregation here).
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, uint32_t context, const IID& iid,
                         void** object);

// Holds one reference to an interface and releases it when it goes.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    // Takes over a reference the caller already owns.
    explicit ComRef(T* owned) : p_(owned) {}
    ComRef(const ComRef& other) : p_(other.p_) {
        if (p_ != nullptr) {
            p_->AddRef();
        }
    }
    ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComRef& operator=(ComRef other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComRef() { Reset(); }

    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) {
            p->Release();
        }
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// The brace form, upper-case hex: what the registry keys are named after.
std::string GUIDToString(const GUID& guid);
inline std::optional<GUID> ParseGUID(std::string_view text) {
    GUID guid{};
    if (CLSIDFromString(text, &guid) != kS_OK) {
        return std::nullopt;
    }
    return guid;
}

}  // namespace spectrino::platform
