// Test entry with an event loop on the main thread, which the host's message window runs on.
#include <gtest/gtest.h>

#include "platform/event_loop.h"

int main(int argc, char** argv) {
    spectrino::platform::EventLoop loop(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
