#include "termination.h"

#if defined(_WIN32)

#include <windows.h>

#include <atomic>

#include "platform/message_window.h"

namespace spectrino::platform {

// A windowed program is ended through its windows, which close normally. A console program
// gets Ctrl+C and Ctrl+Break on a thread of the system's, which hands them to the creating
// thread through a hidden window.
class TerminationRequests::Impl {
public:
    explicit Impl(std::function<void()> onRequest) : onRequest_(std::move(onRequest)) {
        Instance().store(this, std::memory_order_release);
        SetConsoleCtrlHandler(&Impl::OnConsoleEvent, TRUE);
    }
    ~Impl() {
        SetConsoleCtrlHandler(&Impl::OnConsoleEvent, FALSE);
        Instance().store(nullptr, std::memory_order_release);
    }

private:
    // The handler gets no context of its own.
    static std::atomic<Impl*>& Instance() {
        static std::atomic<Impl*> instance{nullptr};
        return instance;
    }
    static BOOL WINAPI OnConsoleEvent(DWORD event) {
        Impl* self = Instance().load(std::memory_order_acquire);
        if (self == nullptr || (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)) {
            return FALSE;  // the system's own handling ends the process
        }
        self->window_.Post(self->onRequest_);
        return TRUE;
    }

    std::function<void()> onRequest_;
    MessageWindow window_;
};

TerminationRequests::TerminationRequests(std::function<void()> onRequest)
    : impl_(std::make_unique<Impl>(std::move(onRequest))) {}
TerminationRequests::~TerminationRequests() = default;

}  // namespace spectrino::platform

#else

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <csignal>

namespace spectrino::platform {
namespace {

// A signal handler may only write to a pipe; the event loop reads the other end.
int g_signal_pipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_signal_pipe[1], &byte, 1);
}

}  // namespace

class TerminationRequests::Impl {
public:
    explicit Impl(std::function<void()> onRequest) : onRequest_(std::move(onRequest)) {
        if (pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            return;
        }
        notifier_ = std::make_unique<QSocketNotifier>(g_signal_pipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
            char buffer[16];
            while (read(g_signal_pipe[0], buffer, sizeof(buffer)) > 0) {
            }
            onRequest_();
        });
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
            sigaction(signal, &action, nullptr);
        }
    }
    ~Impl() {
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
            std::signal(signal, SIG_DFL);
        }
        notifier_.reset();
        for (int& fd : g_signal_pipe) {
            if (fd >= 0) {
                close(fd);
                fd = -1;
            }
        }
    }

private:
    std::function<void()> onRequest_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

TerminationRequests::TerminationRequests(std::function<void()> onRequest)
    : impl_(std::make_unique<Impl>(std::move(onRequest))) {}

TerminationRequests::~TerminationRequests() = default;

}  // namespace spectrino::platform

#endif
