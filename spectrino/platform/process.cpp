#include "process.h"

#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <limits.h>
#include <unistd.h>
#endif

namespace spectrino::platform {

std::string ProgramFilePath() {
#if defined(_WIN32)
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            return std::string(buffer.data(), n);
        }
        buffer.resize(buffer.size() * 2);
    }
#else
    std::vector<char> buffer(PATH_MAX);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) {
        return {};
    }
    return std::string(buffer.data(), static_cast<size_t>(n));
#endif
}

std::string CurrentDirectory() {
#if defined(_WIN32)
    const DWORD n = GetCurrentDirectoryA(0, nullptr);
    if (n == 0) {
        return {};
    }
    std::string dir(n, '\0');
    const DWORD written = GetCurrentDirectoryA(n, dir.data());
    dir.resize(written);
    return dir;
#else
    std::vector<char> buffer(PATH_MAX);
    if (getcwd(buffer.data(), buffer.size()) == nullptr) {
        return {};
    }
    return std::string(buffer.data());
#endif
}

}  // namespace spectrino::platform
