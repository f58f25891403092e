#include "exception_handler.h"

#if defined(SPECTRINO_HAVE_WIDGETS)
#include <QApplication>
#include <QMessageBox>
#else
#include <cstdio>
#endif

namespace spectrino {
namespace {

ExceptionCapture* g_capture = nullptr;  // GUI thread only
std::function<void(const std::string&)>& Presenter() {
    static std::function<void(const std::string&)> presenter;  // GUI thread only
    return presenter;
}

}  // namespace

void ApplicationHandleException(const std::exception& error) {
    if (g_capture != nullptr) {
        g_capture->Add(error.what());
        return;
    }
    if (Presenter()) {
        Presenter()(error.what());
        return;
    }
#if defined(SPECTRINO_HAVE_WIDGETS)
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                          QString::fromUtf8(error.what()));
#else
    std::fprintf(stderr, "%s\n", error.what());
#endif
}

void SetExceptionPresenter(std::function<void(const std::string& message)> presenter) {
    Presenter() = std::move(presenter);
}

ExceptionCapture::ExceptionCapture() : previous_(g_capture) {
    g_capture = this;
}

ExceptionCapture::~ExceptionCapture() {
    g_capture = previous_;
}

}  // namespace spectrino
