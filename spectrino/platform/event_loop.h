// The event processing of the thread that owns the hidden windows (wave input, the ASIO host's
// message window): their notifications only arrive while that thread processes its events.
//
// Windows pumps the thread's message queue; elsewhere Qt's event loop does the work.
#pragma once

#include <memory>

namespace spectrino::platform {

class EventLoop {
public:
    // Makes the calling thread the loop's thread. Elsewhere than on Windows this sets up the
    // process's QCoreApplication, unless one exists already.
    EventLoop(int& argc, char** argv);
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Processes events on the loop's thread until Quit().
    void Exec();
    // Ends Exec() once the events queued before the request are processed; callable from any
    // thread. A request made before Exec() ends the next Exec(), unless ProcessEvents() takes
    // it up first (it is then dropped).
    void Quit();

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

// Processes the events already queued for the calling thread, then returns.
void ProcessEvents();

}  // namespace spectrino::platform
