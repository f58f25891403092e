#include "process.h"

#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <limits.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
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

std::optional<double> SecondsSinceProcessStart() {
#if defined(_WIN32)
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        return std::nullopt;
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(now) - ticks(created)) / 1e7;  // 100 ns units
#else
    // Field 22 of /proc/self/stat is the start in clock ticks after boot; the command name in
    // field 2 may hold blanks and parentheses, so fields are counted after its last ')'.
    std::ifstream file("/proc/self/stat");
    std::string stat;
    if (!std::getline(file, stat)) {
        return std::nullopt;
    }
    const auto close = stat.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int i = 3; i < 22 && fields >> field; ++i) {
    }
    unsigned long long startTicks = 0;
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    timespec now{};
    if (!(fields >> startTicks) || ticksPerSecond <= 0 ||
        clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        return std::nullopt;
    }
    const double since = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 -
                         static_cast<double>(startTicks) / static_cast<double>(ticksPerSecond);
    return since < 0 ? 0.0 : since;
#endif
}

}  // namespace spectrino::platform
