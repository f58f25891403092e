#include "meter/capture_session.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "capture/wavein.h"
#include "framework/exception.h"
#include "framework/exception_handler.h"
#include "meter/band_meter.h"
#include "platform/termination.h"

namespace spectrino {
namespace {

constexpr uint32_t kBlockFrames = 2048;  // as the analyzer captures

}  // namespace

std::vector<std::string> CaptureDeviceNames() {
    TWaveIn wave;
    std::vector<std::string> names;
    const uint32_t count = wave.Count();
    for (uint32_t i = 0; i < count; ++i) {
        names.push_back(wave.DeviceName(static_cast<int>(i)));
    }
    return names;
}

void MeasureCapture(const MeterOptions& options, platform::EventLoop& loop, std::ostream& out) {
    TWaveIn wave;
    const uint32_t count = wave.Count();
    bool known = false;
    for (uint32_t i = 0; i < count && !known; ++i) {
        known = wave.DeviceName(static_cast<int>(i)) == options.device;
    }
    if (!known) {
        throw Exception("unknown capture device \"" + options.device +
                        "\" (spectrino-meter --list-devices shows them)");
    }

    const std::unique_ptr<LevelWriter> writer = MakeWriter(options.format, out);
    BandMeter meter(options.rate, options.settings, *writer);
    std::optional<uint64_t> limit;
    if (options.duration) {
        limit = static_cast<uint64_t>(std::llround(*options.duration * options.rate));
    }

    // Failures inside the component's notifications land here instead of in a message box.
    ExceptionCapture failures;
    std::optional<std::string> lost;
    wave.OnData = [&](TWaveIn& sender, const int16_t* frames) {
        size_t n = sender.BlockSize();
        if (limit) {
            n = static_cast<size_t>(std::min<uint64_t>(n, *limit - meter.Frames()));
        }
        meter.AddWaveFrames(frames, n);
        if (limit && meter.Frames() >= *limit) {
            loop.Quit();
        }
    };
    wave.OnDeviceLost = [&](TWaveIn&) {
        lost = "capture device \"" + options.device + "\" was lost";
        loop.Quit();
    };
    const platform::TerminationRequests termination([&loop] { loop.Quit(); });

    wave.SetChannels(2);
    wave.SetBlockSize(kBlockFrames);
    wave.SetSampleRate(options.rate);
    wave.SetCurrentDevice(options.device);
    wave.SetEnabled(true);  // raises when the device cannot be opened, before any output
    meter.Start();
    if (!limit || *limit > 0) {
        loop.Exec();
    }
    wave.SetEnabled(false);
    meter.Finish();
    if (lost) {
        throw Exception(*lost);
    }
    if (!failures.Messages().empty()) {
        throw Exception(failures.Messages().front());
    }
}

}  // namespace spectrino
