#include "pulse_loop.h"

#if !defined(_WIN32)

#include <poll.h>
#include <pthread.h>

#include <algorithm>
#include <system_error>

namespace spectrino::platform {

PulseLoop::PulseLoop() : loop_(pa_mainloop_new(), &pa_mainloop_free) {
    if (loop_) {
        pa_mainloop_set_poll_func(loop_.get(), &PulseLoop::Poll, this);
    }
}

PulseLoop::~PulseLoop() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
            attention_.notify_all();
            pa_mainloop_quit(loop_.get(), 0);
        }
        thread_.join();
    }
}

pa_mainloop_api* PulseLoop::Api() const {
    return loop_ ? pa_mainloop_get_api(loop_.get()) : nullptr;
}

bool PulseLoop::Start() {
    if (!loop_) {
        return false;
    }
    try {
        thread_ = std::thread(&PulseLoop::Run, this);
    } catch (const std::system_error&) {
        return false;
    }
    pthread_setname_np(thread_.native_handle(), "spectrino-pulse");
    return true;
}

void PulseLoop::Lock() {
    mutex_.lock();
}

void PulseLoop::Unlock() {
    mutex_.unlock();
}

void PulseLoop::Wake() {
    attentionWanted_ = true;
    attention_.notify_one();
}

void PulseLoop::Wait() {
    std::unique_lock lock(mutex_, std::adopt_lock);
    Wake();
    signalled_.wait(lock);
    lock.release();
}

void PulseLoop::Signal() {
    signalled_.notify_all();
}

void PulseLoop::SetPace(const void* owner, std::chrono::microseconds pace) {
    if (pace.count() > 0) {
        paces_[owner] = pace;
    } else {
        paces_.erase(owner);
    }
    pace_ = std::chrono::microseconds{0};
    for (const auto& [_, wish] : paces_) {
        pace_ = pace_.count() == 0 ? wish : std::min(pace_, wish);
    }
    Wake();
}

void PulseLoop::Run() {
    std::lock_guard lock(mutex_);
    while (!quit_ && pa_mainloop_iterate(loop_.get(), 1, nullptr) >= 0) {
    }
}

int PulseLoop::Poll(struct pollfd* fds, unsigned long count, int timeout, void* self) {
    return static_cast<PulseLoop*>(self)->Poll(fds, count, timeout);
}

// Runs on the loop thread with the lock held, as the library's iteration calls it.
int PulseLoop::Poll(struct pollfd* fds, unsigned long count, int timeout) {
    std::unique_lock lock(mutex_, std::adopt_lock);
    if (pace_.count() > 0 && !attentionWanted_ && !quit_) {
        // Packets wait in the socket meanwhile; the loop's own timers are kept.
        const Clock::time_point start = Clock::now();
        Clock::time_point until = lastPoll_ + pace_;
        if (timeout >= 0) {
            until = std::min(until, start + std::chrono::milliseconds(timeout));
        }
        if (until > start) {
            attention_.wait_until(lock, until, [this] { return attentionWanted_ || quit_; });
            if (timeout >= 0) {
                const auto waited =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
                timeout = std::max(0, timeout - static_cast<int>(waited.count()));
            }
        }
    }
    attentionWanted_ = false;
    const bool quitting = quit_;
    lock.unlock();
    const int result = quitting ? 0 : ::poll(fds, count, timeout);
    lock.lock();
    lastPoll_ = Clock::now();
    lock.release();
    return result;
}

}  // namespace spectrino::platform

#endif
