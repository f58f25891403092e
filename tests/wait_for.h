// Waiting in tests for something another thread brings about, while the waiting thread's own
// events (hidden windows, queued calls) keep being processed.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "platform/event_loop.h"

namespace spectrino::testing {

// Polls `done`, processing the thread's events meanwhile; false after `timeout`.
inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        platform::ProcessEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace spectrino::testing
