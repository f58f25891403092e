// The application's default exception handler: every user-interface entry point (menu action,
// timer, queued notification) runs through Guarded, which shows what went wrong in a message
// box and lets the program go on.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace spectrino {

void ApplicationHandleException(const std::exception& error);

// Shows the message to the user from now on, in place of the toolkit's box (or standard error
// without one); an empty function goes back to that.
void SetExceptionPresenter(std::function<void(const std::string& message)> presenter);

template <typename F>
void Guarded(F&& action) {
    try {
        std::forward<F>(action)();
    } catch (const std::exception& error) {
        ApplicationHandleException(error);
    }
}

// Collects the messages instead of showing boxes while it lives (for tests and headless runs).
class ExceptionCapture {
public:
    ExceptionCapture();
    ~ExceptionCapture();
    ExceptionCapture(const ExceptionCapture&) = delete;
    ExceptionCapture& operator=(const ExceptionCapture&) = delete;

    const std::vector<std::string>& Messages() const { return messages_; }
    void Add(std::string message) { messages_.push_back(std::move(message)); }

private:
    ExceptionCapture* previous_;
    std::vector<std::string> messages_;
};

}  // namespace spectrino
