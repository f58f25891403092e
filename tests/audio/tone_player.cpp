#include <pulse/simple.h>

#include "wavein_support.h"

namespace spectrino_test {

TonePlayer::TonePlayer(std::string sink, double frequency)
    : thread_([this, sink = std::move(sink), frequency] { Play(sink, frequency); }) {}

TonePlayer::~TonePlayer() {
    stop_ = true;
    thread_.join();
}

void TonePlayer::Play(const std::string& sink, double frequency) {
    constexpr uint32_t kRate = 44100;
    const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 2};
    // A short target length keeps the tone close behind the writes.
    const pa_buffer_attr attributes{static_cast<uint32_t>(-1), kRate / 10 * 4,
                                    static_cast<uint32_t>(-1), static_cast<uint32_t>(-1),
                                    static_cast<uint32_t>(-1)};
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "spectrino-test", PA_STREAM_PLAYBACK, sink.c_str(),
                                      "tone", &spec, nullptr, &attributes, &error);
    if (stream == nullptr) {
        failed_ = true;
        return;
    }
    std::vector<int16_t> chunk(2 * 441);
    uint64_t n = 0;
    while (!stop_) {
        for (size_t i = 0; i < chunk.size(); i += 2, ++n) {
            const double phase = 2 * std::numbers::pi * frequency * static_cast<double>(n) / kRate;
            chunk[i] = chunk[i + 1] = static_cast<int16_t>(8000 * std::sin(phase));
        }
        if (pa_simple_write(stream, chunk.data(), chunk.size() * sizeof(int16_t), &error) < 0) {
            failed_ = true;
            break;
        }
    }
    pa_simple_free(stream);
}

}  // namespace spectrino_test
