// A hidden window that runs posted closures on the thread that created it, in the order they
// were posted. Any thread may post. Closures still pending when the window goes are dropped
// unrun.
//
// Windows: a message-only window (its handle is what drivers get as the host's window).
// Elsewhere: an object living on the creating thread, served by Qt's event queue; closures run
// when that thread processes its events.
#pragma once

#include <functional>
#include <memory>

namespace spectrino::platform {

class MessageWindow {
public:
    MessageWindow();
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    void Post(std::function<void()> closure);

    // The native window handle (HWND on Windows), or an opaque non-null token elsewhere.
    void* Handle() const;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace spectrino::platform
