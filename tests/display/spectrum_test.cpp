#include "display/spectrum.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLocale>
#include <QMouseEvent>

#include <climits>
#include <memory>

#include "core/bandlevel.h"
#include "framework/exception.h"
#include "platform/debug_output.h"

namespace spectrino {
namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "spectrum_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QRgb Rgb(TColor color) {
    return ColorToQColor(color).rgb();
}

class SpectrumTest : public ::testing::Test {
protected:
    SpectrumTest() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        // The fonts the main window uses; a face this system lacks falls back to sans.
        QFont notation(QStringLiteral("MS Shell Dlg 2"));
        notation.setPixelSize(11);
        QFont separator(QStringLiteral("MS Shell Dlg 2"));
        separator.setPixelSize(9);
        spectrum.SetNotationFont(notation);
        spectrum.SetSeperatorFont(separator);
        delivered.fill(kFloorLevel);
        spectrum.OnRefresh = [this](TSpectArray& values) {
            ++calls;
            values = delivered;
        };
    }

    // Paints once to learn the margins, then sizes the control for the wanted plot height.
    void SetPlotHeight(int plotHeight) {
        spectrum.Paint();
        spectrum.setMinimumSize(0, 0);
        spectrum.resize(456, plotHeight + spectrum.TopMargin() + spectrum.BottomMargin());
        spectrum.Paint();
        ASSERT_EQ(spectrum.PlotHeight(), plotHeight);
    }
    void Ticks(int count) {
        for (int i = 0; i < count; ++i) {
            spectrum.TimerTick();
        }
    }
    QRgb Pixel(int x, int y) const { return spectrum.Image().pixel(x, y); }
    QRgb BarPixel(int band, int y) const { return Pixel(spectrum.BarLeft(band), y); }
    bool ColumnIsBackground(int band) const {
        for (int y = spectrum.PlotTop(); y < spectrum.PlotBottom(); ++y) {
            if (BarPixel(band, y) != background) {
                return false;
            }
        }
        return true;
    }
    int Y(int32_t level) const {
        return spectrum.PlotBottom() -
               static_cast<int>(int64_t{spectrum.PlotHeight()} * (7400 + level) / 7400);
    }
    void MoveTo(int x, int y) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y), QPointF(x, y), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&spectrum, &move);
    }

    TSpectrum spectrum;
    TSpectArray delivered{};
    int calls = 0;
    const QRgb background = Rgb(0);
    const QRgb high = Rgb(0x0000FF);
    const QRgb mid = Rgb(0x00FFFF);
    const QRgb low = Rgb(0xC0C000);
};

TEST_F(SpectrumTest, ControlLaysOutFromItsFontsAndSize) {
    EXPECT_EQ(spectrum.size(), QSize(456, 240));
    spectrum.Paint();
    ASSERT_EQ(spectrum.Image().size(), QSize(456, 240));
    const QFontMetrics notation(spectrum.NotationFont(), &spectrum.Image());
    const int labelWidth = notation.horizontalAdvance(QStringLiteral("-90"));
    EXPECT_EQ(spectrum.BarOffset(), ComputeSpectrumLayout(456, labelWidth).BarOffset);
    EXPECT_EQ(spectrum.TopMargin(), 8 + notation.height());

    delivered.fill(0);
    spectrum.TimerTick();
    const int bottomRow = spectrum.PlotBottom() - 1;
    const int first = spectrum.BarLeft(0);
    const int last = spectrum.BarLeft(127) + spectrum.BarWidth() - 1;
    EXPECT_EQ(Pixel(first, bottomRow), low);
    EXPECT_EQ(Pixel(last, bottomRow), low);
    EXPECT_EQ(Pixel(first - 1, bottomRow), background);
    EXPECT_EQ(Pixel(last + 1, bottomRow), background);
    EXPECT_EQ(Pixel(first + spectrum.BarWidth(), bottomRow), background);  // gap column

    spectrum.resize(600, 300);
    spectrum.Paint();
    EXPECT_EQ(spectrum.Image().size(), QSize(600, 300));
    EXPECT_EQ(spectrum.BarWidth(), ComputeSpectrumLayout(600, labelWidth).BarWidth);
    EXPECT_EQ(Pixel(spectrum.BarLeft(127), spectrum.PlotBottom() - 1), low);
}

TEST_F(SpectrumTest, BarsShowTheZoneColoursAndRebuildWhenColoursChange) {
    SetPlotHeight(185);
    const int top = spectrum.PlotTop();
    delivered[5] = 0;
    delivered[6] = -7400;
    delivered[7] = 500;  // above 0 dB: a full bar, marker on the top row
    spectrum.TimerTick();
    EXPECT_EQ(BarPixel(5, top), high);
    EXPECT_EQ(BarPixel(5, top + 24), high);
    EXPECT_EQ(BarPixel(5, top + 25), mid);
    EXPECT_EQ(BarPixel(5, top + 49), mid);
    EXPECT_EQ(BarPixel(5, top + 50), low);
    EXPECT_EQ(BarPixel(5, spectrum.PlotBottom() - 1), low);
    EXPECT_TRUE(ColumnIsBackground(6));
    for (int y = top; y < spectrum.PlotBottom(); ++y) {
        ASSERT_EQ(BarPixel(7, y), BarPixel(5, y)) << y;
    }

    // Same size, new colour: the paint rebuilds the cached bar column.
    spectrum.SetHighColor(0x00FF00);
    spectrum.Paint();
    EXPECT_EQ(BarPixel(5, top + 10), Rgb(0x00FF00));
    spectrum.SetMidTreshhold(-30);
    spectrum.Paint();
    EXPECT_EQ(BarPixel(5, top + ComputeZoneRows(185, -10, -30).Mid - 1), mid);
}

TEST_F(SpectrumTest, ThresholdsFarOffTheScaleStillGiveZones) {
    // The settings file may hold any negative threshold, down to the smallest integer.
    EXPECT_EQ(ComputeZoneRows(185, -1000000000, -1000000000).High, 185);
    EXPECT_EQ(ComputeZoneRows(185, -1000000000, -1000000000).Mid, 185);
    EXPECT_EQ(ComputeZoneRows(185, -10, INT_MIN).Mid, 185);
    EXPECT_EQ(ComputeZoneRows(185, INT_MAX, INT_MAX).High, 0);

    SetPlotHeight(185);
    spectrum.SetHighTreshhold(INT_MIN);
    spectrum.SetMidTreshhold(-1000000000);
    delivered[5] = -5000;
    delivered[6] = 0;
    spectrum.TimerTick();
    spectrum.Paint();
    // Every level lies above both thresholds: the whole column is the high zone.
    EXPECT_EQ(spectrum.PeakZones()[5], 2);
    EXPECT_EQ(BarPixel(6, spectrum.PlotTop()), high);
    EXPECT_EQ(BarPixel(6, spectrum.PlotBottom() - 1), high);

    spectrum.SetHighTreshhold(-10);
    spectrum.SetMidTreshhold(-21474837);
    delivered[5] = -4000;
    spectrum.TimerTick();
    spectrum.Paint();
    EXPECT_EQ(spectrum.PeakZones()[5], 1);
    EXPECT_EQ(BarPixel(6, spectrum.PlotBottom() - 1), mid);
}

TEST_F(SpectrumTest, RisingBarsCopyTheColumnFallingBarsOnlyEraseAndPaintRedrawsAll) {
    SetPlotHeight(185);
    spectrum.SetDecaySpeed(TDecaySpeed::dsFast);
    spectrum.SetPeakDisplay(TPeakDisplay::pdHold);
    const int bottomRow = spectrum.PlotBottom() - 1;
    delivered[3] = -1500;
    spectrum.TimerTick();
    EXPECT_EQ(BarPixel(3, Y(-1500)), mid);
    EXPECT_EQ(BarPixel(3, Y(-1500) - 1), background);

    // A paint redraws every bar from its level; the values of that refresh are discarded.
    delivered[3] = 0;
    delivered[4] = 0;
    const int before = calls;
    spectrum.Paint();
    EXPECT_EQ(calls, before + 1);
    EXPECT_EQ(spectrum.Levels()[3], -1500);
    EXPECT_EQ(BarPixel(3, Y(-1500)), mid);
    EXPECT_EQ(BarPixel(3, Y(-1500) - 1), background);
    EXPECT_TRUE(ColumnIsBackground(4));

    // The fall is limited to 8 dB but never below the new value; rows above the new top go.
    delivered[3] = -2000;
    spectrum.TimerTick();
    EXPECT_EQ(spectrum.Levels()[3], -2000);
    EXPECT_EQ(BarPixel(3, Y(-1800)), background);
    EXPECT_EQ(BarPixel(3, Y(-2000) - 1), background);
    EXPECT_EQ(BarPixel(3, Y(-2000)), low);
    EXPECT_EQ(BarPixel(3, bottomRow), low);

    // A paint without a handler leaves the bars off the picture while the levels stay; a
    // falling tick then draws nothing below its top, a rising one copies the column again.
    auto handler = std::exchange(spectrum.OnRefresh, nullptr);
    spectrum.Paint();
    spectrum.OnRefresh = handler;
    delivered[3] = -2500;
    spectrum.TimerTick();
    EXPECT_EQ(spectrum.Levels()[3], -2500);
    EXPECT_EQ(BarPixel(3, bottomRow), background);
    delivered[3] = -1000;
    spectrum.TimerTick();
    EXPECT_EQ(BarPixel(3, bottomRow), low);
    EXPECT_EQ(BarPixel(3, Y(-1000) + 1), mid);
    delivered[3] = kFloorLevel;
    spectrum.TimerTick();
    EXPECT_EQ(spectrum.Levels()[3], -1800);
}

TEST_F(SpectrumTest, PeakMarkersDecayHoldAndKeepTheirZone) {
    SetPlotHeight(185);
    delivered[20] = -1000;
    delivered[21] = -1001;
    delivered[22] = -2001;
    delivered[23] = -9000;
    spectrum.TimerTick();
    EXPECT_EQ(spectrum.PeakZones()[20], 2);
    EXPECT_EQ(spectrum.PeakZones()[21], 1);
    EXPECT_EQ(spectrum.PeakZones()[22], 0);
    EXPECT_EQ(spectrum.Levels()[23], -9000);
    EXPECT_TRUE(ColumnIsBackground(23));  // no bar, no marker below -74 dB

    // Level steady at -3000 after a -1000 peak: 0.2 dB per tick, 100 ticks down to the level,
    // in the colour of the zone that lifted it.
    delivered[20] = -3000;
    Ticks(50);
    EXPECT_EQ(spectrum.Peaks()[20], -2000);
    EXPECT_EQ(BarPixel(20, Y(-2000)), high);
    EXPECT_EQ(BarPixel(20, Y(-1000)), background);
    EXPECT_EQ(BarPixel(20, Y(-1500)), background);  // passed after the bar stood still
    Ticks(50);
    EXPECT_EQ(spectrum.Peaks()[20], -3000);
    Ticks(20);
    EXPECT_EQ(spectrum.Peaks()[20], -3000);
    EXPECT_EQ(spectrum.PeakZones()[20], 2);
    EXPECT_EQ(BarPixel(20, Y(-3000)), high);
    EXPECT_EQ(BarPixel(20, Y(-3000) + 1), low);

    spectrum.SetPeakDisplay(TPeakDisplay::pdHold);
    delivered[22] = -500;
    spectrum.TimerTick();
    delivered[22] = -4000;
    Ticks(120);
    EXPECT_EQ(spectrum.Peaks()[22], -500);
    EXPECT_EQ(BarPixel(22, Y(-500)), high);
    EXPECT_EQ(BarPixel(22, Y(-500) + 1), background);

    // Disabling clears levels, peaks and every column, and stops asking for data.
    const int before = calls;
    spectrum.SetEnabled(false);
    EXPECT_FALSE(spectrum.RefreshTimerActive());
    EXPECT_EQ(spectrum.Peaks()[22], kFloorLevel);
    EXPECT_EQ(spectrum.Levels()[20], kFloorLevel);
    EXPECT_TRUE(ColumnIsBackground(20));
    EXPECT_TRUE(ColumnIsBackground(22));
    EXPECT_EQ(calls, before);
    spectrum.SetEnabled(true);
    EXPECT_TRUE(spectrum.RefreshTimerActive());
    spectrum.TimerTick();
    EXPECT_EQ(spectrum.Peaks()[22], -4000);
}

TEST_F(SpectrumTest, SeparatorsSitOneBarFurtherRightAt44100) {
    EXPECT_EQ(FormatHz(44100.0f), "44100 Hz");
    const char* labels[] = {"16", "31.5", "63", "1k", "1k2", "3k1", "12k5", "20k"};
    const float frequencies[] = {16, 31.5f, 63, 1000, 1250, 3150, 12500, 20000};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(FormatSeperatorLabel(frequencies[i]), labels[i]);
    }

    const QRgb separator = Rgb(0x000040);
    spectrum.Paint();
    const int middle = spectrum.PlotTop() + 37 * spectrum.PlotHeight() / 74;  // no scale row
    for (int i : {0, 18, 31}) {
        const int x = spectrum.BarLeft(4 * i + 1) + spectrum.BarWidth();
        EXPECT_EQ(Pixel(x, spectrum.PlotTop() + 1), separator);
        EXPECT_EQ(Pixel(x, middle), separator);
        EXPECT_EQ(Pixel(x, spectrum.PlotBottom() - 2), separator);
        EXPECT_NE(Pixel(x, spectrum.PlotBottom() - 1), separator);
        // The rotated label stands centred under the line, starting 4 rows below the plot.
        bool labelled = false;
        for (int y = spectrum.PlotBottom() + 4; y < spectrum.Image().height(); ++y) {
            labelled = labelled || Pixel(x, y) != background || Pixel(x + 1, y) != background;
        }
        EXPECT_TRUE(labelled) << i;
        EXPECT_EQ(Pixel(x, spectrum.PlotBottom() + 2), background);
    }

    spectrum.SetSamplerate(48000.0f);
    spectrum.Paint();
    for (int i : {0, 18, 31}) {
        const int x = spectrum.BarLeft(4 * i) + spectrum.BarWidth();
        EXPECT_EQ(Pixel(x, middle), separator);
        EXPECT_EQ(Pixel(x + spectrum.BarWidth() + 1, middle), background);
    }
}

TEST_F(SpectrumTest, SamplerateMovesTheBandsAndRepaintsOnlyOnChange) {
    spectrum.SetEnabled(false);
    spectrum.show();
    QCoreApplication::processEvents();
    const int shown = calls;
    EXPECT_GE(shown, 1);  // showing paints
    float centre44 = 0, width44 = 0, centre48 = 0, width48 = 0;
    spectrum.GetBand(2, centre44, width44);
    spectrum.SetSamplerate(44100.0f);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, shown);
    spectrum.SetSamplerate(48000.0f);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, shown + 1);
    spectrum.GetBand(1, centre48, width48);
    EXPECT_EQ(centre48, centre44);
    EXPECT_EQ(width48, width44);
    EXPECT_THROW(spectrum.GetBand(128, centre48, width48), Exception);
}

TEST_F(SpectrumTest, PointerReadout) {
    SetPlotHeight(185);
    const int top = spectrum.PlotTop();
    const int bottom = spectrum.PlotBottom();
    MoveTo(spectrum.BarLeft(0) + 1, top + 1);
    EXPECT_EQ(spectrum.FreqText(), "14.5 Hz");
    EXPECT_EQ(spectrum.LevelText(), "-1 db");
    MoveTo(spectrum.BarLeft(64) + spectrum.BarWidth(), bottom - 1);  // gap right of band 64
    EXPECT_EQ(spectrum.FreqText(), "578 Hz");
    EXPECT_EQ(spectrum.LevelText(), "-74 db");

    // Drawn on the tick: level at the top left, frequency at the top right.
    const auto inkIn = [&](int left, int right) {
        int ink = 0;
        for (int y = 4; y < top; ++y) {
            for (int x = left; x < right; ++x) {
                ink += Pixel(x, y) != background ? 1 : 0;
            }
        }
        return ink;
    };
    const int width = spectrum.Image().width();
    const int levelRight = spectrum.LeftMargin() + spectrum.LevelTextWidth();
    const int freqLeft = width - spectrum.RightMargin() - spectrum.FreqTextWidth();
    EXPECT_EQ(inkIn(spectrum.LeftMargin(), levelRight), 0);
    spectrum.TimerTick();
    EXPECT_GT(inkIn(spectrum.LeftMargin(), levelRight), 0);
    EXPECT_GT(inkIn(freqLeft, width - spectrum.RightMargin()), 0);

    // Over the label column: both texts go, both areas are erased on the next tick.
    MoveTo(2, (top + bottom) / 2);
    EXPECT_TRUE(spectrum.FreqText().isEmpty());
    EXPECT_TRUE(spectrum.LevelText().isEmpty());
    spectrum.TimerTick();
    EXPECT_EQ(inkIn(spectrum.LeftMargin(), levelRight), 0);
    EXPECT_EQ(inkIn(freqLeft, width - spectrum.RightMargin()), 0);

    // Edges of the plot are outside, on every side.
    for (QPoint edge : {QPoint(spectrum.BarLeft(10), top), QPoint(spectrum.BarLeft(10), bottom),
                        QPoint(spectrum.BarLeft(0), top + 5)}) {
        MoveTo(spectrum.BarLeft(5), top + 5);
        MoveTo(edge.x(), edge.y());
        EXPECT_TRUE(spectrum.FreqText().isEmpty()) << edge.x() << "," << edge.y();
        EXPECT_TRUE(spectrum.LevelText().isEmpty());
    }

    spectrum.SetSamplerate(48000.0f);
    MoveTo(spectrum.BarLeft(127), top + 5);
    EXPECT_EQ(spectrum.FreqText(), "23116.5 Hz");
    QLocale::setDefault(QLocale(QLocale::German));
    spectrum.SetSamplerate(44100.0f);
    MoveTo(spectrum.BarLeft(0) + 1, top + 5);
    EXPECT_EQ(spectrum.FreqText(), "14,5 Hz");
}

TEST_F(SpectrumTest, DrawingFailuresAreReportedAndSkipped) {
    delivered.fill(0);
    spectrum.show();
    QCoreApplication::processEvents();
    spectrum.TimerTick();
    spectrum.setMinimumSize(0, 0);
    spectrum.resize(0, 0);  // nothing left to draw on until the next paint
    ASSERT_TRUE(spectrum.Image().isNull());
    platform::DebugCapture capture;
    delivered.fill(-1000);
    spectrum.TimerTick();
    ASSERT_EQ(capture.Lines().size(), 128u);
    EXPECT_EQ(capture.Lines()[0].rfind("copyrect failed: ", 0), 0u);
    EXPECT_EQ(spectrum.Levels()[0], -200);  // the pass itself went on
    QCoreApplication::processEvents();      // the resize's paint: no bitmaps, no more failures
    spectrum.TimerTick();
    EXPECT_EQ(capture.Lines().size(), 128u);
}

}  // namespace
}  // namespace spectrino
