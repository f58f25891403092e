#pragma once

// The PulseAudio client's main loop on a thread of its own, like the library's threaded loop,
// with one addition: while streams record it can be paced, so that the thread wakes for the
// server's packets at most once per pace instead of for every packet. The server hands data
// over in pieces of about 10 ms whatever fragment size a stream asks for, and on a virtual
// machine each wake-up costs more than reading the piece.

#if !defined(_WIN32)

#include <pulse/mainloop.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace spectrino::platform {

class PulseLoop {
public:
    PulseLoop();
    ~PulseLoop();  // stops the thread; the caller must not hold the lock
    PulseLoop(const PulseLoop&) = delete;
    PulseLoop& operator=(const PulseLoop&) = delete;

    // Null when the library could not make a loop.
    pa_mainloop_api* Api() const;
    bool Start();

    // The loop's lock; callbacks run with it held.
    void Lock();
    void Unlock();
    // With the lock held: has a paced loop look at once, for a request just made to the server.
    void Wake();
    // Waits for Signal(), releasing the lock meanwhile; needs the lock, never on the loop thread.
    // The loop looks at once.
    void Wait();
    void Signal();

    // With the lock held: `owner` wants packets at most every `pace` (zero removes its wish).
    // The loop follows the shortest wish.
    void SetPace(const void* owner, std::chrono::microseconds pace);

private:
    using Clock = std::chrono::steady_clock;
    static int Poll(struct pollfd* fds, unsigned long count, int timeout, void* self);
    int Poll(struct pollfd* fds, unsigned long count, int timeout);
    void Run();

    std::unique_ptr<pa_mainloop, void (*)(pa_mainloop*)> loop_;
    std::mutex mutex_;
    std::condition_variable signalled_;
    std::condition_variable attention_;
    std::map<const void*, std::chrono::microseconds> paces_;
    std::chrono::microseconds pace_{0};
    Clock::time_point lastPoll_{};
    bool attentionWanted_ = false;
    bool quit_ = false;
    std::thread thread_;
};

// Holds the loop's lock for a scope.
class PulseLoopLock {
public:
    explicit PulseLoopLock(PulseLoop& loop) : loop_(loop) { loop_.Lock(); }
    ~PulseLoopLock() { loop_.Unlock(); }
    PulseLoopLock(const PulseLoopLock&) = delete;
    PulseLoopLock& operator=(const PulseLoopLock&) = delete;

private:
    PulseLoop& loop_;
};

}  // namespace spectrino::platform

#endif
