// Measuring a long stereo WAV file the way spectrino-meter does, against real time.
// SPECTRINO_BENCH_MINUTES sets the file's length (default 60). Plain levels beside the
// measuring options, to show what weighting, third octaves and time weighting cost.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "meter/file_session.h"
#include "meter/wav_reader.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRate = 44100;

void Put32(std::ofstream& out, uint32_t v) {
    const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    out.write(bytes, 4);
}

void Put16(std::ofstream& out, uint16_t v) {
    const char bytes[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
    out.write(bytes, 2);
}

// 16-bit stereo music-like material: two drifting tones and a little noise.
void WriteStereoFile(const fs::path& path, uint64_t frames) {
    std::ofstream out(path, std::ios::binary);
    const auto dataBytes = static_cast<uint32_t>(frames * 4);
    out.write("RIFF", 4);
    Put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, 2);
    Put32(out, kRate);
    Put32(out, kRate * 4);
    Put16(out, 4);
    Put16(out, 16);
    out.write("data", 4);
    Put32(out, dataBytes);
    std::vector<int16_t> block(2 * 65536);
    uint32_t noise = 1;
    double phaseA = 0;
    double phaseB = 0;
    for (uint64_t done = 0; done < frames;) {
        const auto n = static_cast<size_t>(std::min<uint64_t>(65536, frames - done));
        for (size_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(done + i) / kRate;
            phaseA += 2 * M_PI * (220 + 200 * std::sin(t * 0.01)) / kRate;
            phaseB += 2 * M_PI * 3000 / kRate;
            noise = noise * 1664525u + 1013904223u;
            const double n0 = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.01;
            block[2 * i] = static_cast<int16_t>(8000 * std::sin(phaseA) + 32767 * n0);
            block[2 * i + 1] = static_cast<int16_t>(3000 * std::sin(phaseB) + 32767 * n0);
        }
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n * 4));
        done += n;
    }
}

// Output goes nowhere, but is formatted in full.
class NullBuffer : public std::streambuf {
protected:
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
    int overflow(int c) override { return c; }
};

// The file is written once for all benchmarks and removed at exit.
class BenchFile {
public:
    BenchFile() {
        const char* env = std::getenv("SPECTRINO_BENCH_MINUTES");
        const double minutes = env != nullptr ? std::atof(env) : 60.0;
        frames_ = static_cast<uint64_t>(minutes * 60 * kRate);
        path_ = fs::temp_directory_path() / ("bench_meter_" + std::to_string(getpid()) + ".wav");
        WriteStereoFile(path_, frames_);
    }
    ~BenchFile() { fs::remove(path_); }
    BenchFile(const BenchFile&) = delete;
    BenchFile& operator=(const BenchFile&) = delete;

    static const BenchFile& Get() {
        static const BenchFile file;
        return file;
    }
    const fs::path& Path() const { return path_; }
    uint64_t Frames() const { return frames_; }

private:
    fs::path path_;
    uint64_t frames_ = 0;
};

void MeasureStereoFile(benchmark::State& state, const spectrino::MeterSettings& settings) {
    const BenchFile& file = BenchFile::Get();
    NullBuffer sink;
    std::ostream out(&sink);
    for (auto _ : state) {
        spectrino::WavFile wav(file.Path().string());
        spectrino::MeasureWav(wav.Reader(), settings, spectrino::OutputFormat::Csv, out);
    }
    const double audioSeconds = static_cast<double>(file.Frames()) / kRate;
    state.counters["audio_s"] = audioSeconds;
    state.counters["x_realtime"] = benchmark::Counter(
        audioSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_MeasureStereoFile(benchmark::State& state) {
    MeasureStereoFile(state, {});
}
BENCHMARK(BM_MeasureStereoFile)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// As a sound level meter: --third-octaves --weighting A --time slow.
void BM_MeasureStereoFileThirdOctavesASlow(benchmark::State& state) {
    spectrino::MeterSettings settings;
    settings.thirdOctaves = true;
    settings.weighting = spectrino::FrequencyWeighting::A;
    settings.timeWeighting = spectrino::TimeWeighting::Slow;
    MeasureStereoFile(state, settings);
}
BENCHMARK(BM_MeasureStereoFileThirdOctavesASlow)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
