#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "shell/startup_probe.h"

namespace {

using namespace spectrino;

void Pump(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

TEST(ProcessAgeTest, GrowsWithTheWallClock) {
    const auto first = platform::SecondsSinceProcessStart();
    ASSERT_TRUE(first);
    EXPECT_GE(*first, 0.0);
    // This test program has not been running for an hour.
    EXPECT_LT(*first, 3600.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto second = platform::SecondsSinceProcessStart();
    ASSERT_TRUE(second);
    // One clock tick of resolution at either end.
    EXPECT_NEAR(*second - *first, 0.3, 0.03);
}

TEST(StartupProbeTest, ReportsTheFirstPaintOnceAndNotBefore) {
    QWidget widget;
    widget.resize(200, 100);
    std::vector<double> reports;
    new TStartupProbe(&widget, [&](double seconds) { reports.push_back(seconds); });
    Pump(50);
    EXPECT_TRUE(reports.empty()) << "reported before the widget was drawn";

    const double before = platform::SecondsSinceProcessStart().value_or(0);
    widget.show();
    Pump(200);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_GE(reports[0], before - 0.011);

    widget.repaint();
    widget.resize(300, 150);
    Pump(100);
    EXPECT_EQ(reports.size(), 1u);
}

}  // namespace
