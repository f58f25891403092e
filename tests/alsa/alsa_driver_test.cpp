// The ALSA driver driven by the ASIO host on ALSA's "null" PCM, which takes any format and
// never blocks: what the driver reports, the blocks it delivers, its settings and its control
// panel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QSpinBox>
#include <algorithm>
#include <memory>

#include "alsa_test_support.h"
#include "settings.h"

namespace spectrino {
namespace {

using alsa_test::AlsaRegistryTest;
using alsa_test::BlockLog;
using alsa_test::WaitFor;

class AlsaDriverTest : public AlsaRegistryTest {
protected:
    std::unique_ptr<TASIOHost> OpenNull(const std::string& periodSize) {
        Set("Device", "null");
        Set("PeriodSize", periodSize);
        // A long ring, so that a slow block (under a sanitizer) is no overrun.
        Set("Periods", "16");
        auto host = std::make_unique<TASIOHost>();
        EXPECT_EQ(host->DriverList(), std::vector<std::string>{"Spectrino ALSA"});
        host->SetDriverIndex(0);
        return host;
    }
};

TEST_F(AlsaDriverTest, SettingsKeepDefaultsAndClampSizes) {
    EXPECT_EQ(alsa::ReadSettings(), alsa::Settings{});
    Set("Device", "");
    Set("PeriodSize", "5");
    Set("Periods", "99");
    Set("SampleRate", "96000");
    Set("StallOnceMs", "x");
    alsa::Settings read = alsa::ReadSettings();
    EXPECT_EQ(read.device, "default");
    EXPECT_EQ(read.periodSize, alsa::kMinPeriodSize);
    EXPECT_EQ(read.periods, alsa::kMaxPeriods);
    EXPECT_EQ(read.sampleRate, 44100.0);
    EXPECT_EQ(read.stallOnceMs, 0);

    alsa::Settings changed;
    changed.device = "plughw:1,0";
    changed.periodSize = 1024;
    changed.periods = 4;
    ASSERT_TRUE(alsa::WriteSettings(changed));
    read = alsa::ReadSettings();
    EXPECT_EQ(read.device, "plughw:1,0");
    EXPECT_EQ(read.periodSize, 1024);
    EXPECT_EQ(read.periods, 4);
    EXPECT_EQ(StoredNumber("PeriodSize"), 1024u);  // stored as a number, not as text
}

TEST_F(AlsaDriverTest, ReportsChannelsSizesRatesAndLatencies) {
    const auto host = OpenNull("256");
    ASSERT_TRUE(host->BuffersCreated());
    EXPECT_EQ(host->BufferSize(), 256u);
    EXPECT_EQ(host->InputChannelCount(), 2);
    EXPECT_EQ(host->OutputChannelCount(), 2);
    ASIOChannelInfo info{};
    host->GetChannelInfo(1, info);
    EXPECT_STREQ(info.name, "In 2");
    EXPECT_EQ(info.type, 18);
    EXPECT_EQ(host->CanSampleRate(44100.0), 0);
    EXPECT_EQ(host->CanSampleRate(48000.0), 0);
    EXPECT_NE(host->CanSampleRate(96000.0), 0);
    EXPECT_EQ(host->InputLatency(), 256);
    // The playback ring holds the silence ahead of each block, so at least two blocks.
    EXPECT_GE(host->OutputLatency(), 512);
    EXPECT_TRUE(host->CanTimeInfo());
}

TEST_F(AlsaDriverTest, BlocksCarryTruePositionsAndFollowRateChanges) {
    const auto host = OpenNull("128");
    BlockLog log;
    log.Attach(*host);
    std::atomic<int> rateChanges{0};
    host->OnSampleRateChanged = [&](TCustomASIOHostBasic&) { ++rateChanges; };
    host->SetActive(true);
    ASSERT_TRUE(host->Active());
    ASSERT_TRUE(log.WaitBlocks(50));

    host->SetSampleRate(48000.0);
    ASSERT_TRUE(WaitFor([&] { return rateChanges > 0; }));
    ASSERT_TRUE(log.WaitBlocks(50));
    host->SetActive(false);
    const std::size_t stopped = log.Count();

    const auto blocks = log.Blocks();
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        ASSERT_TRUE(blocks[i].timeValid);
        // Nothing is lost on a PCM that never overruns: block after block, 128 frames apart.
        ASSERT_EQ(blocks[i].position, static_cast<int64_t>(i) * 128) << "block " << i;
    }
    // From the driver's switch on, every block carries the new rate. The host's time record
    // takes the new rate as soon as it is asked for, so the one block under way at that moment
    // may read it before the driver has reopened; no other block before the switch does.
    std::size_t switched = blocks.size();
    while (switched > 0 && blocks[switched - 1].rate == 48000.0) {
        --switched;
    }
    EXPECT_LT(switched, blocks.size()) << "no block at the new rate";
    const auto early =
        std::count_if(blocks.begin(), blocks.begin() + switched,
                      [](const alsa_test::Block& block) { return block.rate == 48000.0; });
    EXPECT_LE(early, 1) << "the rate went back and forth before block " << switched;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(log.Count(), stopped);  // stop joined the thread
}

TEST_F(AlsaDriverTest, DeviceThatCannotOpenLeavesTheHostWithoutDriver) {
    Set("Device", "no_such_pcm_here");
    TASIOHost host;
    host.SetDriverIndex(0);  // "ASIO Driver Failed!" stays inside
    EXPECT_EQ(host.DriverIndex(), 0);
    EXPECT_FALSE(host.BuffersCreated());
    EXPECT_EQ(host.InputChannelCount(), 0);
    host.SetActive(true);
    EXPECT_FALSE(host.Active());
}

TEST_F(AlsaDriverTest, ControlPanelChangesApplyThroughReset) {
    const auto host = OpenNull("256");
    std::atomic<int> resets{0};
    host->OnReset = [&](TCustomASIOHostBasic&) { ++resets; };
    BlockLog log;
    log.Attach(*host);
    host->SetActive(true);

    host->ControlPanel();
    QDialog* panel = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "AlsaControlPanel") {
            panel = qobject_cast<QDialog*>(widget);
        }
    }
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(panel->isVisible());
    auto* device = panel->findChild<QComboBox*>("Device");
    auto* size = panel->findChild<QSpinBox*>("PeriodSize");
    auto* periods = panel->findChild<QSpinBox*>("Periods");
    ASSERT_TRUE(device && size && periods);
    EXPECT_EQ(device->currentText(), "null");
    EXPECT_GE(device->findText("default"), 0);  // the hinted PCMs are offered
    EXPECT_EQ(size->value(), 256);

    // Cancelling changes nothing.
    panel->reject();
    ASSERT_TRUE(log.WaitBlocks(10));
    EXPECT_EQ(resets, 0);

    host->ControlPanel();
    size->setValue(64);
    periods->setValue(5);
    panel->accept();
    EXPECT_EQ(StoredNumber("PeriodSize"), 64u);
    EXPECT_EQ(StoredNumber("Periods"), 5u);
    ASSERT_TRUE(WaitFor([&] { return resets > 0; }));
    EXPECT_EQ(host->BufferSize(), 64u);
    EXPECT_TRUE(host->Active());  // the reset keeps it streaming
    const std::size_t before = log.Count();
    ASSERT_TRUE(log.WaitBlocks(10));
    EXPECT_GT(log.Count(), before);
    host->SetActive(false);
}

}  // namespace
}  // namespace spectrino
