#include "shell/quit_request.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

namespace spectrino {

void TQuitRequest::Request() {
    requested_ = true;
    // A box waiting for a click would hold the program (and its settings) until killed.
    QWidget* modal = QApplication::activeModalWidget();
    while (modal != nullptr) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        QWidget* const next = QApplication::activeModalWidget();
        if (next == modal) {
            break;  // it refuses to close; the request still ends the loop
        }
        modal = next;
    }
    // Ignored by Qt while the loop has not started; Exec() takes the request up then.
    QApplication::quit();
}

int TQuitRequest::Exec() {
    return requested_ ? 0 : QApplication::exec();
}

}  // namespace spectrino
