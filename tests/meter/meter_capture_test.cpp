// The program on a live capture device: a tone played into the test server's null sink is read
// back from its monitor, the same way a check of the capture path can read levels.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e/tone_player.h"

namespace {

namespace fs = std::filesystem;

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

TEST(MeterCaptureTest, ReadsAToneFromTheMonitorOfTheTestSink) {
    const fs::path out = fs::temp_directory_path() / ("meter_capture_" + std::to_string(getpid()));
    const spectrino_test::TonePlayer player(1000.0, 0.1, 44100, 10);
    // An idle null sink takes up to two seconds to wake; the last rows are well past that.
    const std::string command = std::string(METER_PATH) +
                                " --device 'Monitor of TestSink' --duration 4 >" + out.string() +
                                " 2>" + out.string() + ".err";
    const int status = std::system(command.c_str());
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    std::ifstream errIn(out.string() + ".err");
    std::stringstream err;
    err << errIn.rdbuf();
    fs::remove(out);
    fs::remove(out.string() + ".err");
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err.str();

    // 4 s of audio: a header and 50 rows, the last at 4.000 s.
    const std::string csv = text.str();
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 51);
    const std::vector<double> row = LastRow(csv);
    ASSERT_EQ(row.size(), 129u);
    EXPECT_DOUBLE_EQ(row[0], 4.0);
    // The tone at -20 dBFS reads as a file of the same tone does (-12.5 dB in band 74), and
    // no band away from it comes near.
    EXPECT_NEAR(row[75], -12.5, 0.5);
    for (size_t band = 0; band < 128; ++band) {
        if (band < 70 || band > 78) {
            EXPECT_LT(row[band + 1], row[75] - 10) << band;
        }
    }
}

}  // namespace
