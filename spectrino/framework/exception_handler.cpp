#include "exception_handler.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>

namespace spectrino {
namespace {

ExceptionCapture* g_capture = nullptr;  // GUI thread only

}  // namespace

void ApplicationHandleException(const std::exception& error) {
    const QString message = QString::fromUtf8(error.what());
    if (g_capture != nullptr) {
        g_capture->Add(message);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                          message);
}

ExceptionCapture::ExceptionCapture() : previous_(g_capture) {
    g_capture = this;
}

ExceptionCapture::~ExceptionCapture() {
    g_capture = previous_;
}

}  // namespace spectrino
