// The colour button: face colour while hovering, and its look in each drawing state.
#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "colours/ColorButton.h"

namespace spectrino {
namespace {

constexpr TColor kGrey = 0x808080;
constexpr TColor kRed = 0x0000FF;
constexpr TColor kBlue = 0xFF0000;

void Enter(TColorButton& button) {
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&button, &event);
}

void Leave(TColorButton& button) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&button, &event);
}

QRgb Rgb(TColor color) {
    return ColorToQColor(color).rgb();
}

QRgb Inverted(TColor color) {
    return Rgb(color) ^ 0x00FFFFFFu;
}

// The button drawn in `state` onto a 25 x 25 image cleared to a colour no state uses.
QImage Draw(const TColorButton& button, uint32_t state) {
    QImage image(25, 25, QImage::Format_RGB32);
    image.fill(QColor(0x12, 0x34, 0x56));
    QPainter canvas(&image);
    button.DrawButton(canvas, image.rect(), state);
    return image;
}

bool AllPixels(const QImage& image, const QRect& area, QRgb rgb) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) != rgb) {
                return false;
            }
        }
    }
    return true;
}

TEST(ColorButton, HoverShowsHoverColorAndLeavingRestoresTheNormalOne) {
    TColorButton button;
    EXPECT_EQ(button.BackColor(), clBtnFace);
    EXPECT_EQ(button.ForeColor(), clBtnText);
    button.SetBackColor(kGrey);
    button.SetHoverColor(kRed);
    EXPECT_EQ(button.NormalColor(), kGrey);

    Enter(button);
    EXPECT_EQ(button.BackColor(), kRed);
    EXPECT_EQ(button.NormalColor(), kGrey);
    Leave(button);
    EXPECT_EQ(button.BackColor(), kGrey);

    // A colour set while hovering is what leaving returns to.
    Enter(button);
    button.SetBackColor(kBlue);
    EXPECT_EQ(button.NormalColor(), kBlue);
    Leave(button);
    EXPECT_EQ(button.BackColor(), kBlue);
}

TEST(ColorButton, DrawsFrameAndFaceInEachState) {
    TColorButton button;
    button.SetBackColor(kGrey);

    // Normal: only frame and face; the face starts inside the two-pixel frame.
    const QImage normal = Draw(button, 0);
    EXPECT_TRUE(AllPixels(normal, QRect(2, 2, 21, 21), Rgb(kGrey)));
    EXPECT_FALSE(AllPixels(normal, QRect(0, 0, 25, 1), Rgb(kGrey)));

    // Pressed: shadow outline, no frame, face one pixel lower and to the right.
    const QImage pressed = Draw(button, odsSelected);
    EXPECT_TRUE(AllPixels(pressed, QRect(0, 0, 25, 1), Rgb(clBtnShadow)));
    EXPECT_TRUE(AllPixels(pressed, QRect(0, 0, 1, 25), Rgb(clBtnShadow)));
    EXPECT_TRUE(AllPixels(pressed, QRect(1, 1, 23, 1), Rgb(clBtnFace)));
    EXPECT_TRUE(AllPixels(pressed, QRect(2, 2, 23, 23), Rgb(kGrey)));

    // Focused: dark outline; the dotted focus rectangle only on the active button.
    const QImage focused = Draw(button, odsFocus);
    EXPECT_TRUE(AllPixels(focused, QRect(0, 0, 25, 1), Rgb(clWindowFrame)));
    EXPECT_LT(QColor(focused.pixel(0, 0)).lightness(), 100);
    EXPECT_TRUE(AllPixels(focused, QRect(3, 3, 19, 19), Rgb(kGrey)));
    button.SetButtonStyle(true);
    const QImage active = Draw(button, odsFocus);
    EXPECT_EQ(active.pixel(4, 4), Inverted(kGrey));
    EXPECT_EQ(active.pixel(5, 4), Rgb(kGrey));
    EXPECT_EQ(active.pixel(6, 4), Inverted(kGrey));
    EXPECT_EQ(active.pixel(20, 20), Inverted(kGrey));
    EXPECT_EQ(active.pixel(5, 5), Rgb(kGrey));
    // Active without focus: outline but no dots.
    EXPECT_TRUE(AllPixels(Draw(button, 0), QRect(3, 3, 19, 19), Rgb(kGrey)));
}

TEST(ColorButton, CaptionIsPlainWhenEnabledAndEmbossedWhenDisabled) {
    TColorButton button;
    button.setText(QStringLiteral("W"));
    button.SetBackColor(0x000000);
    button.SetForeColor(kRed);
    auto count = [](const QImage& image, TColor color) {
        int n = 0;
        for (int y = 2; y < 23; ++y) {
            for (int x = 2; x < 23; ++x) {
                n += image.pixel(x, y) == Rgb(color) ? 1 : 0;
            }
        }
        return n;
    };
    const QImage enabled = Draw(button, 0);
    EXPECT_GT(count(enabled, kRed), 0);

    const QImage disabled = Draw(button, odsDisabled);
    EXPECT_EQ(count(disabled, kRed), 0);
    EXPECT_GT(count(disabled, clBtnShadow), 0);
    EXPECT_GT(count(disabled, 0xFF000014), 0);  // the highlight copy
}

TEST(ColorButton, PaintsItsFaceAndTurnsADoubleClickIntoTwoClicks) {
    TColorButton button;
    button.resize(25, 35);
    button.SetBackColor(kBlue);
    button.show();
    const QImage shown = button.grab().toImage();
    EXPECT_EQ(shown.pixel(12, 17), Rgb(kBlue));
    button.setDown(true);
    EXPECT_EQ(button.grab().toImage().pixel(1, 1), Rgb(clBtnFace));

    button.setDown(false);
    QSignalSpy clicks(&button, &QPushButton::clicked);
    // A double-click arrives as press, release, double-click, release.
    const QPoint at(5, 5);
    QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, at);
    QMouseEvent second(QEvent::MouseButtonDblClick, at, button.mapToGlobal(at), Qt::LeftButton,
                       Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&button, &second);
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(clicks.count(), 2);
}

}  // namespace
}  // namespace spectrino
