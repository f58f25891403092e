#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "core/bandtable.h"
#include "filterbank/utonebank.h"
#include "framework/exception.h"
#include "platform/debug_output.h"
#include "platform/process.h"
#include "core/bandlevel.h"
#include "test_environment.h"

namespace fs = std::filesystem;

namespace {

using namespace spectrino;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

const std::string kLibrary = kToneBankFileName;

#if defined(_WIN32)
// Test programs, the probe and the library sit side by side in the build's bin directory.
fs::path BuiltFile(const char* path) {
    return fs::path(platform::ProgramFilePath()).parent_path() / fs::path(path).filename();
}
#else
fs::path BuiltFile(const char* path) {
    return path;
}
#endif

// Runs a copy of the probe from `dir` with the library search path set to `library_path`.
struct ProbeRun {
    std::string out, err;
};

ProbeRun RunProbe(const fs::path& dir, const std::string& library_path) {
    const fs::path probe = dir / BuiltFile(PROBE_PATH).filename();
    fs::copy_file(BuiltFile(PROBE_PATH), probe, fs::copy_options::overwrite_existing);
#if defined(_WIN32)
    // Windows looks for a bare name along PATH after its own directories.
    const char* saved = std::getenv("PATH");
    const std::string previous = saved != nullptr ? saved : "";
    test::SetEnv("PATH", library_path.empty() ? previous : library_path + ";" + previous);
    // cmd strips the outermost quotes of the whole line.
    const std::string command = "\"\"" + probe.string() + "\" >\"" + (dir / "out").string() +
                                "\" 2>\"" + (dir / "err").string() + "\"\"";
    EXPECT_EQ(std::system(command.c_str()), 0);
    test::SetEnv("PATH", previous);
#else
    const std::string command = "cd / && LD_LIBRARY_PATH='" + library_path + "' '" +
                                probe.string() + "' >'" + (dir / "out").string() + "' 2>'" +
                                (dir / "err").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
#endif
    return {ReadFile(dir / "out"), ReadFile(dir / "err")};
}

class ClientLoading : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("spectrino-client-" +
                std::to_string(::testing::UnitTest::GetInstance()->current_test_info()->line()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(ClientLoading, FindsTheLibraryByBareName) {
    const auto run = RunProbe(dir_, BuiltFile(TONEBANK_PATH).parent_path().string());
    EXPECT_EQ(run.err, "trying.... " + kLibrary + "\n");
    EXPECT_NE(run.out.find("loaded=1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("addbin=0"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("result=0"), std::string::npos) << run.out;
}

TEST_F(ClientLoading, FallsBackToTheProgramsOwnDirectory) {
    fs::copy_file(BuiltFile(TONEBANK_PATH), dir_ / kLibrary);
    const auto run = RunProbe(dir_, "");
#if defined(_WIN32)
    // Windows searches the program's directory for a bare name itself, so the first try finds it.
    EXPECT_EQ(run.err, "trying.... " + kLibrary + "\n");
#else
    EXPECT_EQ(run.err,
              "trying.... " + kLibrary + "\ntrying.... " + (dir_ / kLibrary).string() + "\n");
#endif
    EXPECT_NE(run.out.find("loaded=1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("addbin=0"), std::string::npos) << run.out;
}

TEST_F(ClientLoading, MissingEverywhereRaisesAfterBothAttempts) {
    const auto run = RunProbe(dir_, "");
    // The constructor tries again, so both lines appear twice.
    const std::string tries =
        "trying.... " + kLibrary + "\ntrying.... " + (dir_ / kLibrary).string() + "\n";
    EXPECT_EQ(run.err, tries + tries);
    EXPECT_NE(run.out.find("loaded=0"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("error=" + kLibrary + " not found!"), std::string::npos) << run.out;
}

TEST_F(ClientLoading, MissingExportsAreNeverCalled) {
    fs::copy_file(BuiltFile(PARTIAL_TONEBANK_PATH), dir_ / kLibrary);
    const auto run = RunProbe(dir_, "");
    EXPECT_NE(run.out.find("loaded=1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("addbin=-1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("result=0"), std::string::npos) << run.out;
}

TEST(Client, ReportsABankThatCannotBeMade) {
    for (int rate : {0, 1, -44100}) {
        try {
            TGoertzel bank(rate);
            ADD_FAILURE() << "rate " << rate << " made a bank";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Goertzel could not be created");
        }
    }
}

TEST(Client, RealBankMeasuresATone) {
    platform::DebugCapture quiet;
    TGoertzel bank(48000);
    const BandTable table = ComputeBands(48000.0f);
    for (int i = 0; i < kBandCount; ++i) {
        float centre, width;
        table.GetBand(i, centre, width);
        EXPECT_EQ(bank.AddBin(centre, width), i);
    }
    // A -20 dBFS tone at 1000 Hz, fed in capture-sized blocks.
    std::vector<float> block(2048);
    long n = 0;
    for (int b = 0; b < 30; ++b) {
        for (float& s : block) {
            s = static_cast<float>(0.1 * std::sin(2 * std::numbers::pi * 1000.0 * n++ / 48000));
        }
        bank.AddSamples(block.data(), static_cast<int>(block.size()));
    }
    std::vector<int32_t> levels(kBandCount);
    for (int i = 0; i < kBandCount; ++i) {
        levels[i] = BandLevel(bank.GetResult(i));
    }
    // Band 73 starts at 1000 Hz at this rate; its filter sits 10.9 Hz above the tone.
    EXPECT_EQ(std::max_element(levels.begin(), levels.end()) - levels.begin(), 73);
    EXPECT_NEAR(levels[73], -1260, 30);
    EXPECT_EQ(bank.GetResult(kBandCount), 0.0);
    EXPECT_EQ(bank.GetResult(-1), 0.0);

    bank.Flush();
    EXPECT_EQ(bank.GetResult(73), 0.0);
}

}  // namespace
