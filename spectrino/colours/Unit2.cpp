#include "colours/Unit2.h"

namespace spectrino {

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Analyzer Color Settings"));
}

}  // namespace spectrino
