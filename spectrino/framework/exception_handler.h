// The application's default exception handler: every user-interface entry point (menu action,
// timer, queued notification) runs through Guarded, which shows what went wrong in a message
// box and lets the program go on.
#pragma once

#include <QString>
#include <QStringList>
#include <exception>
#include <functional>
#include <utility>

class QWidget;

namespace spectrino {

void ApplicationHandleException(const std::exception& error);

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

    const QStringList& Messages() const { return messages_; }
    void Add(const QString& message) { messages_.append(message); }

private:
    ExceptionCapture* previous_;
    QStringList messages_;
};

}  // namespace spectrino
