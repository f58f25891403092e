// Plays a stereo sine into the test sound server's null sink with pacat, for as long as the
// object lives.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

extern char** environ;

namespace spectrino_test {

class TonePlayer {
public:
    TonePlayer(double frequency, double amplitude, int rate, int seconds)
        : file_(std::filesystem::temp_directory_path() /
                ("spectrino-tone-" + std::to_string(getpid()) + ".raw")) {
        std::vector<int16_t> samples(static_cast<size_t>(rate) * seconds * 2);
        for (size_t i = 0; i < samples.size() / 2; ++i) {
            const double v =
                amplitude * 32767.0 *
                std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate);
            samples[2 * i] = samples[2 * i + 1] = static_cast<int16_t>(std::lround(v));
        }
        std::ofstream(file_, std::ios::binary)
            .write(reinterpret_cast<const char*>(samples.data()),
                   static_cast<std::streamsize>(samples.size() * 2));
        const std::string rateArg = "--rate=" + std::to_string(rate);
        const std::string path = file_.string();
        const char* argv[] = {
            "pacat",        "--playback",        "--device=test", "--format=s16le", rateArg.c_str(),
            "--channels=2", "--latency-msec=20", path.c_str(),    nullptr};
        if (posix_spawnp(&pid_, "pacat", nullptr, nullptr, const_cast<char**>(argv), environ) !=
            0) {
            pid_ = 0;
        }
    }
    ~TonePlayer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        std::filesystem::remove(file_);
    }
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    bool Running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

private:
    std::filesystem::path file_;
    pid_t pid_ = 0;
};

}  // namespace spectrino_test
