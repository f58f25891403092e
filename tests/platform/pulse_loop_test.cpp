// The PulseAudio client loop without a server: its lock, its signal and its pacing, driven
// through an ordinary pipe that stands for the server's socket.
#include "platform/pulse_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace spectrino::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A pipe the loop watches; every time it is readable the loop drains it and counts a wake-up.
class WatchedPipe {
public:
    explicit WatchedPipe(PulseLoop& loop) : loop_(loop) {
        EXPECT_EQ(pipe(fds_), 0);
        PulseLoopLock lock(loop_);
        event_ = loop_.Api()->io_new(loop_.Api(), fds_[0], PA_IO_EVENT_INPUT,
                                     &WatchedPipe::OnReadable, this);
        loop_.Wake();
    }
    ~WatchedPipe() {
        {
            PulseLoopLock lock(loop_);
            loop_.Api()->io_free(event_);
            loop_.Wake();
        }
        close(fds_[0]);
        close(fds_[1]);
    }
    void Write() {
        const char byte = 1;
        EXPECT_EQ(write(fds_[1], &byte, 1), 1);
    }
    int Wakes() const { return wakes_.load(); }
    long Bytes() const { return bytes_.load(); }

private:
    static void OnReadable(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t,
                           void* self) {
        auto* pipe = static_cast<WatchedPipe*>(self);
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        pipe->bytes_ += n > 0 ? n : 0;
        ++pipe->wakes_;
    }

    PulseLoop& loop_;
    int fds_[2] = {-1, -1};
    pa_io_event* event_ = nullptr;
    std::atomic<int> wakes_{0};
    std::atomic<long> bytes_{0};
};

// Writes one byte every millisecond for `span`, as a server sends its small packets.
void Feed(WatchedPipe& pipe, std::chrono::milliseconds span) {
    const auto end = Clock::now() + span;
    while (Clock::now() < end) {
        pipe.Write();
        std::this_thread::sleep_for(1ms);
    }
}

TEST(PulseLoop, PacingGathersPacketsAndRequestsStillGetAnswersAtOnce) {
    PulseLoop loop;
    ASSERT_NE(loop.Api(), nullptr);
    ASSERT_TRUE(loop.Start());
    WatchedPipe pipe(loop);
    const int owner = 0;

    // Unpaced, nearly every packet is a wake-up of its own.
    Feed(pipe, 300ms);
    std::this_thread::sleep_for(20ms);
    const int unpaced = pipe.Wakes();
    EXPECT_GT(unpaced, 100);

    // Paced at 50 ms: at most one wake-up per pace, and not a byte lost.
    {
        PulseLoopLock lock(loop);
        loop.SetPace(&owner, 50ms);
    }
    const long bytesBefore = pipe.Bytes();
    Feed(pipe, 1000ms);
    std::this_thread::sleep_for(120ms);
    const int paced = pipe.Wakes() - unpaced;
    EXPECT_LE(paced, 24);
    EXPECT_GE(paced, 10);
    const long written = pipe.Bytes() - bytesBefore;
    EXPECT_GT(written, 500);  // drained completely: the pipe is empty again
    {
        // A request made under the lock is looked at within a fraction of the pace.
        struct Deferred {
            PulseLoop* loop;
            Clock::time_point ran{};
            bool done = false;
        } deferred{&loop};
        PulseLoopLock lock(loop);
        pa_defer_event* event = loop.Api()->defer_new(
            loop.Api(),
            [](pa_mainloop_api* api, pa_defer_event* e, void* data) {
                auto* d = static_cast<Deferred*>(data);
                d->ran = Clock::now();
                d->done = true;
                api->defer_enable(e, 0);
                d->loop->Signal();
            },
            &deferred);
        const auto asked = Clock::now();
        while (!deferred.done) {
            loop.Wait();  // wakes the paced loop itself
        }
        EXPECT_LT(deferred.ran - asked, 25ms);
        loop.Api()->defer_free(event);
    }

    // Without wishes the loop is unpaced again.
    {
        PulseLoopLock lock(loop);
        loop.SetPace(&owner, 0ms);
    }
    const int before = pipe.Wakes();
    Feed(pipe, 300ms);
    std::this_thread::sleep_for(20ms);
    EXPECT_GT(pipe.Wakes() - before, 100);
}

TEST(PulseLoop, TheShortestWishCountsAndAPacedLoopStopsAtOnce) {
    int first = 0;
    int second = 0;
    auto loop = std::make_unique<PulseLoop>();
    ASSERT_TRUE(loop->Start());
    auto owned = std::make_unique<WatchedPipe>(*loop);
    WatchedPipe* pipe = owned.get();
    {
        PulseLoopLock lock(*loop);
        loop->SetPace(&first, 400ms);
        loop->SetPace(&second, 100ms);
    }
    Feed(*pipe, 1000ms);
    std::this_thread::sleep_for(150ms);
    EXPECT_GE(pipe->Wakes(), 6);  // 100 ms, not 400 ms
    EXPECT_LE(pipe->Wakes(), 13);

    {
        PulseLoopLock lock(*loop);
        loop->SetPace(&second, 0ms);  // the 400 ms wish is left
    }
    pipe->Write();
    owned.reset();
    const auto start = Clock::now();
    loop.reset();
    EXPECT_LT(Clock::now() - start, 200ms);
}

}  // namespace
}  // namespace spectrino::platform
