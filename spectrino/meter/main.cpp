// spectrino-meter: the analyzer's 128 band levels as numbers, from a WAV file or a capture
// device.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "filterbank/utonebank.h"
#include "meter/capture_session.h"
#include "meter/file_session.h"
#include "meter/level_writers.h"
#include "meter/meter_options.h"
#include "meter/wav_reader.h"
#include "platform/debug_output.h"
#include "platform/event_loop.h"

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;

int Fail(const std::string& message, int code) {
    std::cout.flush();
    std::fprintf(stderr, "spectrino-meter: %s\n", message.c_str());
    return code;
}

// Loading announces every place it tries; that belongs to the analyzer's diagnostics, not to a
// tool whose standard error carries only its own failures. A library not found is still
// reported when the bank is made.
void LoadFilterBankQuietly() {
    const spectrino::platform::DebugCapture quiet;
    spectrino::LoadFilterBankLibrary();
}

int Run(int argc, char** argv, const spectrino::MeterOptions& options) {
    using namespace spectrino;
    if (options.mode == MeterMode::File || options.mode == MeterMode::Capture) {
        LoadFilterBankQuietly();
    }
    switch (options.mode) {
        case MeterMode::Help:
            std::cout << kMeterUsage;
            return 0;
        case MeterMode::Bands:
            WriteBandTable(std::cout, static_cast<float>(options.rate), options.format);
            return 0;
        case MeterMode::File: {
            WavFile file(options.file);
            MeasureWav(file.Reader(), options.settings, options.format, std::cout);
            return 0;
        }
        case MeterMode::ListDevices: {
            const platform::EventLoop loop(argc, argv);
            for (const std::string& name : CaptureDeviceNames()) {
                std::cout << name << '\n';
            }
            std::cout.flush();
            return 0;
        }
        case MeterMode::Capture: {
            platform::EventLoop loop(argc, argv);
            MeasureCapture(options, loop, std::cout);
            return 0;
        }
    }
    return kFailure;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    spectrino::MeterOptions options;
    try {
        options = spectrino::ParseMeterOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const spectrino::UsageError& error) {
        return Fail(std::string(error.what()) + " (spectrino-meter --help lists the options)",
                    kUsage);
    }
    try {
        const int code = Run(argc, argv, options);
        if (!std::cout) {
            return Fail("cannot write the output", kFailure);
        }
        return code;
    } catch (const std::exception& error) {
        return Fail(error.what(), kFailure);
    }
}
