#include "event_loop.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <QCoreApplication>

#include "platform/message_window.h"
#endif

namespace spectrino::platform {

#if defined(_WIN32)

namespace {

// A thread message (no window): the loop recognises it before dispatching.
constexpr UINT kQuitMessage = WM_APP + 0x2A6;

void Dispatch(MSG& message) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace

class EventLoop::Impl {
public:
    Impl() : thread_(GetCurrentThreadId()) {
        // A thread gets its message queue with its first message call; posting to it from
        // other threads fails until then.
        MSG message;
        PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    }

    void Exec() {
        MSG message;
        for (;;) {
            const BOOL result = GetMessageW(&message, nullptr, 0, 0);
            if (result == 0 || result == -1) {
                return;  // WM_QUIT from elsewhere, or no queue at all
            }
            if (message.hwnd == nullptr && message.message == kQuitMessage) {
                return;
            }
            Dispatch(message);
        }
    }

    void Quit() { PostThreadMessageW(thread_, kQuitMessage, 0, 0); }

private:
    const DWORD thread_;
};

void ProcessEvents() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Leave it for the loop that owns the thread.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(message);
    }
}

#else

class EventLoop::Impl {
public:
    Impl(int& argc, char** argv) {
        if (QCoreApplication::instance() == nullptr) {
            owned_ = std::make_unique<QCoreApplication>(argc, argv);
        }
        wakeup_ = std::make_unique<MessageWindow>();
    }

    void Exec() { QCoreApplication::exec(); }
    // Callable from any thread; a request made before Exec takes effect once it runs. The
    // request travels through the message window rather than Qt's posted events, whose
    // hand-over between threads ThreadSanitizer cannot see.
    void Quit() {
        wakeup_->Post([] { QCoreApplication::exit(0); });
    }

private:
    std::unique_ptr<QCoreApplication> owned_;
    std::unique_ptr<MessageWindow> wakeup_;
};

void ProcessEvents() {
    QCoreApplication::processEvents();
}

#endif

#if defined(_WIN32)
EventLoop::EventLoop(int&, char**) : impl_(std::make_unique<Impl>()) {}
#else
EventLoop::EventLoop(int& argc, char** argv) : impl_(std::make_unique<Impl>(argc, argv)) {}
#endif

EventLoop::~EventLoop() = default;

void EventLoop::Exec() {
    impl_->Exec();
}

void EventLoop::Quit() {
    impl_->Quit();
}

}  // namespace spectrino::platform
