// Per-block processing: conversion paths, pre-fill, generators, monitoring, clipping, stopping,
// and option changes while the driver streams.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <numbers>
#include <thread>
#include <vector>

#include "asio/DASIOHost.h"
#include "asio_test_support.h"

namespace spectrino {
namespace {

using testing::RegistryTest;
using testing::WaitFor;

constexpr double kFullMeter = 0x7FFFFFFF;

// What the 32-bit event saw, handed from the driver's thread to the test.
struct Capture {
    std::mutex mutex;
    std::vector<TQorArrayOfSingleDynArray> inputs;
    std::vector<TQorArrayOfSingleDynArray> outputs;
    std::atomic<int> blocks{0};

    void Attach(TASIOHost& host, std::function<void(TQorArrayOfSingleDynArray&)> write = {}) {
        host.OnBufferSwitch32 = [this, write](TCustomASIOHost&, const TQorArrayOfSingleDynArray& in,
                                              TQorArrayOfSingleDynArray& out) {
            {
                const std::lock_guard lock(mutex);
                inputs.push_back(in);
                outputs.push_back(out);
            }
            if (write) {
                write(out);
            }
            ++blocks;
        };
    }
    bool WaitBlocks(int more) {
        const int target = blocks + more;
        return WaitFor([&] { return blocks >= target; });
    }
    TQorArrayOfSingleDynArray LastInput() {
        const std::lock_guard lock(mutex);
        return inputs.back();
    }
    TQorArrayOfSingleDynArray LastOutput() {
        const std::lock_guard lock(mutex);
        return outputs.back();
    }
    void Clear() {
        const std::lock_guard lock(mutex);
        inputs.clear();
        outputs.clear();
    }
};

class HostBlockTest : public RegistryTest {
protected:
    // Declare the host after everything its handlers use, so that it stops first.
    std::unique_ptr<TASIOHost> Open(
        std::initializer_list<std::pair<std::string, std::string>> settings) {
        AddTestSignal("Signal", 1, settings);
        auto host = std::make_unique<TASIOHost>();
        host->SetDriverIndex(0);
        EXPECT_TRUE(host->BuffersCreated());
        return host;
    }
    static double OutputMeter(TASIOHost& host, int channel) {
        return host.GetOutputMeter(channel) / kFullMeter;
    }
};

// The expected test signal: a sine starting at phase 0 at sample position 0.
double Sine(double level, double frequency, double rate, int64_t position) {
    return level *
           std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(position) / rate);
}

TEST_F(HostBlockTest, EveryDriverSampleTypeArrivesAsTheSameSine) {
    const int types[] = {0, 1, 2, 3, 4, 8, 9, 10, 11, 16, 17, 18, 19, 20, 24, 25, 26, 27};
    for (const int type : types) {
        SCOPED_TRACE(type);
        AddTestSignal("Signal", 1,
                      {{"SampleType", std::to_string(type)},
                       {"BufferPreferred", "64"},
                       {"Frequency", "997"},
                       {"Level", "-6"}});
        TASIOHost host;
        host.SetDriverIndex(0);
        std::atomic<int64_t> firstPosition{-1};
        std::vector<float> first;
        std::vector<float> second;
        std::atomic<bool> captured{false};
        host.OnUpdateSamplePos = [&](TCustomASIOHostBasic&, int64_t position) {
            if (firstPosition < 0) {
                firstPosition = position;
            }
        };
        host.OnBufferSwitch32 = [&](TCustomASIOHost&, const TQorArrayOfSingleDynArray& in,
                                    TQorArrayOfSingleDynArray&) {
            if (captured) {
                return;
            }
            if (first.empty()) {
                first = in[1];
            } else {
                second = in[1];
                captured = true;
            }
        };
        host.SetActive(true);
        ASSERT_TRUE(WaitFor([&] { return captured.load(); }));
        host.SetActive(false);
        EXPECT_EQ(firstPosition, 0);
        ASSERT_EQ(first.size(), 64u);
        ASSERT_EQ(second.size(), 64u);
        // 16-bit steps are the coarsest. The tone runs on across the blocks without a seam.
        for (std::size_t i = 0; i < 128; ++i) {
            const float sample = i < 64 ? first[i] : second[i - 64];
            EXPECT_NEAR(sample, Sine(std::pow(10.0, -6.0 / 20.0), 997.0, 44100.0, int64_t(i)), 1e-4)
                << i;
        }
    }
}

TEST_F(HostBlockTest, PathChoiceFollowsTheAssignedEvents) {
    std::atomic<int> blocks32{0};
    std::atomic<int> positions{0};
    std::atomic<int> blocks64{0};
    std::atomic<double> sample64{0.0};
    auto host = Open({{"BufferPreferred", "64"}, {"Waveform 1", "loopback"}});
    host->OnBufferSwitch32 = [&](TCustomASIOHost&, const TQorArrayOfSingleDynArray&,
                                 TQorArrayOfSingleDynArray&) { ++blocks32; };
    EXPECT_EQ(host->SwitchMode(), 1);
    host->SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return blocks32 >= 2; }));

    host->OnBufferSwitch64 = [&](TCustomASIOHost&, const TQorArrayOfDoubleDynArray& in,
                                 TQorArrayOfDoubleDynArray& out) {
        sample64 = in[1][5];
        std::fill(out[0].begin(), out[0].end(), 0.25);
        ++blocks64;
    };
    EXPECT_EQ(host->SwitchMode(), 2);
    ASSERT_TRUE(WaitFor([&] { return blocks64 >= 2; }));
    const int frozen = blocks32;
    ASSERT_TRUE(WaitFor([&] { return blocks64 >= 6; }));
    EXPECT_LE(blocks32, frozen + 1) << "a block already under way may finish on the 32-bit path";
    EXPECT_NE(sample64, 0.0) << "the 64-bit path converts the input too";
    EXPECT_NEAR(OutputMeter(*host, 0), 0.25, 1e-6);

    // Without any event the outputs repeat what they last held.
    host->OnUpdateSamplePos = [&](TCustomASIOHostBasic&, int64_t) { ++positions; };
    host->OnBufferSwitch64 = nullptr;
    host->OnBufferSwitch32 = nullptr;
    EXPECT_EQ(host->SwitchMode(), 0);
    ASSERT_TRUE(WaitFor([&] { return positions >= 3; }));
    EXPECT_NEAR(OutputMeter(*host, 0), 0.0, 1e-6)
        << "the 32-bit output buffers were never written, so they stay silent";
}

TEST_F(HostBlockTest, PreFillModesAndCustomGenerators) {
    Capture capture;
    TASIOGenerator silence;
    struct Marker : TASIOGenerator {
        void ProcessBlock(TQorArrayOfSingleDynArray& buffers, bool output) override {
            for (TSingleDynArray& channel : buffers) {
                std::fill(channel.begin(), channel.end(), output ? 0.5f : -0.25f);
            }
        }
    } marker;
    auto host = Open({{"BufferPreferred", "64"}});
    capture.Attach(*host);
    host->SetActive(true);
    ASSERT_TRUE(capture.WaitBlocks(2));

    // Custom without a generator: the inputs stay as the last converted block left them.
    host->SetPreFillInBuffer(bpfCustom);
    ASSERT_TRUE(capture.WaitBlocks(2));
    capture.Clear();
    ASSERT_TRUE(capture.WaitBlocks(3));
    {
        const std::lock_guard lock(capture.mutex);
        EXPECT_NE(capture.inputs.front()[0], TSingleDynArray(64, 0.0f));
        EXPECT_EQ(capture.inputs.front()[0], capture.inputs.back()[0]);
    }

    // A generator of the base class gives silence, and gets the host's block size and rate.
    silence.SetBlockSize(9999);
    host->SetCustomGenerator(&silence);
    EXPECT_EQ(silence.BlockSize(), 64u);
    ASSERT_TRUE(capture.WaitBlocks(2));
    EXPECT_EQ(capture.LastInput()[1], TSingleDynArray(64, 0.0f));

    // A generator of our own, on the input and on the output side.
    host->SetCustomGenerator(&marker);
    host->SetPreFillOutBuffer(bpfCustom);
    ASSERT_TRUE(capture.WaitBlocks(3));
    EXPECT_EQ(capture.LastInput()[0], TSingleDynArray(64, -0.25f));
    EXPECT_EQ(capture.LastOutput()[1], TSingleDynArray(64, 0.5f));
    EXPECT_NEAR(OutputMeter(*host, 1), 0.5, 1e-6);

    host->SetPreFillInBuffer(bpfZero);
    host->SetPreFillOutBuffer(bpfNoise);
    ASSERT_TRUE(capture.WaitBlocks(2));
    EXPECT_EQ(capture.LastInput()[1], TSingleDynArray(64, 0.0f));
    const TSingleDynArray noise = capture.LastOutput()[0];
    EXPECT_TRUE(std::all_of(noise.begin(), noise.end(), [](float x) { return x >= -1 && x < 1; }));
    EXPECT_GT(std::set<float>(noise.begin(), noise.end()).size(), 50u);

    host->SetPreFillInBuffer(bpfNone);
    host->SetCustomGenerator(nullptr);
    ASSERT_TRUE(capture.WaitBlocks(2));
    EXPECT_NE(capture.LastInput()[0], TSingleDynArray(64, 0.0f));
}

TEST_F(HostBlockTest, InputMonitorCopiesOnlyExistingChannels) {
    Capture capture;
    auto host = Open(
        {{"BufferPreferred", "64"}, {"Inputs", "3"}, {"Outputs", "3"}, {"Frequency 3", "300"}});
    host->SetInputChannelOffset(3);  // beyond the inputs: ignored
    EXPECT_EQ(host->InputChannelOffset(), 0);
    host->SetInputChannelOffset(2);
    host->SetInputMonitor(imStereo);
    capture.Attach(*host);
    host->SetActive(true);
    ASSERT_TRUE(capture.WaitBlocks(2));
    const TQorArrayOfSingleDynArray in = capture.LastInput();
    const TQorArrayOfSingleDynArray out = capture.LastOutput();
    EXPECT_EQ(out[0], in[2]);
    EXPECT_EQ(out[1], TSingleDynArray(64, 0.0f)) << "there is no fourth input to copy";
    EXPECT_EQ(out[2], TSingleDynArray(64, 0.0f));

    host->SetInputMonitor(imAll);
    ASSERT_TRUE(capture.WaitBlocks(2));
    EXPECT_EQ(capture.LastOutput(), capture.LastInput());
}

TEST_F(HostBlockTest, ClippingShapesWhatReachesTheDriver) {
    Capture capture;
    auto host = Open({{"BufferPreferred", "64"}});
    capture.Attach(*host, [](TQorArrayOfSingleDynArray& out) {
        std::fill(out[0].begin(), out[0].end(), 1.0f);
        std::fill(out[1].begin(), out[1].end(), -1.5f);
    });
    host->SetActive(true);
    ASSERT_TRUE(capture.WaitBlocks(2));
    EXPECT_NEAR(OutputMeter(*host, 1), 1.0, 1e-6) << "no clipping: the converter limits";

    host->SetPreventClipping(pcAnalog);
    ASSERT_TRUE(capture.WaitBlocks(3));
    EXPECT_NEAR(OutputMeter(*host, 0), 0.8, 1e-6);

    host->SetPreventClipping(pcDigital);
    ASSERT_TRUE(capture.WaitBlocks(3));
    EXPECT_NEAR(OutputMeter(*host, 0), 1.0, 1e-6);
    EXPECT_NEAR(OutputMeter(*host, 1), 1.0, 1e-6);
}

TEST_F(HostBlockTest, StoppingQuiescesAndZeroesEveryDriverBuffer) {
    std::atomic<PASIOBufferList> infos{nullptr};
    std::atomic<int> blocks{0};
    std::atomic<int64_t> lastPosition{-1};
    auto host = Open({{"BufferPreferred", "64"}, {"SampleType", "17"}, {"Inputs", "3"}});
    host->OnBufferSwitchNative = [&](TCustomASIOHost&, PASIOBufferList list, int32_t) {
        infos = list;
        ++blocks;
    };
    host->OnUpdateSamplePos = [&](TCustomASIOHostBasic&, int64_t position) {
        lastPosition = position;
    };
    host->SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return blocks >= 3; }));
    host->SetActive(false);
    const int stoppedAt = blocks;
    EXPECT_EQ(lastPosition % 64, 0);
    EXPECT_GE(lastPosition, 2 * 64);

    ASSERT_NE(infos.load(), nullptr);
    const int channels = host->InputChannelCount() + host->OutputChannelCount();
    for (int ch = 0; ch < channels; ++ch) {
        for (void* half : infos.load()[ch].buffers) {
            const auto* bytes = static_cast<const unsigned char*>(half);
            EXPECT_TRUE(std::all_of(bytes, bytes + 64 * 3, [](unsigned char b) { return b == 0; }))
                << "channel " << ch;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(blocks, stoppedAt) << "no buffer switch after stop";
}

TEST_F(HostBlockTest, HostWithoutTimeInfoAsksForThePosition) {
    std::atomic<int64_t> position{-1};
    Capture capture;
    auto host = Open({{"BufferPreferred", "64"}, {"TimeInfo", "0"}});
    host->OnUpdateSamplePos = [&](TCustomASIOHostBasic&, int64_t value) { position = value; };
    capture.Attach(*host);
    host->SetActive(true);
    ASSERT_TRUE(capture.WaitBlocks(3));
    host->SetActive(false);
    EXPECT_GT(position, 0);
    EXPECT_TRUE(host->ASIOTime().Flags().Contains(atSamplePositionValid));
    EXPECT_FALSE(host->ASIOTime().Flags().Contains(atSampleRateValid));
}

// Everything the main thread may do while the driver streams; run under ThreadSanitizer.
TEST_F(HostBlockTest, MainThreadChangesWhileStreaming) {
    AddTestSignal("Other", 2,
                  {{"BufferMinimum", "32"}, {"BufferPreferred", "32"}, {"Inputs", "4"}});
    Capture capture;
    TASIOGenerator generator;
    auto host = Open({{"BufferPreferred", "64"}});
    capture.Attach(*host);
    host->SetActive(true);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
    for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
        host->SetPreFillInBuffer(static_cast<TBufferPreFill>(round % 4));
        host->SetPreFillOutBuffer(static_cast<TBufferPreFill>((round + 1) % 4));
        host->SetPreventClipping(static_cast<TPreventClipping>(round % 3));
        host->SetInputMonitor(static_cast<TInputMonitor>(round % 4));
        host->SetCustomGenerator(round % 2 != 0 ? &generator : nullptr);
        if (round % 3 == 0) {
            host->OnBufferSwitch64 = [](TCustomASIOHost&, const TQorArrayOfDoubleDynArray&,
                                        TQorArrayOfDoubleDynArray&) {};
        } else {
            host->OnBufferSwitch64 = nullptr;
        }
        host->SetSampleRate(round % 2 != 0 ? 48000.0 : 44100.0);
        host->ASIOTime().SamplePos();
        if (round % 5 == 0) {
            host->SetActive(false);
            host->SetActive(true);
        }
        if (round % 7 == 0) {
            host->SetDriverIndex(round % 2);
        }
        platform::ProcessEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    host->SetCustomGenerator(nullptr);
    host->OnBufferSwitch64 = nullptr;
    EXPECT_TRUE(host->Active());
    EXPECT_TRUE(capture.WaitBlocks(2));
    host.reset();  // destroyed while streaming
}

}  // namespace
}  // namespace spectrino
