#include "termination.h"

#if defined(_WIN32)

namespace spectrino::platform {

// Windows ends a windowed program through its windows, which close normally.
class TerminationRequests::Impl {};

TerminationRequests::TerminationRequests(std::function<void()>) {}
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
