// The colour settings dialog: three bar colours and the two zone thresholds.
#pragma once

#include <QDialog>

#include "display/spectrum.h"

namespace spectrino {

class TForm2 : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);

    // Exchanged with the main window around a modal run.
    TColor HighColor = 0x0000FF;
    TColor MidColor = 0x00FFFF;
    TColor LowColor = 0xC0C000;
    int HighTresh = -10;
    int MidTresh = -20;
};

}  // namespace spectrino
