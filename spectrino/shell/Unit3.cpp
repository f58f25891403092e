#include "shell/Unit3.h"

namespace spectrino {

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About..."));
}

}  // namespace spectrino
