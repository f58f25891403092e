#include "colours/Unit2.h"

#include <QColorDialog>
#include <QComboBox>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <cstdint>

#include "framework/fonts.h"

namespace spectrino {
namespace {

constexpr int kHighItems = 10;  // "-2 db" .. "-20 db"
constexpr int kMidItems = 19;   // "-4 db" .. "-40 db"
constexpr int kHighFirstStep = 1;
constexpr int kMidFirstStep = 2;
constexpr int kHighDesignItem = 4;  // "-10 db"
constexpr int kMidDesignItem = 8;   // "-20 db"

constexpr TColor kDefaultHigh = 0x0000FF;
constexpr TColor kDefaultMid = 0x00FFFF;
constexpr TColor kDefaultLow = 0xC0C000;

// Item k of a threshold list stands for -2 * (k + firstStep) dB.
QComboBox* MakeThresholdList(QWidget* parent, int firstStep, int count, int selected) {
    auto* list = new QComboBox(parent);
    for (int k = 0; k < count; ++k) {
        list->addItem(QStringLiteral("%1 db").arg(-2 * (k + firstStep)));
    }
    list->setCurrentIndex(selected);
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

// The list item showing `threshold`; values off the list show as its nearest end.
int ThresholdItem(int threshold, int firstStep, int count) {
    const int64_t item = -static_cast<int64_t>(threshold) / 2 - firstStep;
    return static_cast<int>(std::clamp<int64_t>(item, 0, count - 1));
}

int ItemThreshold(const QComboBox& list, int firstStep) {
    return -2 * (list.currentIndex() + firstStep);
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
    setWindowTitle(QStringLiteral("Analyzer Color Settings"));
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
    ComboBox1 = MakeThresholdList(GroupBox1, kHighFirstStep, kHighItems, kHighDesignItem);
    PlaceList(*ComboBox1, 38, 32);
    ComboBox2 = MakeThresholdList(GroupBox1, kMidFirstStep, kMidItems, kMidDesignItem);
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
    const std::array<std::pair<TColorButton*, TColor>, 3> swatches{
        {{ColorButton1, HighColor}, {ColorButton2, MidColor}, {ColorButton3, LowColor}}};
    for (const auto& [swatch, color] : swatches) {
        swatch->SetHoverColor(color);
        swatch->SetBackColor(color);
        swatch->SetForeColor(color);
    }
    ComboBox1->setCurrentIndex(ThresholdItem(HighTresh, kHighFirstStep, kHighItems));
    ComboBox2->setCurrentIndex(ThresholdItem(MidTresh, kMidFirstStep, kMidItems));
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
    SetSwatch(*ColorButton1, kDefaultHigh);
    SetSwatch(*ColorButton2, kDefaultMid);
    SetSwatch(*ColorButton3, kDefaultLow);
    ComboBox1->setCurrentIndex(kHighDesignItem);
    ComboBox2->setCurrentIndex(kMidDesignItem);
}

void TForm2::Button1Click() {
    setResult(QDialog::Accepted);
    HighColor = ColorButton1->HoverColor();
    MidColor = ColorButton2->HoverColor();
    LowColor = ColorButton3->HoverColor();
    const int high = ItemThreshold(*ComboBox1, kHighFirstStep);
    const int mid = ItemThreshold(*ComboBox2, kMidFirstStep);
    if (high < mid) {
        ShowError(this, QStringLiteral("Overlapping Threshold!"), QStringLiteral("Analyzer"));
        setResult(0);  // stays open
        return;
    }
    HighTresh = high;
    MidTresh = mid;
    accept();
}

}  // namespace spectrino
