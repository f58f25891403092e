#include <gtest/gtest.h>

#include <stdexcept>

#include "capture/wavein.h"
#include "fake_wavein.h"
#include "framework/exception.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"

namespace {

using namespace spectrino;
using namespace spectrino_test;

class WaveInComponent : public ::testing::Test {
protected:
    WaveInComponent() {
        fake.names = {"Line In", "Monitor of TestSink"};
        wave = std::make_unique<TWaveIn>(fake);
        wave->OnData = [this](TWaveIn& sender, const int16_t* ptr) {
            EXPECT_EQ(&sender, wave.get());
            calls.emplace_back(ptr, ptr + sender.BlockSize() * sender.Channels());
        };
    }

    std::string ExpectComponentError(const std::function<void()>& action) {
        try {
            action();
        } catch (const EComponentError& e) {
            return e.Message();
        }
        ADD_FAILURE() << "no component error";
        return {};
    }

    FakeWaveIn fake;
    std::unique_ptr<TWaveIn> wave;
    std::vector<std::vector<int16_t>> calls;
    platform::DebugCapture debug;
    ExceptionCapture shown;
};

TEST_F(WaveInComponent, ListsTheMapperFirstAndClampsItsProperties) {
    EXPECT_EQ(wave->Count(), 3u);
    EXPECT_EQ(wave->DeviceName(0), "WaveMapper");
    EXPECT_EQ(wave->DeviceName(2), "Monitor of TestSink");
    EXPECT_THROW(wave->DeviceName(3), Exception);
    fake.names.clear();
    EXPECT_EQ(wave->Count(), 1u);

    EXPECT_EQ(wave->CurrentDevice(), "WaveMapper");
    EXPECT_EQ(wave->BlockSize(), 1024u);
    wave->SetBlockSize(10);
    EXPECT_EQ(wave->BlockSize(), 64u);
    wave->SetBlockSize(10000);
    EXPECT_EQ(wave->BlockSize(), 8192u);
    wave->SetWindowSize(1);
    EXPECT_EQ(wave->WindowSize(), 3u);
    wave->SetWindowSize(20);
    EXPECT_EQ(wave->WindowSize(), 16u);
    wave->SetChannels(0);
    EXPECT_EQ(wave->Channels(), 1u);
    wave->SetChannels(5);
    EXPECT_EQ(wave->Channels(), 2u);
    EXPECT_EQ(fake.opens, 0);  // nothing opens while disabled
}

TEST_F(WaveInComponent, DeliversEveryFilledBufferOnceAndRequeuesIt) {
    wave->SetBlockSize(2048);
    wave->SetCurrentDevice("Monitor of TestSink");
    wave->SetEnabled(true);
    ASSERT_NE(fake.Current(), nullptr);
    const WAVEFORMATEX& f = fake.Current()->format;
    EXPECT_EQ(fake.Current()->id, 1);
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(fake.Current()->queue.size(), 8u);
    EXPECT_EQ(fake.Current()->queue.front()->dwBufferLength, 8192u);

    for (int16_t v = 1; v <= 20; ++v) {
        ASSERT_TRUE(fake.Fill(v));
        ProcessEvents();
    }
    ASSERT_EQ(calls.size(), 20u);
    for (size_t i = 0; i < calls.size(); ++i) {
        ASSERT_EQ(calls[i].size(), 4096u);
        EXPECT_EQ(calls[i].front(), static_cast<int16_t>(i + 1));
        EXPECT_EQ(calls[i].back(), static_cast<int16_t>(i + 1));
    }
    EXPECT_EQ(fake.Current()->queue.size(), 8u);
    EXPECT_EQ(wave->BufferCount(), 8u);
}

TEST_F(WaveInComponent, StaleBuffersAreFreedWithoutReachingTheHandler) {
    wave->SetEnabled(true);
    ASSERT_TRUE(fake.Fill(7));  // on its way back when the rate changes
    wave->SetSampleRate(48000);
    EXPECT_EQ(fake.opens, 2);
    EXPECT_EQ(fake.closes, 1);
    EXPECT_EQ(fake.Current()->format.nSamplesPerSec, 48000u);
    ProcessEvents();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(wave->BufferCount(), 8u);  // the first opening's eight are gone

    ASSERT_TRUE(fake.Fill(9));
    ProcessEvents();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0][0], 9);

    ASSERT_TRUE(fake.Fill(10));
    wave->SetEnabled(false);
    ProcessEvents();
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(wave->BufferCount(), 0u);
    EXPECT_EQ(fake.Current(), nullptr);
}

TEST_F(WaveInComponent, ReportsDevicesThatCannotBeOpened) {
    wave->SetCurrentDevice("wavemapper");  // not the mapper: names match exactly
    EXPECT_EQ(ExpectComponentError([&] { wave->SetEnabled(true); }), "Invalid Soundcard selected");
    EXPECT_TRUE(wave->Enabled());
    EXPECT_EQ(fake.opens, 0);

    fake.openError = MMSYSERR_ALLOCATED;
    EXPECT_EQ(ExpectComponentError([&] { wave->SetCurrentDevice("Line In"); }),
              "Soundcard could not be opened!");
    EXPECT_EQ(debug.Lines().back(), "waveOutOpen(Ex) failed: 4");

    fake.openError = MMSYSERR_NOERROR;
    fake.prepareError = MMSYSERR_NOMEM;
    EXPECT_EQ(ExpectComponentError([&] { wave->SetSampleRate(48000); }),
              "Soundcard could not be opened!");
    EXPECT_EQ(debug.Lines().back(), "waveInPrepareHeader failed: 7");
    EXPECT_EQ(fake.Current(), nullptr);

    fake.prepareError = MMSYSERR_NOERROR;
    fake.addError = MMSYSERR_INVALPARAM;
    EXPECT_EQ(ExpectComponentError([&] { wave->SetSampleRate(44100); }),
              "Soundcard could not be opened!");
    EXPECT_EQ(debug.Lines().back(), "waveInAddBuffer failed: 11");

    fake.addError = MMSYSERR_NOERROR;
    fake.startError = MMSYSERR_ERROR;
    EXPECT_EQ(ExpectComponentError([&] { wave->SetWindowSize(4); }),
              "Soundcard could not be opened!");
    ProcessEvents();
    EXPECT_EQ(wave->BufferCount(), 0u);

    // The next change tries again.
    fake.startError = MMSYSERR_NOERROR;
    wave->SetWindowSize(5);
    EXPECT_EQ(fake.Current()->queue.size(), 5u);
}

TEST_F(WaveInComponent, BuffersThatCannotBeRequeuedOrWhoseHandlerFailsLeaveTheQueue) {
    wave->SetEnabled(true);
    fake.addError = MMSYSERR_ERROR;
    ASSERT_TRUE(fake.Fill(1));
    ProcessEvents();
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(wave->BufferCount(), 7u);
    EXPECT_EQ(fake.Current()->queue.size(), 7u);

    fake.addError = MMSYSERR_NOERROR;
    wave->OnData = [](TWaveIn&, const int16_t*) { throw std::runtime_error("handler failed"); };
    ASSERT_TRUE(fake.Fill(2));
    ProcessEvents();
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"handler failed"});
    EXPECT_EQ(fake.Current()->queue.size(), 6u);
}

TEST_F(WaveInComponent, ALostDeviceStopsCaptureAndTellsTheOwner) {
    int lost = 0;
    wave->OnDeviceLost = [&](TWaveIn&) { ++lost; };
    wave->SetEnabled(true);
    fake.Vanish();
    ProcessEvents();
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(fake.Current(), nullptr);
    EXPECT_TRUE(wave->Enabled());
    EXPECT_EQ(wave->BufferCount(), 0u);

    // Our own close is not a loss; a later change opens again.
    wave->SetSampleRate(48000);
    ASSERT_NE(fake.Current(), nullptr);
    wave->SetEnabled(false);
    ProcessEvents();
    EXPECT_EQ(lost, 1);
}

TEST_F(WaveInComponent, OwnClosesOfAReusedHandleAreNoLoss) {
    int lost = 0;
    wave->OnDeviceLost = [&](TWaveIn&) { ++lost; };
    wave->SetEnabled(true);
    const HWAVEIN first = fake.CurrentHandle();
    wave->SetSampleRate(48000);
    ASSERT_EQ(fake.CurrentHandle(), first);  // the service hands the same value out again
    // Two changes before any notice is handled: both close notices are ours.
    wave->SetSampleRate(44100);
    wave->SetSampleRate(48000);
    ProcessEvents();
    EXPECT_EQ(lost, 0);
    ASSERT_NE(fake.Current(), nullptr);
    for (int16_t v = 1; v <= 3; ++v) {
        ASSERT_TRUE(fake.Fill(v));
        ProcessEvents();
    }
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_EQ(wave->BufferCount(), 8u);

    // A real loss on the reused handle still counts.
    fake.Vanish();
    ProcessEvents();
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(fake.Current(), nullptr);
}

TEST_F(WaveInComponent, ALossIsSeenAgainWhenTheLostDeviceSaidGoodbyeOnlyOnce) {
    fake.quietCloseAfterLoss = true;
    int lost = 0;
    wave->OnDeviceLost = [&](TWaveIn&) { ++lost; };
    wave->SetEnabled(true);
    fake.Vanish();
    ProcessEvents();
    ASSERT_EQ(lost, 1);

    // Opened again under the same handle; no notice of the lost opening is still to come.
    wave->SetSampleRate(48000);
    ASSERT_TRUE(fake.Fill(5));
    ProcessEvents();
    ASSERT_EQ(calls.size(), 1u);
    fake.Vanish();
    ProcessEvents();
    EXPECT_EQ(lost, 2);
}

TEST_F(WaveInComponent, DevicesSharingANameAreListedAndOpenedApart) {
    const std::string hdmi = "Monitor of Built-in_Audio_Digit";
    fake.names = {hdmi, "Line In", hdmi};
    ASSERT_EQ(wave->Count(), 4u);
    EXPECT_EQ(wave->DeviceName(1), hdmi);
    EXPECT_EQ(wave->DeviceName(3), "Monitor of Built-in_Audio_D (2)");

    wave->SetEnabled(true);
    wave->SetCurrentDevice(wave->DeviceName(3));
    ASSERT_NE(fake.Current(), nullptr);
    EXPECT_EQ(fake.Current()->id, 2);
    // The name as stored before still opens the device it always did.
    wave->SetCurrentDevice(hdmi);
    EXPECT_EQ(fake.Current()->id, 0);
}

}  // namespace
