#include "message_window.h"

#include <deque>
#include <mutex>
#include <utility>

#if defined(_WIN32)
#include <windows.h>

#include <system_error>
#else
#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <system_error>
#endif

namespace spectrino::platform {

namespace {

// Closures waiting for the window's thread. Guarded by a plain mutex so that the hand-over
// from the posting thread is visible to race detectors, whatever the event queue does inside.
class ClosureQueue {
public:
    // Returns whether the queue was empty, i.e. whether the window needs a wake-up.
    bool Push(std::function<void()> closure) {
        const std::lock_guard lock(mutex_);
        closures_.push_back(std::move(closure));
        return closures_.size() == 1;
    }

    // Runs what is queued now, one at a time, without holding the lock while a closure runs
    // (a closure may post again).
    void RunAll() {
        for (;;) {
            std::function<void()> next;
            {
                const std::lock_guard lock(mutex_);
                if (closures_.empty()) {
                    return;
                }
                next = std::move(closures_.front());
                closures_.pop_front();
            }
            next();
        }
    }

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> closures_;
};

}  // namespace

#if defined(_WIN32)

class MessageWindow::Impl {
public:
    Impl() {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &Impl::WindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kClassName;
        if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                    "RegisterClassEx");
        }
        window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance, this);
        if (window_ == nullptr) {
            throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                    "CreateWindowEx");
        }
    }
    ~Impl() { DestroyWindow(window_); }

    void Post(std::function<void()> closure) {
        if (queue_.Push(std::move(closure))) {
            PostMessageW(window_, kRunMessage, 0, 0);
        }
    }
    void* Handle() const { return window_; }

private:
    static constexpr const wchar_t* kClassName = L"SpectrinoMessageWindow";
    static constexpr UINT kRunMessage = WM_APP + 1;

    // Everything but our own wake-up goes to the default processing.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && message == kRunMessage) {
            self->queue_.RunAll();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    ClosureQueue queue_;
    HWND window_ = nullptr;
};

#else

// Woken through an eventfd that a socket notifier watches on the window's thread: the
// hand-over is a write and a read that race detectors understand, and nothing of ours travels
// inside Qt's event queue, whose locks they cannot see.
class MessageWindow::Impl {
public:
    Impl() : wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (wake_ < 0) {
            throw std::system_error(errno, std::generic_category(), "eventfd");
        }
        notifier_ = std::make_unique<QSocketNotifier>(wake_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
            uint64_t wakeUps = 0;
            [[maybe_unused]] const ssize_t got = read(wake_, &wakeUps, sizeof wakeUps);
            queue_.RunAll();
        });
    }
    ~Impl() {
        notifier_.reset();  // closures still queued go with the queue
        close(wake_);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void Post(std::function<void()> closure) {
        if (queue_.Push(std::move(closure))) {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
        }
    }
    void* Handle() const { return notifier_.get(); }

private:
    ClosureQueue queue_;
    const int wake_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

#endif

MessageWindow::MessageWindow() : impl_(std::make_unique<Impl>()) {}

MessageWindow::~MessageWindow() = default;

void MessageWindow::Post(std::function<void()> closure) {
    impl_->Post(std::move(closure));
}

void* MessageWindow::Handle() const {
    return impl_->Handle();
}

}  // namespace spectrino::platform
