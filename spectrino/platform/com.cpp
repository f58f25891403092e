#include "com.h"

#include <array>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
// objbase.h needs the types of windows.h.
#include <objbase.h>

#include <vector>
#else
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dynamic_library.h"
#include "platform/library_dirs.h"
#include "platform/registry.h"
#endif

namespace spectrino::platform {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads `digits` hex digits at `pos`.
std::optional<uint64_t> ReadHex(std::string_view text, std::size_t pos, std::size_t digits) {
    uint64_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const int digit = HexDigit(text[pos + i]);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<uint64_t>(digit);
    }
    return value;
}

std::optional<GUID> ParseBraceForm(std::string_view text) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (text.size() != 38 || text.front() != '{' || text.back() != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-') {
        return std::nullopt;
    }
    GUID guid{};
    const auto d1 = ReadHex(text, 1, 8);
    const auto d2 = ReadHex(text, 10, 4);
    const auto d3 = ReadHex(text, 15, 4);
    if (!d1 || !d2 || !d3) {
        return std::nullopt;
    }
    guid.Data1 = static_cast<uint32_t>(*d1);
    guid.Data2 = static_cast<uint16_t>(*d2);
    guid.Data3 = static_cast<uint16_t>(*d3);
    constexpr std::array<std::size_t, 8> kBytePos{20, 22, 25, 27, 29, 31, 33, 35};
    for (std::size_t i = 0; i < kBytePos.size(); ++i) {
        const auto byte = ReadHex(text, kBytePos[i], 2);
        if (!byte) {
            return std::nullopt;
        }
        guid.Data4[i] = static_cast<uint8_t>(*byte);
    }
    return guid;
}

}  // namespace

std::string GUIDToString(const GUID& guid) {
    std::array<char, 40> text{};
    std::snprintf(text.data(), text.size(), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                  static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return std::string(text.data());
}

#if defined(_WIN32)

static_assert(sizeof(GUID) == sizeof(::GUID));

HRESULT CoInitialize(void* reserved) {
    return ::CoInitialize(reserved);
}

void CoUninitialize() {
    ::CoUninitialize();
}

HRESULT CLSIDFromString(std::string_view text, CLSID* clsid) {
    if (clsid == nullptr) {
        return kE_POINTER;
    }
    // ole32 would take a program id as well and look it up; a registry entry names a class id.
    if (!ParseBraceForm(text)) {
        return kCO_E_CLASSSTRING;
    }
    std::vector<wchar_t> wide(text.size() + 1, L'\0');
    if (!text.empty() && MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                             wide.data(), static_cast<int>(text.size())) == 0) {
        return kCO_E_CLASSSTRING;
    }
    ::CLSID native{};
    const HRESULT result = ::CLSIDFromString(wide.data(), &native);
    if (result == kS_OK) {
        static_assert(sizeof native == sizeof *clsid);
        std::memcpy(clsid, &native, sizeof native);
    }
    return result;
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, uint32_t context, const IID& iid,
                         void** object) {
    return ::CoCreateInstance(reinterpret_cast<const ::CLSID&>(clsid),
                              reinterpret_cast<::IUnknown*>(outer), context,
                              reinterpret_cast<const ::IID&>(iid), object);
}

#else

namespace {

// The servers loaded so far, shared by all threads of the process.
class ServerTable {
public:
    static ServerTable& Instance() {
        static ServerTable table;
        return table;
    }

    void AddInit() {
        const std::lock_guard lock(mutex_);
        ++inits_;
    }

    // After the last balancing call of the process, servers that agree are unloaded.
    void RemoveInit() {
        const std::lock_guard lock(mutex_);
        if (inits_ == 0 || --inits_ != 0) {
            return;
        }
        std::erase_if(servers_, [](const Server& server) {
            const auto canUnload =
                reinterpret_cast<DllCanUnloadNowProc>(server.library->Symbol("DllCanUnloadNow"));
            return canUnload != nullptr && canUnload() == kS_OK;
        });
    }

    // The class-object entry of the server at `path`, loading it on first use.
    DllGetClassObjectProc ClassObjectEntry(const std::string& path, HRESULT& error) {
        const std::lock_guard lock(mutex_);
        for (const Server& server : servers_) {
            if (server.path == path) {
                return Entry(server, error);
            }
        }
        auto library = DynamicLibrary::Open(path);
        if (!library) {
            error = kCO_E_DLLNOTFOUND;
            return nullptr;
        }
        servers_.push_back(Server{path, std::move(library)});
        return Entry(servers_.back(), error);
    }

private:
    struct Server {
        std::string path;
        std::unique_ptr<DynamicLibrary> library;
    };

    static DllGetClassObjectProc Entry(const Server& server, HRESULT& error) {
        const auto entry =
            reinterpret_cast<DllGetClassObjectProc>(server.library->Symbol("DllGetClassObject"));
        if (entry == nullptr) {
            error = kCO_E_ERRORINDLL;
        }
        return entry;
    }

    std::mutex mutex_;
    int inits_ = 0;
    std::vector<Server> servers_;
};

// Per thread, as COM keeps it.
thread_local int tInitCount = 0;

}  // namespace

HRESULT CoInitialize(void* /*reserved*/) {
    ServerTable::Instance().AddInit();
    return tInitCount++ == 0 ? kS_OK : kS_FALSE;
}

void CoUninitialize() {
    if (tInitCount == 0) {
        return;
    }
    --tInitCount;
    ServerTable::Instance().RemoveInit();
}

HRESULT CLSIDFromString(std::string_view text, CLSID* clsid) {
    if (clsid == nullptr) {
        return kE_POINTER;
    }
    const auto guid = ParseBraceForm(text);
    if (!guid) {
        return kCO_E_CLASSSTRING;
    }
    *clsid = *guid;
    return kS_OK;
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, uint32_t context, const IID& iid,
                         void** object) {
    if (object == nullptr) {
        return kE_POINTER;
    }
    *object = nullptr;
    if (outer != nullptr) {
        return kCLASS_E_NOAGGREGATION;
    }
    if ((context & kCLSCTX_INPROC_SERVER) == 0) {
        return kREGDB_E_CLASSNOTREG;
    }
    if (tInitCount == 0) {
        return kCO_E_NOTINITIALIZED;
    }
    const auto key = RegistryKey::Open(
        RootKey::ClassesRoot, "CLSID\\" + GUIDToString(clsid) + "\\InprocServer32", Access::Read);
    const auto server = key ? key->ReadString("") : std::nullopt;
    if (!server || server->empty()) {
        return kREGDB_E_CLASSNOTREG;
    }
    // Only the file the driver list shows is loaded; the loader's own search never applies.
    const std::string path = ResolveServerFile(*server);
    if (!RegularFileExists(path)) {
        return kCO_E_DLLNOTFOUND;
    }
    HRESULT error = kS_OK;
    const DllGetClassObjectProc entry = ServerTable::Instance().ClassObjectEntry(path, error);
    if (entry == nullptr) {
        return error;
    }
    IClassFactory* factory = nullptr;
    HRESULT result = entry(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (!Succeeded(result) || factory == nullptr) {
        return Succeeded(result) ? kE_FAIL : result;
    }
    result = factory->CreateInstance(nullptr, iid, object);
    factory->Release();
    if (!Succeeded(result)) {
        *object = nullptr;
    }
    return result;
}

#endif

}  // namespace spectrino::platform
