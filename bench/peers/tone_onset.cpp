// Plays a second of silence and then a sine into a sink of the sound server, and prints when
// the first sample of the sine is due at the sink, on the monotonic clock that the analyzer's
// latency probe uses: the time of writing it plus the playback latency ahead of it.
// Usage: tone_onset SINK [frequency, default 1000] [seconds of tone, default 3]
#include <pulse/error.h>
#include <pulse/simple.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kChunkFrames = 441;  // 10 ms

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct SimpleCloser {
    void operator()(pa_simple* s) const { pa_simple_free(s); }
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tone_onset SINK [frequency] [seconds]\n");
        return 2;
    }
    const double frequency = argc > 2 ? std::atof(argv[2]) : 1000.0;
    const double seconds = argc > 3 ? std::atof(argv[3]) : 3.0;
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kRate, 2};
    // A short buffer, so that what is written plays soon and the latency reported is small.
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = kChunkFrames * 2 * 2 * sizeof(float);
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(-1);
    int error = 0;
    const std::unique_ptr<pa_simple, SimpleCloser> stream(pa_simple_new(
        nullptr, "tone_onset", PA_STREAM_PLAYBACK, argv[1], "tone", &spec, nullptr, &attr, &error));
    if (!stream) {
        std::fprintf(stderr, "tone_onset: %s\n", pa_strerror(error));
        return 1;
    }
    std::vector<float> chunk(2 * kChunkFrames);
    const auto write = [&] {
        return pa_simple_write(stream.get(), chunk.data(), chunk.size() * sizeof(float), &error) ==
               0;
    };
    for (uint32_t i = 0; i < kRate / kChunkFrames; ++i) {
        if (!write()) {
            std::fprintf(stderr, "tone_onset: %s\n", pa_strerror(error));
            return 1;
        }
    }
    const auto tone_chunks = static_cast<uint64_t>(seconds * kRate / kChunkFrames);
    uint64_t frame = 0;
    for (uint64_t c = 0; c < tone_chunks; ++c) {
        for (uint32_t i = 0; i < kChunkFrames; ++i, ++frame) {
            const auto v = static_cast<float>(0.1 * std::sin(2 * std::numbers::pi * frequency *
                                                             static_cast<double>(frame) / kRate));
            chunk[2 * i] = v;
            chunk[2 * i + 1] = v;
        }
        if (c == 0) {
            // Everything written so far plays before the tone.
            const pa_usec_t ahead = pa_simple_get_latency(stream.get(), &error);
            const int64_t written = NowNs();
            std::printf("tone-onset: %lld\n",
                        static_cast<long long>(written + static_cast<int64_t>(ahead) * 1000));
            std::fflush(stdout);
        }
        if (!write()) {
            std::fprintf(stderr, "tone_onset: %s\n", pa_strerror(error));
            return 1;
        }
    }
    pa_simple_drain(stream.get(), &error);
    return 0;
}
