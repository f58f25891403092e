// The analyzer's window while the sound server restarts under it (scripts/services.sh, whichever
// server the run uses) or its source goes away: the window keeps running, notices the loss, and
// the device shows the tone again, chosen again or by itself.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "core/bandlevel.h"
#include "e2e/predicted_level.h"
#include "e2e/tone_player.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "shell/Unit1.h"

namespace {

using namespace spectrino;

// The longest time the window went without processing its events, in milliseconds.
qint64 longestStall = 0;

// Processes the window's events until `done` or `milliseconds` have passed.
bool PumpUntil(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        longestStall = std::max(longestStall, sinceEvents.restart());
    }
    return true;
}

// Runs restart_sound_server of the test services in a shell of its own while the window goes on
// processing its events, as it would for a user; its exit status, -1 when it could not run.
int RestartSoundServer() {
    const std::string script =
        std::string(". '") + SPECTRINO_SERVICES_SCRIPT + "' && restart_sound_server";
    const char* argv[] = {"bash", "-c", script.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "bash", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        return -1;
    }
    int status = 0;
    const bool ended = PumpUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 30000);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits up to `milliseconds` for the tone to be the loudest band, within 1 dB of what the bank
// predicts; the band's last reading lands in `reading`.
bool ToneShows(TForm1& form, int rate, int band, int milliseconds, int32_t& reading) {
    const int32_t predicted = spectrino_test::PredictedToneLevel(rate, band, 1000.0);
    TSpectArray levels{};
    const bool shows = PumpUntil(
        [&] {
            form.Spectrum1Refresh(levels);
            const auto loudest = std::max_element(levels.begin(), levels.end()) - levels.begin();
            return loudest == band && std::abs(levels[band] - predicted) <= 100;
        },
        milliseconds);
    reading = levels[band];
    return shows;
}

size_t Count(const platform::DebugCapture& log, const std::string& line) {
    const std::vector<std::string> lines = log.Lines();
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

// A restart at each rate: after the first the device resumes by itself once its source is
// back, after the second it is chosen again from the menu at once.
TEST(ServerChangesEndToEnd, WaveCaptureSurvivesRestartsAndWorksAgain) {
    platform::DebugCapture log;
    ExceptionCapture shown;  // a message box would wait for a click
    TForm1 form;
    form.FormShow();
    form.Analyzer().SetDevice("Monitor of TestSink");
    ASSERT_NE(form.Analyzer().CurrentDevice(), nullptr);
    ASSERT_EQ(form.Analyzer().CurrentDevice()->Caption, "Monitor of TestSink");

    struct Round {
        int rate;
        int band;
        bool chooseAgain;
    };
    size_t restarts = 0;
    for (const Round round : {Round{44100, 74, false}, Round{48000, 73, true}}) {
        SCOPED_TRACE(round.rate);
        auto player = std::make_unique<spectrino_test::TonePlayer>(1000.0, 0.1, round.rate, 30);
        ASSERT_TRUE(player->Running()) << "pacat could not play into the test sink";
        form.Analyzer().SetSamplerate(round.rate);
        int32_t reading = 0;
        // An idle null sink may sleep for two seconds before data flows.
        EXPECT_TRUE(ToneShows(form, round.rate, round.band, 10000, reading))
            << "before the restart band " << round.band << " reads " << reading / 100.0;
        std::printf("%d Hz before the restart: band %d reads %.2f dB\n", round.rate, round.band,
                    reading / 100.0);

        ASSERT_EQ(RestartSoundServer(), 0)
            << "no restart: the server must be one that scripts/services.sh started";
        ++restarts;
        // The player went with the old server; the window saw its source go.
        player.reset();
        ASSERT_TRUE(PumpUntil([&] { return Count(log, "wavein: device lost") == restarts; }, 5000));
        // What was measured before the loss is gone, so the tone read later is new.
        TSpectArray levels{};
        form.Spectrum1Refresh(levels);
        EXPECT_LT(levels[round.band], -6000) << "the tone still shows after the loss";

        player = std::make_unique<spectrino_test::TonePlayer>(1000.0, 0.1, round.rate, 30);
        ASSERT_TRUE(player->Running());
        if (round.chooseAgain) {
            form.Analyzer().SetDevice("Monitor of TestSink");
        } else {
            EXPECT_TRUE(
                PumpUntil([&] { return Count(log, "wavein: device back") == restarts; }, 5000));
        }
        ASSERT_NE(form.Analyzer().CurrentDevice(), nullptr);
        EXPECT_EQ(form.Analyzer().CurrentDevice()->Caption, "Monitor of TestSink");
        EXPECT_TRUE(ToneShows(form, round.rate, round.band, 10000, reading))
            << "after the restart band " << round.band << " reads " << reading / 100.0;
        std::printf("%d Hz after the restart: band %d reads %.2f dB, predicted %.2f dB\n",
                    round.rate, round.band, reading / 100.0,
                    spectrino_test::PredictedToneLevel(round.rate, round.band, 1000.0) / 100.0);
    }
    EXPECT_TRUE(shown.Messages().empty()) << shown.Messages().front();
    // No call waits for a server longer than its few seconds of timeout; anything longer is a
    // hang.
    std::printf("longest time without processing events: %lld ms\n",
                static_cast<long long>(longestStall));
    EXPECT_LT(longestStall, 5000);
}

// Loads the test sink again at the end of its scope, should a check have left it unloaded, so
// the suites after this one find it.
class SinkUnloaded {
public:
    SinkUnloaded() : unloaded_(std::system("pactl unload-module module-null-sink") == 0) {}
    ~SinkUnloaded() {
        if (unloaded_) {
            Reload();
        }
    }
    SinkUnloaded(const SinkUnloaded&) = delete;
    SinkUnloaded& operator=(const SinkUnloaded&) = delete;

    bool Unloaded() const { return unloaded_; }
    bool Reload() {
        unloaded_ = std::system(
                        "pactl load-module module-null-sink sink_name=test "
                        "sink_properties=device.description=TestSink >/dev/null") != 0;
        return !unloaded_;
    }

private:
    bool unloaded_;
};

// The null sink unloaded while its monitor is captured, then loaded again: the device is lost
// and resumes by itself, with the tone.
TEST(ServerChangesEndToEnd, SourceThatGoesAwayWhileCapturedResumesWhenBack) {
    platform::DebugCapture log;
    ExceptionCapture shown;
    auto player = std::make_unique<spectrino_test::TonePlayer>(1000.0, 0.1, 44100, 30);
    ASSERT_TRUE(player->Running()) << "pacat could not play into the test sink";
    TForm1 form;
    form.FormShow();
    form.Analyzer().SetSamplerate(44100);
    form.Analyzer().SetDevice("Monitor of TestSink");
    int32_t reading = 0;
    ASSERT_TRUE(ToneShows(form, 44100, 74, 10000, reading)) << reading / 100.0;

    SinkUnloaded sink;
    ASSERT_TRUE(sink.Unloaded());
    player.reset();
    EXPECT_TRUE(PumpUntil([&] { return Count(log, "wavein: device lost") == 1; }, 5000));
    // Gone from the list, it stays the chosen device.
    ASSERT_NE(form.Analyzer().CurrentDevice(), nullptr);
    EXPECT_EQ(form.Analyzer().CurrentDevice()->Caption, "Monitor of TestSink");

    ASSERT_TRUE(sink.Reload());
    player = std::make_unique<spectrino_test::TonePlayer>(1000.0, 0.1, 44100, 30);
    EXPECT_TRUE(PumpUntil([&] { return Count(log, "wavein: device back") == 1; }, 5000));
    EXPECT_TRUE(ToneShows(form, 44100, 74, 10000, reading))
        << "after the source came back band 74 reads " << reading / 100.0;
    EXPECT_TRUE(shown.Messages().empty()) << shown.Messages().front();
}

}  // namespace
