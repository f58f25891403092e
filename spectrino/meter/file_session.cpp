#include "meter/file_session.h"

#include <vector>

#include "meter/band_meter.h"

namespace spectrino {

void MeasureWav(WavReader& reader, const MeterSettings& settings, OutputFormat format,
                std::ostream& out) {
    constexpr size_t kFramesPerRead = 8192;
    const std::unique_ptr<LevelWriter> writer = MakeWriter(format, out);
    BandMeter meter(reader.Format().sampleRate, settings, *writer);
    std::vector<float> left(kFramesPerRead);
    std::vector<float> right(kFramesPerRead);
    meter.Start();
    while (const size_t frames = reader.ReadFrames(left.data(), right.data(), kFramesPerRead)) {
        meter.AddChannels(left.data(), right.data(), frames);
    }
    meter.Finish();
}

}  // namespace spectrino
