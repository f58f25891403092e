// The screenshot checker against pictures the spectrum control itself draws.
#include "e2e/shot_analysis.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QPainter>

#include "display/spectrum.h"

namespace {

using namespace spectrino;
using spectrino_test::ReadSpectrumShot;

class ShotAnalysisTest : public ::testing::Test {
protected:
    ShotAnalysisTest() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QFont notation(QStringLiteral("MS Shell Dlg 2"));
        notation.setPixelSize(11);
        QFont separator(QStringLiteral("MS Shell Dlg 2"));
        separator.setPixelSize(9);
        spectrum.SetNotationFont(notation);
        spectrum.SetSeperatorFont(separator);
        levels.fill(-6000);
        spectrum.OnRefresh = [this](TSpectArray& values) { values = levels; };
        spectrum.setMinimumSize(0, 0);
        spectrum.resize(720, 420);
    }

    // The control's picture placed inside a larger one, as on a screen with a menu bar above.
    QImage Screen() {
        spectrum.Paint();
        spectrum.TimerTick();
        QImage screen(900, 600, QImage::Format_RGB32);
        screen.fill(qRgb(239, 239, 239));
        QPainter painter(&screen);
        painter.drawImage(kOrigin, spectrum.Image());
        return screen;
    }

    static constexpr QPoint kOrigin{31, 47};
    TSpectrum spectrum;
    TSpectArray levels{};
};

TEST_F(ShotAnalysisTest, FindsThePlotAndTheTallestBand) {
    levels[74] = -1500;
    levels[73] = levels[75] = -2500;
    const auto reading = ReadSpectrumShot(Screen(), 44100);
    ASSERT_TRUE(reading.Problems.empty()) << reading.Problems.front();
    EXPECT_EQ(reading.Top, kOrigin.y() + spectrum.PlotTop());
    EXPECT_EQ(reading.Bottom, kOrigin.y() + spectrum.PlotBottom());
    for (int band : {0, 74, 127}) {
        EXPECT_EQ(reading.BandX[band], kOrigin.x() + spectrum.BarLeft(band)) << band;
    }
    EXPECT_EQ(reading.TallestBand(), 74);
    EXPECT_EQ(reading.BarHeights[74], spectrum.PlotHeight() * (7400 - 1500) / 7400);
    EXPECT_EQ(reading.BarHeights[73], reading.BarHeights[75]);
    EXPECT_LT(reading.BarHeights[73], reading.BarHeights[74]);

    // A tie has no tallest band.
    levels[20] = -1500;
    const auto tie = ReadSpectrumShot(Screen(), 44100);
    EXPECT_EQ(tie.BarHeights[20], tie.BarHeights[74]);
    EXPECT_EQ(tie.TallestBand(), -1);
}

TEST_F(ShotAnalysisTest, NoticesMissingLabelsMisplacedSeparatorsAndNoSpectrum) {
    spectrum.SetSamplerate(48000);
    QImage screen = Screen();
    EXPECT_TRUE(ReadSpectrumShot(screen, 48000).Problems.empty());
    // At 44100 Hz the separators would stand one band further right.
    const auto wrongRate = ReadSpectrumShot(screen, 44100);
    ASSERT_FALSE(wrongRate.Problems.empty());
    EXPECT_NE(wrongRate.Problems.front().find("separator lines"), std::string::npos);

    // The left-hand scale labels painted over.
    QPainter(&screen).fillRect(kOrigin.x(), kOrigin.y() + spectrum.PlotTop() - 8,
                               spectrum.LeftMargin() - 2, spectrum.PlotHeight() / 2, Qt::black);
    const auto unlabelled = ReadSpectrumShot(screen, 48000);
    ASSERT_FALSE(unlabelled.Problems.empty());
    EXPECT_NE(unlabelled.Problems.front().find("scale label -0 missing on the left"),
              std::string::npos);

    QImage empty(640, 480, QImage::Format_RGB32);
    empty.fill(Qt::black);
    const auto nothing = ReadSpectrumShot(empty, 44100);
    ASSERT_EQ(nothing.Problems.size(), 1u);
    EXPECT_EQ(nothing.TallestBand(), -1);
}

}  // namespace
