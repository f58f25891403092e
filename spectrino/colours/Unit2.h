// The colour settings dialog: three bar colours and the two zone thresholds. The main window
// copies its values into the public fields, runs the dialog with exec() and takes the fields
// back when it ends with Accepted.
#pragma once

#include <QDialog>

#include <functional>

#include "colours/ColorButton.h"
#include "core/colour_dialog.h"
#include "display/spectrum.h"

class QColorDialog;
class QComboBox;
class QGroupBox;
class QPushButton;

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

    void FormShow();
    void ColorButton1Click();
    void ColorButton2Click();
    void ColorButton3Click();
    void Button1Click();  // OK
    void Button3Click();  // Reset

    // Runs the colour chooser after it was preset; true when the user confirmed a colour.
    std::function<bool(QColorDialog& dialog)> ExecuteColorDialog;
    // Shows an error box owned by the dialog.
    std::function<void(QWidget* owner, const QString& text, const QString& caption)> ShowError;

    QGroupBox* GroupBox1 = nullptr;
    TColorButton* ColorButton1 = nullptr;
    TColorButton* ColorButton2 = nullptr;
    TColorButton* ColorButton3 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QColorDialog* ColorDialog1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void PickColor(TColorButton& swatch);
    TColorButton& Swatch(TSwatch swatch) const;
};

// A colour chooser's QColor as a colour value (0x00BBGGRR), and back.
TColor QColorToColor(const QColor& color);

}  // namespace spectrino
