// The colour dialog: lists showing the thresholds, OK with its order check, Reset and Cancel,
// and the colour chooser behind each swatch.
#include <QColorDialog>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "colours/Unit2.h"

namespace spectrino {
namespace {

struct ShownError {
    QWidget* owner;
    QString text;
    QString caption;
};

// A dialog whose error boxes are recorded instead of shown.
struct Dialog {
    Dialog() {
        form.ShowError = [this](QWidget* owner, const QString& text, const QString& caption) {
            errors.push_back({owner, text, caption});
        };
    }
    void Show(int high, int mid) {
        form.HighTresh = high;
        form.MidTresh = mid;
        form.show();
    }
    TForm2 form;
    std::vector<ShownError> errors;
};

TEST(ColourDialog, ListsShowTheThresholdsClampedToTheirEnds) {
    struct Case {
        int high, mid;
        const char* highText;
        const char* midText;
    };
    const Case cases[] = {
        {-10, -20, "-10 db", "-20 db"},
        {-30, -20, "-20 db", "-20 db"},
        {-11, -21, "-10 db", "-20 db"},
        {-2, -2, "-2 db", "-4 db"},
        {0, -41, "-2 db", "-40 db"},
        {5, -100, "-2 db", "-40 db"},
        {std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), "-20 db", "-4 db"},
    };
    Dialog dialog;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.high << " / " << c.mid);
        dialog.Show(c.high, c.mid);
        EXPECT_EQ(dialog.form.ComboBox1->currentText(), QString::fromLatin1(c.highText));
        EXPECT_EQ(dialog.form.ComboBox2->currentText(), QString::fromLatin1(c.midText));
        dialog.form.hide();
    }
}

TEST(ColourDialog, OkStoresWhatTheListsShowUnlessTheThresholdsOverlap) {
    Dialog dialog;
    TForm2& form = dialog.form;
    dialog.Show(-30, -20);
    form.Button1Click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.HighTresh, -20);  // equal thresholds are accepted
    EXPECT_EQ(form.MidTresh, -20);
    EXPECT_TRUE(dialog.errors.empty());

    dialog.Show(-10, -20);
    form.ComboBox1->setCurrentIndex(5);  // -12 db
    form.ComboBox2->setCurrentIndex(3);  // -10 db
    form.Button1Click();
    ASSERT_EQ(dialog.errors.size(), 1u);
    EXPECT_EQ(dialog.errors[0].owner, &form);
    EXPECT_EQ(dialog.errors[0].text, QStringLiteral("Overlapping Threshold!"));
    EXPECT_EQ(dialog.errors[0].caption, QStringLiteral("Analyzer"));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.result(), 0);
    EXPECT_EQ(form.HighTresh, -10);
    EXPECT_EQ(form.MidTresh, -20);

    form.ComboBox1->setCurrentIndex(4);  // -10 db against -10 db
    form.Button1Click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.HighTresh, -10);
    EXPECT_EQ(form.MidTresh, -10);
}

TEST(ColourDialog, ModalRunEndsAcceptedOnOkAndRejectedOnCancelAfterReset) {
    Dialog dialog;
    TForm2& form = dialog.form;
    form.HighColor = 0x112233;
    form.MidColor = 0x445566;
    form.LowColor = 0x778899;
    form.HighTresh = -6;
    form.MidTresh = -30;

    QTimer::singleShot(0, &form, [&] {
        EXPECT_EQ(form.ColorButton2->BackColor(), 0x445566u);
        form.Button3->click();  // Reset
        EXPECT_EQ(form.ColorButton1->BackColor(), 0x0000FFu);
        EXPECT_EQ(form.ColorButton3->HoverColor(), 0xC0C000u);
        EXPECT_EQ(form.ComboBox1->currentText(), QStringLiteral("-10 db"));
        EXPECT_EQ(form.ComboBox2->currentText(), QStringLiteral("-20 db"));
        form.Button2->click();  // Cancel
    });
    EXPECT_EQ(form.exec(), QDialog::Rejected);
    EXPECT_EQ(form.HighColor, 0x112233u);
    EXPECT_EQ(form.LowColor, 0x778899u);
    EXPECT_EQ(form.HighTresh, -6);
    EXPECT_EQ(form.MidTresh, -30);

    QTimer::singleShot(0, &form, [&] {
        EXPECT_EQ(form.ComboBox1->currentText(), QStringLiteral("-6 db"));
        form.Button1->click();
    });
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_EQ(form.HighColor, 0x112233u);
    EXPECT_EQ(form.HighTresh, -6);
    EXPECT_EQ(form.MidTresh, -30);
}

TEST(ColourDialog, SwatchClickPresetsTheChooserAndTakesAConfirmedColour) {
    Dialog dialog;
    TForm2& form = dialog.form;
    form.MidColor = 0x00FFFF;
    dialog.Show(-10, -20);
    QColor preset;
    bool confirm = true;
    form.ExecuteColorDialog = [&](QColorDialog& chooser) {
        preset = chooser.currentColor();
        chooser.setCurrentColor(QColor(0x10, 0x20, 0x30));
        return confirm;
    };

    QTest::mouseClick(form.ColorButton2, Qt::LeftButton);
    EXPECT_EQ(preset, QColor(0xFF, 0xFF, 0x00));
    EXPECT_EQ(form.ColorButton2->BackColor(), 0x302010u);
    EXPECT_EQ(form.ColorButton2->HoverColor(), 0x302010u);
    EXPECT_EQ(form.ColorButton2->ForeColor(), 0x302010u);

    confirm = false;
    form.ColorButton3Click();
    EXPECT_EQ(form.ColorButton3->BackColor(), form.LowColor);

    form.Button1Click();
    EXPECT_EQ(form.MidColor, 0x302010u);
    EXPECT_EQ(form.LowColor, 0xC0C000u);
}

}  // namespace
}  // namespace spectrino
