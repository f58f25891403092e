#include "tick_count.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

namespace spectrino::platform {

std::uint32_t TickCount() {
#if defined(_WIN32)
    return static_cast<std::uint32_t>(GetTickCount());
#else
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
#endif
}

}  // namespace spectrino::platform
