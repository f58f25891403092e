// The canvas's straight-to-the-pixels fills and column copies against the painter they stand
// in for, at the picture's edges where clipping decides.
#include "display/image_canvas.h"

#include <gtest/gtest.h>

#include <QPainter>

namespace spectrino {
namespace {

QImage Gradient(int width, int height) {
    QImage image = MakeImage(QSize(width, height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(40 * x, 20 * y, 7 * (x + y)));
        }
    }
    return image;
}

TEST(ImageCanvas, FillsAndCopiesClipLikeThePainter) {
    QFont font;
    QImage target = Gradient(20, 12);
    ImageCanvas canvas(target, font, font);
    ASSERT_FALSE(canvas.PrepareColumn(TSpectrumColumn::Bar, 4, 12));
    canvas.FillColumn(TSpectrumColumn::Bar, {0, 0, 4, 6}, 0x0000FF);
    canvas.FillColumn(TSpectrumColumn::Bar, {0, 6, 4, 12}, 0x00FF00);

    QImage expected = target.copy();
    QImage column = MakeImage(QSize(4, 12));
    {
        QPainter bar(&column);
        bar.fillRect(QRect(0, 0, 4, 6), QColor(255, 0, 0));
        bar.fillRect(QRect(0, 6, 4, 6), QColor(0, 255, 0));
    }
    {
        QPainter painter(&expected);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(18, -3), column, QRect(0, 2, 4, 8));  // past the right, above
        painter.drawImage(QPoint(-1, 9), column, QRect(1, 0, 3, 12));  // past the left, below
        painter.drawImage(QPoint(5, 2), column, QRect(2, 9, 4, 5));    // beyond the column
        painter.fillRect(QRect(-2, 4, 5, 3), QColor(1, 2, 3));
        painter.fillRect(QRect(10, 11, 1, 4), QColor(9, 8, 7));
        painter.fillRect(QRect(7, 1, 12, 1), QColor(200, 100, 50));
    }

    canvas.Begin();
    canvas.CopyColumn(TSpectrumColumn::Bar, 18, -3, {0, 2, 4, 10});
    canvas.CopyColumn(TSpectrumColumn::Bar, -1, 9, {1, 0, 4, 12});
    canvas.CopyColumn(TSpectrumColumn::Bar, 5, 2, {2, 9, 6, 14});
    canvas.FillRect({-2, 4, 3, 7}, 0x030201);
    canvas.Line(10, 11, 10, 15, 0x070809);
    canvas.Line(7, 1, 19, 1, 0x3264C8);
    canvas.End();

    EXPECT_EQ(target, expected);
    // The changed area is what was asked for, clipped or not, as before.
    EXPECT_EQ(canvas.TakeDirty(), QRect(-2, -3, 24, 24));
}

}  // namespace
}  // namespace spectrino
