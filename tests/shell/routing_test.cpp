// Captured blocks into mono samples, and the choice of input device.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include <memory>

#include "capture/fake_wavein.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "shell/Unit1.h"

namespace {

using namespace spectrino;
using namespace spectrino_test;

class Routing : public ::testing::Test {
protected:
    Routing() {
        fake.names = {"Line In", "Monitor of TestSink"};
        form = std::make_unique<TForm1>(nullptr, &fake);
        AppProductName = "Spectrino";
    }

    // One wave block whose first frame is (left, right), the rest silence.
    float Wave(int32_t mode, int16_t left, int16_t right) {
        form->Analyzer().SetInputMode(mode);
        std::vector<int16_t> block(2 * 2048, 0);
        block[0] = left;
        block[1] = right;
        form->Analyzer().WaveIn1Data(*form->Analyzer().WaveIn1, block.data());
        return form->Analyzer().Samples()[0];
    }

    float Asio(int32_t mode, float left, float right) {
        form->Analyzer().SetInputMode(mode);
        TQorArrayOfSingleDynArray in(4, TSingleDynArray(256, 0.0f)), out(4);
        in[2][0] = left;
        in[3][0] = right;
        form->Analyzer().ASIOHostBufferSwitch32(in, out);
        return form->Analyzer().Samples()[0];
    }

    std::vector<QString> MenuCaptions() const {
        std::vector<QString> out;
        for (QAction* item : form->devs1->actions()) {
            out.push_back(item->text());
        }
        return out;
    }

    platform::DebugCapture quiet;
    ExceptionCapture shown;
    FakeWaveIn fake;
    std::unique_ptr<TForm1> form;
};

TEST_F(Routing, WaveBlocksBecomeMonoSamplesByInputMode) {
    EXPECT_EQ(Wave(1, 32767, 32767), 0.999969482421875f);
    EXPECT_EQ(Wave(1, -32768, -32768), -1.0f);
    EXPECT_EQ(Wave(1, 32767, -32768), -0.0000152587890625f);
    EXPECT_EQ(Wave(4, 32767, -32768), 0.9999847412109375f);
    EXPECT_EQ(Wave(4, 1234, 1234), 0.0f);
    EXPECT_EQ(Wave(2, -32768, 555), -1.0f);
    EXPECT_EQ(Wave(3, 555, -32768), -1.0f);
}

TEST_F(Routing, AsioBlocksUseTheSelectedPairAndLeaveTheRestOfTheBuffer) {
    form->Analyzer().AddAudioDevice(std::make_unique<TAudioDevice>(true, "In 3 / In 4 [Test]", "Test", 2));
    form->Analyzer().SetAudioDevice(0);
    EXPECT_TRUE(form->ControlPanel1->isVisible());
    EXPECT_EQ(Asio(1, 1.0f, 1.0f), 1.0f);
    EXPECT_EQ(Asio(1, 1.0f, -1.0f), 0.0f);
    EXPECT_EQ(Asio(4, 1.0f, -1.0f), 1.0f);
    EXPECT_EQ(Asio(2, 0.25f, 0.75f), 0.25f);
    EXPECT_EQ(Asio(3, 0.25f, 0.75f), 0.75f);

    // A wave block overwrites 2048 entries, an ASIO block only its own length.
    std::vector<int16_t> block(2 * 2048, 16384);
    form->Analyzer().SetInputMode(2);
    form->Analyzer().WaveIn1Data(*form->Analyzer().WaveIn1, block.data());
    Asio(2, 0.125f, 0.0f);
    EXPECT_EQ(form->Analyzer().Samples()[0], 0.125f);
    EXPECT_EQ(form->Analyzer().Samples()[255], 0.0f);
    EXPECT_EQ(form->Analyzer().Samples()[256], 0.5f);
    EXPECT_EQ(form->Analyzer().Samples()[2047], 0.5f);
}

TEST_F(Routing, DeviceMenuListsTheMapperFirstAndSwitchesCapture) {
    form->FormShow();  // no stored settings: nothing selected
    EXPECT_EQ(MenuCaptions(),
              (std::vector<QString>{"WaveMapper", "Line In", "Monitor of TestSink"}));
    EXPECT_EQ(form->Analyzer().CurrentDevice(), nullptr);
    EXPECT_EQ(form->windowTitle(), "Spectrino");
    EXPECT_EQ(fake.opens, 0);

    form->devs1->actions()[2]->trigger();
    ASSERT_NE(fake.Current(), nullptr);
    EXPECT_EQ(fake.Current()->id, 1);
    EXPECT_EQ(form->windowTitle(), "Spectrino [Monitor of TestSink]");
    EXPECT_TRUE(form->devs1->actions()[2]->isChecked());
    EXPECT_FALSE(form->devs1->actions()[0]->isChecked());
    EXPECT_FALSE(form->ControlPanel1->isVisible());

    // The current entry again: no restart.
    form->devs1->actions()[2]->trigger();
    EXPECT_EQ(fake.opens, 1);
    EXPECT_TRUE(form->devs1->actions()[2]->isChecked());

    // A rate change reopens the running device at the new rate.
    form->Analyzer().SetSamplerate(48000);
    EXPECT_EQ(fake.opens, 2);
    EXPECT_EQ(fake.Current()->format.nSamplesPerSec, 48000u);

    // Stored captions match exactly; anything else selects the first entry.
    form->Analyzer().SetDevice("monitor of testsink");
    EXPECT_EQ(form->Analyzer().CurrentDevice(), form->Analyzer().Devices()[0].get());
    EXPECT_EQ(fake.Current()->id, -1);
    form->Analyzer().SetDevice("Line In");
    EXPECT_EQ(fake.Current()->id, 0);

    // "On" unchecked: a new choice configures the capture without opening it.
    form->On1->trigger();
    EXPECT_EQ(fake.Current(), nullptr);
    form->Analyzer().SetAudioDevice(2);
    EXPECT_EQ(fake.Current(), nullptr);
    EXPECT_EQ(form->windowTitle(), "Spectrino [Monitor of TestSink]");
    form->On1->trigger();
    ASSERT_NE(fake.Current(), nullptr);
    EXPECT_EQ(fake.Current()->id, 1);
    form->Analyzer().SetAudioDevice(7);  // past the list: ignored
    EXPECT_EQ(form->Analyzer().CurrentDevice(), form->Analyzer().Devices()[2].get());
}

TEST_F(Routing, CapturedBlocksReachTheBank) {
    form->FormShow();
    form->Analyzer().SetAudioDevice(0);
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(fake.Fill(static_cast<int16_t>(i % 2 ? 8000 : -8000)));
        ProcessEvents();
    }
    // A square wave at the rate's half: the top band hears it, the lowest does not.
    EXPECT_GT(form->Analyzer().Goertzel()->GetResult(127), 0.0);
    TSpectArray values{};
    form->Spectrum1Refresh(values);
    EXPECT_GT(values[127], -14400);
}

TEST_F(Routing, UnknownDevicesAndLostDevicesLeaveTheProgramRunning) {
    form->FormShow();
    fake.names.pop_back();  // the monitor disappears after the list was built
    form->devs1->actions()[2]->trigger();
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"Invalid Soundcard selected"});
    EXPECT_EQ(form->Analyzer().CurrentDevice(), form->Analyzer().Devices()[2].get());
    EXPECT_EQ(form->windowTitle(), "Spectrino");
    EXPECT_FALSE(form->ControlPanel1->isVisible());

    form->devs1->actions()[1]->trigger();
    ASSERT_NE(fake.Current(), nullptr);
    for (int i = 0; i < 25; ++i) {
        fake.Fill(8000);
        ProcessEvents();
    }
    fake.Vanish();
    ProcessEvents();
    EXPECT_EQ(fake.Current(), nullptr);
    TSpectArray values{};
    form->Spectrum1Refresh(values);
    for (int32_t v : values) {
        ASSERT_EQ(v, -14400);
    }
    // Choosing the same device again restarts it.
    form->devs1->actions()[1]->trigger();
    ASSERT_NE(fake.Current(), nullptr);
    EXPECT_EQ(fake.Current()->id, 0);
}

}  // namespace
