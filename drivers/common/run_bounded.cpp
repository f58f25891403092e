#include "common/run_bounded.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "common/driver_base.h"

namespace spectrino::drivers {

void RunBounded(std::function<void()> work, std::chrono::milliseconds limit) {
    struct Done {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    std::thread worker([done, work = std::move(work)] {
        const ServerReference keep;
        work();
        const std::lock_guard lock(done->mutex);
        done->done = true;
        done->changed.notify_all();
    });
    std::unique_lock lock(done->mutex);
    if (done->changed.wait_for(lock, limit, [&] { return done->done; })) {
        lock.unlock();
        worker.join();
    } else {
        worker.detach();
    }
}

}  // namespace spectrino::drivers
