// Carries the driver's requests to the host on a thread of its own: JACK tells of a server
// gone or a changed buffer size on threads where the host must not be called into (or where
// the driver may be released meanwhile), so those only raise a flag and wake the relay.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <semaphore>
#include <thread>

#include "asio/asio_records.h"

namespace spectrino::jack {

class MessageRelay {
public:
    MessageRelay();
    ~MessageRelay();
    MessageRelay(const MessageRelay&) = delete;
    MessageRelay& operator=(const MessageRelay&) = delete;

    // The host to tell; null while there is none.
    void SetCallbacks(ASIOCallbacks* callbacks);
    // Safe from any thread, the process thread included: no lock, no allocation.
    void RequestReset();
    void AnnounceLatencies();
    // Called on the relay's thread about every `kWatchTick` while set; empty stops it.
    void SetWatch(std::function<void()> watch);

    static constexpr auto kWatchTick = std::chrono::milliseconds(250);

private:
    void Run();

    std::mutex mutex_;
    ASIOCallbacks* callbacks_ = nullptr;
    std::function<void()> watch_;
    std::atomic<bool> resetWanted_{false};
    std::atomic<bool> latenciesWanted_{false};
    std::atomic<bool> ending_{false};
    std::counting_semaphore<> wake_{0};
    std::thread thread_;
};

}  // namespace spectrino::jack
