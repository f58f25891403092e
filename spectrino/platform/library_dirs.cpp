#include "library_dirs.h"

#include <filesystem>
#include <system_error>

#include "platform/process.h"

#if defined(_WIN32)
#include <windows.h>

#include <array>
#else
#include <dlfcn.h>

#include <cstdlib>
#endif

namespace spectrino::platform {

#if defined(_WIN32)

namespace {

// Both calls want a buffer of at most 1023 characters here; 0 or a larger need is failure.
template <typename Query>
std::optional<std::string> AskDirectory(Query query) {
    std::array<char, 1024> buffer{};
    const UINT n = query(buffer.data(), 1023);
    if (n == 0 || n >= 1023) {
        return std::nullopt;
    }
    return std::string(buffer.data(), n);
}

}  // namespace

std::optional<std::string> SystemDirectory() {
    return AskDirectory([](char* buffer, UINT size) { return GetSystemDirectoryA(buffer, size); });
}

std::optional<std::string> WindowsDirectory() {
    return AskDirectory([](char* buffer, UINT size) { return GetWindowsDirectoryA(buffer, size); });
}

std::string ModuleFilePath(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(address), &module)) {
        return {};
    }
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return {};
        }
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool HasDirectoryPart(const std::string& path) {
    return path.find_first_of("\\/:") != std::string::npos;
}

#else

namespace {

std::optional<std::string> FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

}  // namespace

std::optional<std::string> SystemDirectory() {
    if (auto dir = FromEnvironment("SPECTRINO_SYSTEM_DIR")) {
        return dir;
    }
    const std::string program = ProgramFilePath();
    if (program.empty()) {
        return std::nullopt;
    }
    const std::filesystem::path prefix = std::filesystem::path(program).parent_path().parent_path();
    return (prefix / "lib" / "spectrino" / "drivers").string();
}

std::optional<std::string> WindowsDirectory() {
    if (auto dir = FromEnvironment("SPECTRINO_WINDOWS_DIR")) {
        return dir;
    }
    return std::string("/usr/lib/spectrino/drivers");
}

std::string ModuleFilePath(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    std::error_code error;
    const auto path = std::filesystem::canonical(info.dli_fname, error);
    return error ? std::string(info.dli_fname) : path.string();
}

bool HasDirectoryPart(const std::string& path) {
    return path.find('/') != std::string::npos;
}

#endif

bool RegularFileExists(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

namespace {

// Windows takes its directories as the system gives them. Elsewhere only an absolute one
// counts: a relative one would again be read from the working directory.
bool Usable(const std::optional<std::string>& dir) {
#if defined(_WIN32)
    return dir.has_value();
#else
    return dir && !dir->empty() && dir->front() == '/';
#endif
}

}  // namespace

std::string ResolveServerFile(const std::string& registered) {
#if defined(_WIN32)
    const bool asItStands = HasDirectoryPart(registered);
    std::string path = registered;
#else
    const bool asItStands = !registered.empty() && registered.front() == '/';
    // Until a directory has been put in front, nothing is resolved: the name alone would be
    // found relative to the working directory.
    std::string path;
#endif
    if (registered.empty() || asItStands) {
        return registered;
    }
    if (const auto dir = SystemDirectory(); Usable(dir)) {
        path = *dir + kPathDelimiter + registered;
    }
    if (!RegularFileExists(path)) {
        if (const auto dir = WindowsDirectory(); Usable(dir)) {
            path = *dir + kPathDelimiter + registered;
        }
    }
    return path;
}

}  // namespace spectrino::platform
