// The event loop that hidden windows need, and the processor identification.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/cpu_features.h"
#include "platform/event_loop.h"
#include "platform/message_window.h"

namespace spectrino::platform {
namespace {

int gArgc = 1;
char gProgram[] = "platform_services_test";
char* gArgv[] = {gProgram, nullptr};

TEST(EventLoopTest, RunsPostsUntilAQuitFromAnotherThread) {
    EventLoop loop(gArgc, gArgv);
    MessageWindow window;
    std::vector<int> ran;
    std::atomic<bool> quitSent{false};
    std::thread quitter;
    std::thread poster([&] {
        for (int i = 0; i < 50; ++i) {
            window.Post([&ran, i] { ran.push_back(i); });
        }
        // Runs on the loop's thread; the quit comes from elsewhere once it has.
        window.Post([&] {
            quitter = std::thread([&] {
                quitSent = true;
                loop.Quit();
            });
        });
    });
    loop.Exec();
    poster.join();
    quitter.join();
    EXPECT_TRUE(quitSent);
    ASSERT_EQ(ran.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(ran[static_cast<size_t>(i)], i);
    }
}

TEST(EventLoopTest, QuitBeforeExecEndsItAfterWhatWasQueued) {
    EventLoop loop(gArgc, gArgv);
    MessageWindow window;
    bool ran = false;
    window.Post([&] { ran = true; });
    loop.Quit();
    const auto start = std::chrono::steady_clock::now();
    loop.Exec();
    EXPECT_TRUE(ran);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    // ProcessEvents serves what is queued and returns.
    ran = false;
    window.Post([&] { ran = true; });
    ProcessEvents();
    EXPECT_TRUE(ran);
}

#if defined(__x86_64__) || defined(_M_X64)
TEST(CpuFeaturesTest, EveryX86_64ProcessorHasSseAndTheExtendedLeaves) {
    const CpuFeatures features = ProbeCpuFeatures();
    EXPECT_TRUE(features.sse);
    EXPECT_GE(features.highestExtendedLeaf, 0x80000001u);
}
#endif

}  // namespace
}  // namespace spectrino::platform
