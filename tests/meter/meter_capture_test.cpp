// The program on a live capture device: a tone played into the test server's null sink is read
// back from its monitor, the same way a check of the capture path can read levels. On Windows
// the program captures through winmm, and the tone is played by the script that starts the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <system_error>

#include "core/bandlevel.h"
#include "core/bandtable.h"
#include "e2e/predicted_level.h"
#include "filterbank/utonebank.h"
#include "platform/debug_output.h"
#include "platform/process.h"
#include "test_environment.h"

#if !defined(_WIN32)
#include <sys/wait.h>

#include "e2e/tone_player.h"
#endif

namespace {

namespace fs = std::filesystem;
using namespace spectrino;

std::vector<double> LastRow(const std::string& csv) {
    std::istringstream lines(csv);
    std::string line;
    std::string last;
    while (std::getline(lines, line)) {
        last = line;
    }
    std::vector<double> cells;
    std::stringstream row(last);
    for (std::string cell; std::getline(row, cell, ',');) {
        cells.push_back(std::stod(cell));
    }
    return cells;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The level the bank gives the tone, in dB.
double PredictedLevel(int rate, int band, double frequency) {
    const platform::DebugCapture quiet;
    return spectrino_test::PredictedToneLevel(rate, band, frequency) / 100.0;
}

// Runs the meter with its output in files; returns its exit code.
int RunMeter(const std::string& arguments, const fs::path& out, const fs::path& err) {
#if defined(_WIN32)
    const fs::path meter =
        fs::path(platform::ProgramFilePath()).parent_path() / fs::path(METER_PATH).filename();
    // cmd strips the outermost quotes of the whole line.
    const std::string command = "\"\"" + meter.string() + "\" " + arguments + " >\"" +
                                out.string() + "\" 2>\"" + err.string() + "\"\"";
    return std::system(command.c_str());
#else
    const std::string command = std::string(METER_PATH) + " " + arguments + " >'" + out.string() +
                                "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

// Captures 4 s at `rate` and checks the tone in `band` (column band + 1) on the last row.
void CheckToneReadAt(int rate, int band) {
#if !defined(_WIN32)
    const spectrino_test::TonePlayer player(1000.0, 0.1, rate, 10);
#endif
    const fs::path dir = test::MakeTempDirectory("meter-capture");
    // An idle null sink takes up to two seconds to wake; the last rows are well past that.
    const int code =
        RunMeter("--device \"Monitor of TestSink\" --duration 4 --rate " + std::to_string(rate),
                 dir / "out", dir / "err");
    const std::string csv = ReadFile(dir / "out");
    const std::string err = ReadFile(dir / "err");
    // Wine may hold the files a moment after the program ended; a leftover is no failure.
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    ASSERT_EQ(code, 0) << err;

    // 4 s of audio: a header and 50 rows, the last at 4.000 s.
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 51);
    const std::vector<double> row = LastRow(csv);
    ASSERT_EQ(row.size(), 129u);
    EXPECT_DOUBLE_EQ(row[0], 4.0);
    // The tone at -20 dBFS reads as the bank predicts in its band (-12.5 dB), and no band away
    // from it comes near.
    const auto column = static_cast<size_t>(band) + 1;
    const double predicted = PredictedLevel(rate, band, 1000.0);
    std::printf("%d Hz: band %d reads %.2f dB, predicted %.2f dB\n", rate, band, row[column],
                predicted);
    EXPECT_NEAR(row[column], predicted, 0.5);
    for (int other = 0; other < 128; ++other) {
        if (std::abs(other - band) > 4) {
            EXPECT_LT(row[static_cast<size_t>(other) + 1], row[column] - 10) << other;
        }
    }
}

TEST(MeterCaptureTest, ReadsAToneFromTheMonitorOfTheTestSink) {
    CheckToneReadAt(44100, 74);
}

// At 48000 Hz every band sits a semitone higher, so the tone lands one band lower.
TEST(MeterCaptureTest, ReadsAToneFromTheMonitorOfTheTestSinkAt48000) {
    CheckToneReadAt(48000, 73);
}

}  // namespace
