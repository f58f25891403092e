// The hidden window that runs posted closures on its own thread.
#include "platform/message_window.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/event_loop.h"

namespace spectrino::platform {
namespace {

TEST(MessageWindowTest, RunsPostsInOrderOnItsOwnThreadOnly) {
    MessageWindow window;
    EXPECT_NE(window.Handle(), nullptr);
    std::vector<int> ran;
    std::vector<std::thread::id> threads;
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) {
            window.Post([&, i] {
                ran.push_back(i);
                threads.push_back(std::this_thread::get_id());
            });
        }
    });
    poster.join();
    EXPECT_TRUE(ran.empty()) << "nothing runs until the thread serves its events";
    // A closure may post again; that one runs too.
    window.Post([&] { window.Post([&] { ran.push_back(100); }); });
    ProcessEvents();
    ProcessEvents();
    ASSERT_EQ(ran.size(), 101u);
    for (int i = 0; i <= 100; ++i) {
        EXPECT_EQ(ran[static_cast<std::size_t>(i)], i);
    }
    for (const std::thread::id id : threads) {
        EXPECT_EQ(id, std::this_thread::get_id());
    }
}

TEST(MessageWindowTest, PendingPostsGoWithTheWindow) {
    auto token = std::make_shared<int>(0);
    bool ran = false;
    {
        MessageWindow window;
        window.Post([token, &ran] { ran = true; });
    }
    ProcessEvents();
    EXPECT_FALSE(ran);
    EXPECT_EQ(token.use_count(), 1) << "the dropped closure released what it held";
}

}  // namespace
}  // namespace spectrino::platform
