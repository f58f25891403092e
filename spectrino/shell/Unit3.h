// The about box.
#pragma once

#include <QDialog>

namespace spectrino {

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);
};

}  // namespace spectrino
