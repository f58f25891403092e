// The program as a user runs it: output on standard output, one message on standard error and
// a non-zero exit code for every input it cannot measure.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "meter/wav_builder.h"

namespace spectrino {
namespace {

namespace fs = std::filesystem;

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

class MeterCliTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("meter_cli_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string File(const std::string& name, const std::string& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    Result Run(const std::string& args) {
        const std::string command = std::string(METER_PATH) + " " + args + " >" +
                                    (dir_ / "out").string() + " 2>" + (dir_ / "err").string() +
                                    " </dev/null";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(dir_ / "out"),
                Read(dir_ / "err")};
    }

    fs::path dir_;
};

TEST_F(MeterCliTest, MeasuresAFileAndPrintsTheBandTable) {
    std::vector<double> samples(44100 / 4 * 2, 0.0);  // 250 ms of stereo silence
    const std::string wav = File("quiet.wav", test::MakeWav({}, samples));
    const Result csv = Run(wav);
    EXPECT_EQ(csv.code, 0) << csv.err;
    EXPECT_EQ(csv.err, "");
    // Header and three rows of 80 ms; silence is the floor.
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 4);
    EXPECT_NE(csv.out.find("\n0.240,-144.00,"), std::string::npos);

    const Result json = Run("--format json --decay --window hanning --input left " + wav);
    EXPECT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(json.out.rfind("{\"time\":0.080,\"levels\":[", 0), 0u);
    EXPECT_NE(json.out.find("\"peaks\":["), std::string::npos);

    const Result bands = Run("--bands --rate 48000");
    EXPECT_EQ(bands.code, 0);
    EXPECT_EQ(std::count(bands.out.begin(), bands.out.end(), '\n'), 129);
}

TEST_F(MeterCliTest, BadInputGivesOneMessageAndNoOutput) {
    const test::WavLayout good;
    std::string truncated = test::MakeWav(good, std::vector<double>(400, 0.25));
    truncated.resize(truncated.size() / 2);
    // Far enough in for rows to have been measured before it, were the file read as it goes.
    std::vector<double> nan(9000, 0.25);
    nan[8000] = std::nan("");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {(dir_ / "missing.wav").string(), "cannot open"},
        {File("text.wav", "just some text, not audio\n"), "not a WAV file"},
        {File("cut.wav", truncated), "truncated"},
        {File("rate.wav", test::MakeWav({1, 2, 32000, 16, false}, {0, 0})), "32000 Hz"},
        {File("mulaw.wav", test::MakeWav({7, 1, 44100, 8, false}, {0})), "format tag 7"},
        {File("nan.wav", test::MakeWav({3, 1, 44100, 32, false}, nan)), "frame 8000 "},
        {dir_.string(), "not a regular file"},
        {"--window 9 x.wav", "--window"},
        {"--hold --decay x.wav", "exclude"},
        {"--rate 22050 --bands", "22050"},
        {"--bogus", "unknown option"},
        {"", "no input"},
    };
    for (const auto& [args, fragment] : cases) {
        SCOPED_TRACE(args);
        const Result result = Run(args);
        EXPECT_NE(result.code, 0);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("spectrino-meter: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(fragment), std::string::npos) << result.err;
    }
}

TEST_F(MeterCliTest, MeasuringOptionsWithBadValuesGiveOneLineAndExitCode2) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--weighting B x.wav", "--weighting"},
        {"x.wav --weighting", "--weighting"},
        {"--time medium x.wav", "--time"},
        {"x.wav --time", "--time"},
        {"--offset abc x.wav", "--offset"},
        {"--offset nan x.wav", "--offset"},
        {"--offset 1e6 x.wav", "--offset"},
        {"--offset '' x.wav", "--offset"},
        {"--calibrate 94dB x.wav", "--calibrate"},
        {"--calibrate inf x.wav", "--calibrate"},
        {"--third-octaves --hold x.wav", "--hold"},
        {"--summary --decay x.wav", "--hold"},
        {"--calibrate 94 --weighting A x.wav", "--calibrate"},
    };
    for (const auto& [args, option] : cases) {
        SCOPED_TRACE(args);
        const Result result = Run(args);
        EXPECT_EQ(result.code, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("spectrino-meter: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(option), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

TEST_F(MeterCliTest, CalibrationRoundTripAndLevelsUnchangedWithoutMeasuringOptions) {
    // 3 s of 1 kHz at -26 dBFS in both channels of a 16-bit file.
    std::vector<double> samples;
    for (int n = 0; n < 3 * 44100; ++n) {
        const double s = 0.05 * std::sin(2 * 3.14159265358979 * 1000 * n / 44100.0);
        samples.insert(samples.end(), {s, s});
    }
    const std::string wav = File("calibrator.wav", test::MakeWav({}, samples));
    const Result offset = Run("--calibrate 94 " + wav);
    ASSERT_EQ(offset.code, 0) << offset.err;
    ASSERT_EQ(offset.out.back(), '\n');
    const std::string value = offset.out.substr(0, offset.out.size() - 1);
    EXPECT_NEAR(std::stod(value), 94 + 26 - 7.96, 0.5);  // a full-scale sine reads +7.96 dB

    const Result summary = Run("--summary --offset " + value + " " + wav);
    ASSERT_EQ(summary.code, 0) << summary.err;
    const std::string label = "LZeq+" + value + " ";
    EXPECT_EQ(summary.out.rfind("time," + label, 0), 0u) << summary.out.substr(0, 40);
    const std::string row = summary.out.substr(summary.out.find('\n') + 1);
    EXPECT_EQ(row.rfind("2.960,", 0), 0u);
    EXPECT_NE(row.find(",94.00,"), std::string::npos);
    EXPECT_EQ(row.find(",94.01,"), std::string::npos);  // nothing reads above the tone

    // A measurement that changes nothing gives the plain levels under a label.
    for (const std::string format : {"csv", "json"}) {
        std::string plain = Run("--format " + format + " " + wav).out;
        std::string same = Run("--format " + format + " --weighting Z --offset 0 " + wav).out;
        for (const std::string& key : {std::string("LZ+0.00 "), std::string("\"LZ+0.00\"")}) {
            const std::string replacement = key[0] == '"' ? "\"levels\"" : "";
            for (size_t at = same.find(key); at != std::string::npos; at = same.find(key, at)) {
                same.replace(at, key.size(), replacement);
            }
        }
        EXPECT_EQ(same, plain) << format;
    }
}

}  // namespace
}  // namespace spectrino
