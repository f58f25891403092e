#include "colours/Unit2.h"

#include <QColorDialog>
#include <QComboBox>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

#include "framework/fonts.h"

namespace spectrino {
namespace {

QComboBox* MakeThresholdList(QWidget* parent, const TThresholdList& thresholds) {
    auto* list = new QComboBox(parent);
    for (int k = 0; k < thresholds.Count; ++k) {
        list->addItem(QString::fromStdString(thresholds.ItemText(k)));
    }
    list->setCurrentIndex(thresholds.DesignItem);
    return list;
}

// 60 pixels wide, or as wide as the longest item needs with this style and font, but never past
// the group box's frame.
void PlaceList(QComboBox& list, int left, int top) {
    const QWidget& box = *list.parentWidget();
    const int room = box.width() - left - 3;
    list.setGeometry(left, top, std::clamp(list.sizeHint().width(), 60, room),
                     list.sizeHint().height());
}

void SetSwatch(TColorButton& swatch, TColor color) {
    swatch.SetBackColor(color);
    swatch.SetHoverColor(color);
    swatch.SetForeColor(color);
}

}  // namespace

TColor QColorToColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<TColor>(rgb.red()) | (static_cast<TColor>(rgb.green()) << 8) |
           (static_cast<TColor>(rgb.blue()) << 16);
}

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kColourDialogCaption));
    setFont(ShellDlgFontPoints(8));
    // Client area of a 216 x 203 window with a dialog frame.
    setFixedSize(208, 169);
    move(716, 266);

    GroupBox1 = new QGroupBox(QStringLiteral("Bar Colors"), this);
    GroupBox1->setGeometry(8, 8, 105, 153);
    ColorButton1 = new TColorButton(GroupBox1);
    ColorButton1->setGeometry(8, 16, 25, 25);
    ColorButton2 = new TColorButton(GroupBox1);
    ColorButton2->setGeometry(8, 45, 25, 35);
    ColorButton3 = new TColorButton(GroupBox1);
    ColorButton3->setGeometry(8, 83, 25, 60);
    ComboBox1 = MakeThresholdList(GroupBox1, kHighThresholds);
    PlaceList(*ComboBox1, 38, 32);
    ComboBox2 = MakeThresholdList(GroupBox1, kMidThresholds);
    PlaceList(*ComboBox2, 37, 72);

    Button3 = new QPushButton(QStringLiteral("Reset"), this);
    Button3->setGeometry(120, 64, 75, 25);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setGeometry(120, 96, 75, 25);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setGeometry(120, 128, 75, 25);

    ColorDialog1 = new QColorDialog(this);
    // Qt's own chooser always shows the custom-colour part.
    ColorDialog1->setOption(QColorDialog::DontUseNativeDialog);

    ExecuteColorDialog = [](QColorDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    ShowError = [](QWidget* owner, const QString& text, const QString& caption) {
        QMessageBox::critical(owner, caption, text);
    };

    connect(ColorButton1, &QPushButton::clicked, this, &TForm2::ColorButton1Click);
    connect(ColorButton2, &QPushButton::clicked, this, &TForm2::ColorButton2Click);
    connect(ColorButton3, &QPushButton::clicked, this, &TForm2::ColorButton3Click);
    connect(Button3, &QPushButton::clicked, this, &TForm2::Button3Click);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm2::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TForm2::FormShow() {
    const TColourDialogView view =
        ShowColourSettings({HighColor, MidColor, LowColor, HighTresh, MidTresh});
    for (const auto swatch : {TSwatch::High, TSwatch::Mid, TSwatch::Low}) {
        TColorButton& button = Swatch(swatch);
        button.SetHoverColor(view.Colour(swatch));
        button.SetBackColor(view.Colour(swatch));
        button.SetForeColor(view.Colour(swatch));
    }
    ComboBox1->setCurrentIndex(view.HighItem);
    ComboBox2->setCurrentIndex(view.MidItem);
}

TColorButton& TForm2::Swatch(TSwatch swatch) const {
    switch (swatch) {
        case TSwatch::High:
            return *ColorButton1;
        case TSwatch::Mid:
            return *ColorButton2;
        case TSwatch::Low:
            break;
    }
    return *ColorButton3;
}

void TForm2::PickColor(TColorButton& swatch) {
    ColorDialog1->setCurrentColor(ColorToQColor(swatch.BackColor()));
    if (ExecuteColorDialog(*ColorDialog1)) {
        SetSwatch(swatch, QColorToColor(ColorDialog1->currentColor()));
    }
}

void TForm2::ColorButton1Click() {
    PickColor(*ColorButton1);
}

void TForm2::ColorButton2Click() {
    PickColor(*ColorButton2);
}

void TForm2::ColorButton3Click() {
    PickColor(*ColorButton3);
}

void TForm2::Button3Click() {
    const TColourDialogView view = ResetColourView();
    for (const auto swatch : {TSwatch::High, TSwatch::Mid, TSwatch::Low}) {
        SetSwatch(Swatch(swatch), view.Colour(swatch));
    }
    ComboBox1->setCurrentIndex(view.HighItem);
    ComboBox2->setCurrentIndex(view.MidItem);
}

void TForm2::Button1Click() {
    setResult(QDialog::Accepted);
    TColourDialogView view;
    for (const auto swatch : {TSwatch::High, TSwatch::Mid, TSwatch::Low}) {
        view.Colour(swatch) = Swatch(swatch).HoverColor();
    }
    view.HighItem = ComboBox1->currentIndex();
    view.MidItem = ComboBox2->currentIndex();
    TColourSettings settings{HighColor, MidColor, LowColor, HighTresh, MidTresh};
    const auto error = AcceptColourView(view, settings);
    HighColor = settings.HighColor;
    MidColor = settings.MidColor;
    LowColor = settings.LowColor;
    if (error) {
        ShowError(this, QString::fromStdString(error->Text),
                  QString::fromStdString(error->Caption));
        setResult(0);  // stays open
        return;
    }
    HighTresh = settings.HighTresh;
    MidTresh = settings.MidTresh;
    accept();
}

}  // namespace spectrino
