#include "message_relay.h"

namespace spectrino::jack {

MessageRelay::MessageRelay() : thread_(&MessageRelay::Run, this) {}

MessageRelay::~MessageRelay() {
    ending_.store(true);
    wake_.release();
    thread_.join();
}

void MessageRelay::SetCallbacks(ASIOCallbacks* callbacks) {
    const std::lock_guard lock(mutex_);
    callbacks_ = callbacks;
    // What was asked before concerned buffers that are gone.
    resetWanted_.store(false);
    latenciesWanted_.store(false);
}

void MessageRelay::RequestReset() {
    resetWanted_.store(true);
    wake_.release();
}

void MessageRelay::AnnounceLatencies() {
    latenciesWanted_.store(true);
    wake_.release();
}

void MessageRelay::SetWatch(std::function<void()> watch) {
    const std::lock_guard lock(mutex_);
    watch_ = std::move(watch);
}

void MessageRelay::Run() {
    while (true) {
        const bool woken = wake_.try_acquire_for(kWatchTick);
        if (ending_.load()) {
            return;
        }
        const std::lock_guard lock(mutex_);
        if (!woken) {
            if (watch_) {
                watch_();
            }
            continue;
        }
        if (callbacks_ == nullptr || callbacks_->asioMessage == nullptr) {
            continue;  // kept until a host is there to hear it
        }
        const auto message = callbacks_->asioMessage;
        if (latenciesWanted_.exchange(false) &&
            message(kAsioSelectorSupported, kAsioLatenciesChanged, nullptr, nullptr) == 1) {
            message(kAsioLatenciesChanged, 0, nullptr, nullptr);
        }
        if (resetWanted_.exchange(false)) {
            message(kAsioResetRequest, 0, nullptr, nullptr);
        }
    }
}

}  // namespace spectrino::jack
