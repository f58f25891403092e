#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numbers>
#include <vector>

#include "capture/fake_wavein.h"
#include "framework/exception.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "shell/Unit1.h"

namespace {

using namespace spectrino;

class Form1 : public ::testing::Test {
protected:
    void SetUp() override { form = std::make_unique<TForm1>(nullptr, &fake_); }

    TSpectArray Refresh() {
        TSpectArray values;
        values.fill(12345);
        form->Spectrum1Refresh(values);
        return values;
    }

    void FeedTone(double frequency, int blocks) {
        std::vector<float> block(2048);
        for (int b = 0; b < blocks; ++b) {
            for (float& s : block) {
                s = static_cast<float>(
                    0.1 * std::sin(2 * std::numbers::pi * frequency * n_++ / form->Analyzer().Samplerate()));
            }
            form->Analyzer().Goertzel()->AddSamples(block.data(), 2048);
        }
    }

    static std::vector<QAction*> Checked(std::initializer_list<QAction*> items) {
        std::vector<QAction*> out;
        for (QAction* item : items) {
            if (item->isChecked()) {
                out.push_back(item);
            }
        }
        return out;
    }

    platform::DebugCapture quiet_;
    spectrino_test::FakeWaveIn fake_;
    std::unique_ptr<TForm1> form;
    long n_ = 0;
};

TEST_F(Form1, StartsAt44100WithPeakDecaySlowAndLeftPlusRight) {
    EXPECT_EQ(form->Analyzer().Samplerate(), 44100);
    ASSERT_NE(form->Analyzer().Goertzel(), nullptr);
    EXPECT_TRUE(form->Spectrum1->isVisibleTo(form.get()));
    EXPECT_EQ(form->windowTitle(), "Spectrino");
    EXPECT_EQ(Checked({form->N441001, form->N48000Hz1}), std::vector<QAction*>{form->N441001});
    EXPECT_EQ(Checked({form->PeakHold1, form->PeakDecay1}),
              std::vector<QAction*>{form->PeakDecay1});
    EXPECT_EQ(form->Spectrum1->PeakDisplay(), TPeakDisplay::pdDecay);
    EXPECT_EQ(Checked({form->Fast1, form->Medium1, form->Slow1}),
              std::vector<QAction*>{form->Slow1});
    EXPECT_EQ(Checked({form->LeftRight1, form->Left1, form->Right1, form->LeftRight2}),
              std::vector<QAction*>{form->LeftRight1});
    EXPECT_TRUE(Checked({form->Rectangular1, form->Blackman1, form->Gaussian1,
                         form->BlackmanHarris1, form->Hanning1, form->Hamming1})
                    .empty());
    EXPECT_TRUE(form->On1->isChecked());
    EXPECT_FALSE(form->Alwaysontop1->isChecked());
    EXPECT_FALSE(form->ControlPanel1->isVisible());
    EXPECT_EQ(form->Analyzer().CurrentDevice(), nullptr);
    EXPECT_FALSE(form->Panel1->isVisibleTo(form.get()));
    // Grouped items carry their tag on top of the group's command.
    EXPECT_EQ(form->Hanning1->data().toInt(), cmWindowing + 4);
    EXPECT_EQ(form->Fast1->data().toInt(), cmDecayTime + 3);
    EXPECT_EQ(form->LeftRight2->data().toInt(), cmInputMode + 4);
}

TEST_F(Form1, TestDataModesReplaceTheMeasuredLevels) {
    // Device mode: an empty bank reads the floor, a tone shows in its band.
    for (int32_t v : Refresh()) {
        ASSERT_EQ(v, -14400);
    }
    FeedTone(1000.0, 25);
    const TSpectArray device = Refresh();
    EXPECT_EQ(std::max_element(device.begin(), device.end()) - device.begin(), 74);
    EXPECT_NEAR(device[74], -1257, 30);

    form->RadioButton4->click();
    EXPECT_EQ(form->Analyzer().TestMode(), 1);
    for (int32_t v : Refresh()) {
        ASSERT_EQ(v, -14400);
    }

    form->RadioButton5->click();
    EXPECT_EQ(form->Analyzer().TestMode(), 2);
    EXPECT_TRUE(form->SpinEdit1->isEnabled());
    EXPECT_FALSE(form->SpinEdit2->isEnabled());
    form->SpinEdit1->setValue(-80);
    for (int32_t v : Refresh()) {
        ASSERT_EQ(v, -8000);
    }

    form->RadioButton6->click();
    EXPECT_EQ(form->Analyzer().TestMode(), 3);
    EXPECT_FALSE(form->SpinEdit1->isEnabled());
    EXPECT_TRUE(form->SpinEdit2->isEnabled());
    EXPECT_TRUE(form->SpinEdit3->isEnabled());
    form->SpinEdit2->setValue(-72);
    form->SpinEdit3->setValue(-72);
    for (int32_t v : Refresh()) {
        ASSERT_EQ(v, -7200);
    }
    // Either order of the bounds gives the same range, upper bound excluded.
    for (auto [a, b] : {std::pair{-5, -72}, std::pair{-72, -5}}) {
        form->SpinEdit2->setValue(a);
        form->SpinEdit3->setValue(b);
        int32_t lo = 0, hi = -100000;
        for (int pass = 0; pass < 2000; ++pass) {
            for (int32_t v : Refresh()) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
        EXPECT_EQ(lo, -7200);
        EXPECT_EQ(hi, -501);
    }

    form->RadioButton1->click();
    EXPECT_EQ(form->Analyzer().TestMode(), 0);
    EXPECT_FALSE(form->SpinEdit2->isEnabled());
    EXPECT_EQ(Refresh()[74], device[74]);
}

TEST_F(Form1, RandUpperBoundTakesAnyIntegerTheBoxAccepts) {
    form->RadioButton6->click();
    form->SpinEdit2->setValue(-72);
    // Past 21474836 dB the hundredths no longer fit 32 bits; the draw must still run from
    // -72 dB up, not from a wrapped bound.
    for (int upper : {21474837, INT_MAX}) {
        form->SpinEdit3->setValue(upper);
        ASSERT_EQ(form->SpinEdit3->value(), upper);
        int aboveZero = 0;
        for (int32_t v : Refresh()) {
            ASSERT_GE(v, -7200) << upper;
            aboveZero += v > 0 ? 1 : 0;
        }
        EXPECT_GT(aboveZero, 100) << upper;
        form->Spectrum1->TimerTick();  // and the control takes such levels
    }
    form->SpinEdit3->setValue(INT_MIN);
    int belowFloor = 0;
    for (int32_t v : Refresh()) {
        ASSERT_LT(v, -7200);
        belowFloor += v < -14400 ? 1 : 0;
    }
    EXPECT_GT(belowFloor, 100);
    form->Spectrum1->TimerTick();
}

TEST_F(Form1, DoubleClicksToggleTheTestPanel) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QTest::mouseDClick(form->Spectrum1, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_TRUE(form->Panel1->isVisible());
    QTest::mouseDClick(form->Spectrum1, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_FALSE(form->Panel1->isVisible());
    form->Spectrum1DblClick();
    EXPECT_TRUE(form->Panel1->isVisible());
    QTest::mouseDClick(form->GroupBox2, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(form->Panel1->isVisible());
    form->Spectrum1DblClick();
    QTest::mouseDClick(form->Panel1, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_FALSE(form->Panel1->isVisible());

    // Only the left button toggles it.
    QTest::mouseDClick(form->Spectrum1, Qt::MiddleButton, {}, QPoint(100, 100));
    EXPECT_FALSE(form->Panel1->isVisible());
    form->Spectrum1DblClick();
    QTest::mouseDClick(form->GroupBox2, Qt::MiddleButton, {}, QPoint(5, 5));
    QTest::mouseDClick(form->Panel1, Qt::MiddleButton, {}, QPoint(2, 2));
    EXPECT_TRUE(form->Panel1->isVisible());
}

TEST_F(Form1, MenuItemsKeepTheirOwnCheckMarks) {
    form->On1->trigger();
    EXPECT_FALSE(form->On1->isChecked());
    EXPECT_FALSE(form->Spectrum1->isEnabled());
    EXPECT_FALSE(form->Spectrum1->RefreshTimerActive());
    form->On1->trigger();
    EXPECT_TRUE(form->On1->isChecked());
    EXPECT_TRUE(form->Spectrum1->RefreshTimerActive());

    form->Fast1->trigger();
    EXPECT_EQ(Checked({form->Fast1, form->Medium1, form->Slow1}),
              std::vector<QAction*>{form->Fast1});
    EXPECT_EQ(form->Spectrum1->DecaySpeed(), TDecaySpeed::dsFast);
    form->Fast1->trigger();  // the checked item again stays checked
    EXPECT_TRUE(form->Fast1->isChecked());

    form->PeakHold1->trigger();
    form->PeakHold1->trigger();
    EXPECT_TRUE(form->PeakHold1->isChecked());
    EXPECT_FALSE(form->PeakDecay1->isChecked());
    EXPECT_EQ(form->Spectrum1->PeakDisplay(), TPeakDisplay::pdHold);

    form->Hamming1->trigger();
    EXPECT_EQ(form->Analyzer().WindowType(), 5);
    EXPECT_TRUE(form->Hamming1->isChecked());
    form->Analyzer().SetWindowType(9);
    EXPECT_EQ(form->Analyzer().WindowType(), 9);
    EXPECT_TRUE(form->Rectangular1->isChecked());
    EXPECT_FALSE(form->Hamming1->isChecked());

    form->Analyzer().SetDecayTime(7);
    EXPECT_EQ(form->Analyzer().DecayTime(), 7);
    EXPECT_EQ(Checked({form->Fast1, form->Medium1, form->Slow1}),
              std::vector<QAction*>{form->Slow1});

    form->Alwaysontop1->trigger();
    EXPECT_TRUE(form->Alwaysontop1->isChecked());
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    form->Alwaysontop1->trigger();
    EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(Form1, SampleRateChangesRebuildTheBankOnlyWhenTheRateChanges) {
    TGoertzel* first = form->Analyzer().Goertzel();
    form->Analyzer().SetSamplerate(44100);
    EXPECT_EQ(form->Analyzer().Goertzel(), first);

    form->N48000Hz1->trigger();
    EXPECT_EQ(form->Analyzer().Samplerate(), 48000);
    EXPECT_EQ(form->Spectrum1->Samplerate(), 48000.0f);
    EXPECT_TRUE(form->N48000Hz1->isChecked());
    EXPECT_FALSE(form->N441001->isChecked());
    FeedTone(1000.0, 25);
    const TSpectArray at48 = Refresh();
    EXPECT_EQ(std::max_element(at48.begin(), at48.end()) - at48.begin(), 73);

    // Any other rate means 44100; the new bank starts empty.
    form->Analyzer().SetSamplerate(22050);
    EXPECT_EQ(form->Analyzer().Samplerate(), 44100);
    EXPECT_TRUE(form->N441001->isChecked());
    EXPECT_EQ(Refresh()[73], -14400);
    TGoertzel* rebuilt = form->Analyzer().Goertzel();
    form->Analyzer().SetSamplerate(44100);
    EXPECT_EQ(form->Analyzer().Goertzel(), rebuilt);
}

TEST_F(Form1, ChoosingTheCurrentInputModeKeepsTheHistory) {
    FeedTone(1000.0, 25);
    const int32_t before = Refresh()[74];
    form->LeftRight1->trigger();
    EXPECT_EQ(Refresh()[74], before);
    EXPECT_TRUE(form->LeftRight1->isChecked());

    form->Right1->trigger();
    EXPECT_EQ(form->Analyzer().InputMode(), 3);
    EXPECT_EQ(Refresh()[74], -14400);
    for (int32_t mode : {0, 5, -1}) {
        form->Analyzer().SetInputMode(mode);
        EXPECT_EQ(form->Analyzer().InputMode(), 1);
        EXPECT_TRUE(form->LeftRight1->isChecked());
        EXPECT_FALSE(form->Right1->isChecked());
    }
}

TEST(DefaultHandler, ShowsTheMessageAndGoesOn) {
    ExceptionCapture capture;
    bool after = false;
    Guarded([] { throw EComponentError("Soundcard could not be opened!"); });
    Guarded([&] { after = true; });
    EXPECT_TRUE(after);
    EXPECT_EQ(capture.Messages(), std::vector<std::string>{"Soundcard could not be opened!"});
}

// Runs in a copy of this program placed where the filter-bank library cannot be found.
TEST(MissingLibrary, ShowsTheBlackPanel) {
    if (qEnvironmentVariableIsEmpty("SPECTRINO_TEST_WITHOUT_LIBRARY")) {
        GTEST_SKIP() << "runs inside MissingLibrary.StartsInAnotherDirectory";
    }
    platform::DebugCapture quiet;
    spectrino_test::FakeWaveIn fake;
    TForm1 form(nullptr, &fake);
    EXPECT_EQ(form.Analyzer().Goertzel(), nullptr);
    EXPECT_FALSE(form.Spectrum1->isVisibleTo(&form));
    EXPECT_TRUE(form.Panel2->isVisibleTo(&form));
    EXPECT_EQ(form.Panel2->text(), "libtonebank.so not found !!!");
    TSpectArray values{};
    form.Spectrum1Refresh(values);
    for (int32_t v : values) {
        ASSERT_EQ(v, -14400);
    }
    // Every rate change tries again.
    form.Analyzer().SetSamplerate(48000);
    EXPECT_EQ(form.Analyzer().Samplerate(), 48000);
    EXPECT_EQ(quiet.Lines().size(), 4u);
}

TEST(MissingLibrary, StartsInAnotherDirectory) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("spectrino-nolib-test-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path self = fs::read_symlink("/proc/self/exe");
    fs::copy_file(self, dir / "shell_test");
    const std::string command = "cd / && LD_LIBRARY_PATH= SPECTRINO_TEST_WITHOUT_LIBRARY=1 '" +
                                (dir / "shell_test").string() +
                                "' --gtest_filter=MissingLibrary.ShowsTheBlackPanel >'" +
                                (dir / "log").string() + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    fs::remove_all(dir);
}

}  // namespace
