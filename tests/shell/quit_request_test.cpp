// Asked to end while a start-up message box is up, before the event loop runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <csignal>

#include "framework/exception.h"
#include "framework/exception_handler.h"
#include "platform/termination.h"
#include "shell/quit_request.h"

namespace {

using namespace spectrino;

// Should a request get lost, these end the box and the loop instead, and say so.
class Rescue {
public:
    Rescue() {
        box_.setSingleShot(true);
        QObject::connect(&box_, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                boxRescued = true;
                modal->close();
            }
        });
        box_.start(10000);
        loop_.setSingleShot(true);
        QObject::connect(&loop_, &QTimer::timeout, [] { QApplication::exit(7); });
        loop_.start(15000);
    }
    bool boxRescued = false;

private:
    QTimer box_;
    QTimer loop_;
};

TEST(QuitRequest, ASignalWhileTheStartUpBoxIsUpEndsTheProgram) {
    TQuitRequest quit;
    const platform::TerminationRequests termination([&quit] { quit.Request(); });
    const Rescue rescue;
    // Arrives inside the box's own loop.
    QTimer::singleShot(50, [] { std::raise(SIGTERM); });
    Guarded([] { throw Exception("Soundcard could not be opened!"); });
    EXPECT_FALSE(rescue.boxRescued);
    EXPECT_TRUE(quit.Requested());
    EXPECT_EQ(quit.Exec(), 0);
}

TEST(QuitRequest, ARequestWhileTheLoopRunsEndsIt) {
    TQuitRequest quit;
    const platform::TerminationRequests termination([&quit] { quit.Request(); });
    const Rescue rescue;
    QTimer::singleShot(0, [] { std::raise(SIGTERM); });
    EXPECT_EQ(quit.Exec(), 0);
    EXPECT_TRUE(quit.Requested());
}

}  // namespace
