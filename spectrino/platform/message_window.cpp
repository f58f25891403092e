#include "message_window.h"

#include <deque>
#include <mutex>
#include <utility>

#if defined(_WIN32)
#include <windows.h>

#include <system_error>
#else
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
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

class MessageWindow::Impl {
public:
    void Post(std::function<void()> closure) {
        if (queue_.Push(std::move(closure))) {
            QCoreApplication::postEvent(&receiver_, new QEvent(kRunEvent));
        }
    }
    void* Handle() const { return const_cast<Receiver*>(&receiver_); }

private:
    static constexpr QEvent::Type kRunEvent = static_cast<QEvent::Type>(QEvent::User + 0x2A5);

    class Receiver : public QObject {
    public:
        explicit Receiver(ClosureQueue& queue) : queue_(queue) {}

    protected:
        bool event(QEvent* event) override {
            if (event->type() == kRunEvent) {
                queue_.RunAll();
                return true;
            }
            return QObject::event(event);
        }

    private:
        ClosureQueue& queue_;
    };

    ClosureQueue queue_;
    // Declared last so that it goes first, taking its pending wake-ups along.
    Receiver receiver_{queue_};
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
