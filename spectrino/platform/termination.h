// Orderly shutdown when the system asks the program to end (logout, kill, Ctrl+C), so that
// the settings are stored as on a normal close.
#pragma once

#include <functional>
#include <memory>

namespace spectrino::platform {

class TerminationRequests {
public:
    // Calls `onRequest` on the creating thread's event loop when SIGTERM, SIGINT or SIGHUP
    // arrives (on Windows: Ctrl+C or Ctrl+Break in the console); one instance per process.
    explicit TerminationRequests(std::function<void()> onRequest);
    ~TerminationRequests();
    TerminationRequests(const TerminationRequests&) = delete;
    TerminationRequests& operator=(const TerminationRequests&) = delete;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace spectrino::platform
