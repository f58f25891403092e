#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
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

    static std::vector<QAction*> Checked(std::initializer_list<QAction*> items) {
        std::vector<QAction*> out;
        for (QAction* item : items) {
            if (item->isChecked()) {
                out.push_back(item);
            }
        }
        return out;
    }

    std::vector<QString> MenuCaptions() const {
        std::vector<QString> out;
        for (QAction* item : form->devs1->actions()) {
            out.push_back(item->text());
        }
        return out;
    }

    platform::DebugCapture quiet_;
    spectrino_test::FakeWaveIn fake_;
    std::unique_ptr<TForm1> form;
};

// The form's widgets and menu items as designed, their check marks as the analyzer set them.
TEST_F(Form1, StartsWithTheDesignedWidgetsAndCheckMarks) {
    EXPECT_TRUE(form->Spectrum1->isVisibleTo(form.get()));
    EXPECT_FALSE(form->Panel1->isVisibleTo(form.get()));
    EXPECT_EQ(form->windowTitle(), "Spectrino");
    EXPECT_EQ(Checked({form->N441001, form->N48000Hz1}), std::vector<QAction*>{form->N441001});
    EXPECT_EQ(Checked({form->PeakHold1, form->PeakDecay1}),
              std::vector<QAction*>{form->PeakDecay1});
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
    EXPECT_EQ(form->SpinEdit1->minimum(), -80);
    EXPECT_EQ(form->SpinEdit2->minimum(), -280);
    EXPECT_EQ(form->SpinEdit1->value(), -30);
    EXPECT_EQ(form->SpinEdit2->value(), -72);
    EXPECT_EQ(form->SpinEdit3->value(), -5);
    // Grouped items carry their tag on top of the group's command.
    EXPECT_EQ(form->Hanning1->data().toInt(), cmWindowing + 4);
    EXPECT_EQ(form->Fast1->data().toInt(), cmDecayTime + 3);
    EXPECT_EQ(form->LeftRight2->data().toInt(), cmInputMode + 4);
}

TEST_F(Form1, TestPanelButtonsAndBoxesReachTheAnalyzer) {
    form->RadioButton4->click();
    EXPECT_EQ(form->Analyzer().TestMode(), 1);
    form->RadioButton5->click();
    EXPECT_EQ(form->Analyzer().TestMode(), 2);
    EXPECT_TRUE(form->SpinEdit1->isEnabled());
    EXPECT_FALSE(form->SpinEdit2->isEnabled());
    form->SpinEdit1->setValue(-80);
    EXPECT_EQ(Refresh()[0], -8000);

    form->RadioButton6->click();
    EXPECT_EQ(form->Analyzer().TestMode(), 3);
    EXPECT_FALSE(form->SpinEdit1->isEnabled());
    EXPECT_TRUE(form->SpinEdit2->isEnabled());
    EXPECT_TRUE(form->SpinEdit3->isEnabled());
    form->SpinEdit2->setValue(-72);
    form->SpinEdit3->setValue(-72);
    EXPECT_EQ(Refresh()[5], -7200);
    // The upper box takes any integer, and the control takes the levels that gives.
    for (int upper : {INT_MAX, INT_MIN}) {
        form->SpinEdit3->setValue(upper);
        ASSERT_EQ(form->SpinEdit3->value(), upper);
        EXPECT_NE(Refresh()[5], -7200);
        form->Spectrum1->TimerTick();
    }
    // The lower boxes bring a value back into their range.
    form->SpinEdit2->setValue(-1000);
    EXPECT_EQ(form->SpinEdit2->value(), -280);

    form->RadioButton1->click();
    EXPECT_EQ(form->Analyzer().TestMode(), 0);
    EXPECT_FALSE(form->SpinEdit2->isEnabled());
    EXPECT_EQ(Refresh()[5], -14400);
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

    // Qt toggles a checkable item before it runs; the checked item again stays checked.
    for (QAction* item : {form->Fast1, form->Fast1, form->PeakHold1, form->PeakHold1,
                          form->LeftRight1, form->N441001}) {
        item->trigger();
        EXPECT_TRUE(item->isChecked()) << item->text().toStdString();
    }
    EXPECT_EQ(Checked({form->Fast1, form->Medium1, form->Slow1}),
              std::vector<QAction*>{form->Fast1});
    EXPECT_EQ(form->Spectrum1->DecaySpeed(), TDecaySpeed::dsFast);
    EXPECT_FALSE(form->PeakDecay1->isChecked());
    EXPECT_EQ(form->Spectrum1->PeakDisplay(), TPeakDisplay::pdHold);

    form->Hamming1->trigger();
    EXPECT_EQ(form->Analyzer().WindowType(), 5);
    EXPECT_TRUE(form->Hamming1->isChecked());
    form->Right1->trigger();
    EXPECT_EQ(form->Analyzer().InputMode(), 3);
    EXPECT_FALSE(form->LeftRight1->isChecked());

    form->N48000Hz1->trigger();
    EXPECT_TRUE(form->N48000Hz1->isChecked());
    EXPECT_FALSE(form->N441001->isChecked());
    EXPECT_EQ(form->Spectrum1->Samplerate(), 48000.0f);

    form->Alwaysontop1->trigger();
    EXPECT_TRUE(form->Alwaysontop1->isChecked());
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    form->Alwaysontop1->trigger();
    EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(Form1, TheDeviceMenuSelectsAndFollowsTheSources) {
    fake_.names = {"Line In", "Monitor of TestSink"};
    AppProductName = "Spectrino";
    form->FormShow();
    EXPECT_EQ(MenuCaptions(),
              (std::vector<QString>{"WaveMapper", "Line In", "Monitor of TestSink"}));
    form->devs1->actions()[2]->trigger();
    ASSERT_NE(fake_.Current(), nullptr);
    EXPECT_EQ(fake_.Current()->id, 1);
    EXPECT_EQ(form->windowTitle(), "Spectrino [Monitor of TestSink]");
    form->devs1->actions()[2]->trigger();  // stays checked
    EXPECT_TRUE(form->devs1->actions()[2]->isChecked());
    EXPECT_FALSE(form->devs1->actions()[0]->isChecked());

    // The menu re-reads the sources when it opens, keeping the check mark on the choice.
    fake_.names = {"USB Microphone", "Monitor of TestSink"};
    emit form->devs1->aboutToShow();
    EXPECT_EQ(MenuCaptions(),
              (std::vector<QString>{"WaveMapper", "USB Microphone", "Monitor of TestSink"}));
    EXPECT_TRUE(form->devs1->actions()[2]->isChecked());

    // A driver's pair shows "Control Panel...".
    form->Analyzer().AddAudioDevice(
        std::make_unique<TAudioDevice>(true, "In 1 / In 2 [Test]", "Test", 0));
    form->devs1->actions()[3]->trigger();
    EXPECT_TRUE(form->ControlPanel1->isVisible());
    form->devs1->actions()[2]->trigger();
    EXPECT_FALSE(form->ControlPanel1->isVisible());

    // Once a second the window asks the analyzer to resume a lost device.
    fake_.Vanish();
    spectrino_test::ProcessEvents();
    EXPECT_EQ(fake_.Current(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fake_.Current() != nullptr; }, 3000));
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
