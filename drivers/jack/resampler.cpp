#include "resampler.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace spectrino::jack {

namespace {

// Flat to well above 20 kHz and cheap enough for the process thread.
constexpr int kConverter = SRC_SINC_MEDIUM_QUALITY;

}  // namespace

Resampler::Resampler(int channels, double fromRate, double toRate, int32_t maxPush, int32_t queued)
    : channels_(std::max(channels, 1)), ratio_(toRate / fromRate), maxPush_(maxPush) {
    int error = 0;
    state_ = src_new(kConverter, channels_, &error);
    if (state_ == nullptr) {
        return;
    }
    // What one push can give beyond its share, and what waits besides.
    capacity_ = queued + static_cast<int32_t>(std::ceil(maxPush * ratio_)) + 64;
    pushed_.assign(static_cast<std::size_t>(maxPush_) * static_cast<std::size_t>(channels_), 0.0f);
    queue_.assign(static_cast<std::size_t>(capacity_) * static_cast<std::size_t>(channels_), 0.0f);
    delay_ = MeasureDelay();
}

Resampler::~Resampler() {
    if (state_ != nullptr) {
        src_delete(state_);
    }
}

int32_t Resampler::MeasureDelay() const {
    // The converter keeps its output in step with its input but holds back what its filter
    // still needs to look ahead at: after a run of input, that many frames are missing from the
    // output, and each frame comes out that much later than it went in.
    int error = 0;
    SRC_STATE* probe = src_new(kConverter, 1, &error);
    if (probe == nullptr) {
        return 0;
    }
    const int32_t length = 8192;
    std::vector<float> in(static_cast<std::size_t>(length), 0.0f);
    std::vector<float> out(static_cast<std::size_t>(std::ceil(length * ratio_)) + 64, 0.0f);
    SRC_DATA data{};
    data.data_in = in.data();
    data.input_frames = length;
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio_;
    src_process(probe, &data);
    src_delete(probe);
    return static_cast<int32_t>(std::lround(data.input_frames_used * ratio_)) -
           static_cast<int32_t>(data.output_frames_gen);
}

void Resampler::Push(const float* const* planes, int32_t frames) {
    if (state_ == nullptr || frames <= 0) {
        return;
    }
    frames = std::min(frames, maxPush_);
    const auto count = static_cast<std::size_t>(channels_);
    for (std::size_t c = 0; c < count; ++c) {
        const float* plane = planes[c];
        for (std::size_t i = 0; i < static_cast<std::size_t>(frames); ++i) {
            pushed_[i * count + c] = plane != nullptr ? plane[i] : 0.0f;
        }
    }
    SRC_DATA data{};
    data.data_in = pushed_.data();
    data.input_frames = frames;
    data.src_ratio = ratio_;
    while (data.input_frames > 0 && queued_ < capacity_) {
        data.data_out = queue_.data() + static_cast<std::size_t>(queued_) * count;
        data.output_frames = capacity_ - queued_;
        if (src_process(state_, &data) != 0) {
            return;
        }
        queued_ += static_cast<int32_t>(data.output_frames_gen);
        data.data_in += data.input_frames_used * static_cast<long>(count);
        data.input_frames -= data.input_frames_used;
        if (data.input_frames_used == 0 && data.output_frames_gen == 0) {
            break;
        }
    }
}

void Resampler::PushSilence(int32_t frames) {
    frames = std::min(frames, capacity_ - queued_);
    const auto count = static_cast<std::size_t>(channels_);
    std::fill_n(queue_.begin() + static_cast<std::ptrdiff_t>(queued_ * count),
                static_cast<std::size_t>(frames) * count, 0.0f);
    queued_ += frames;
}

void Resampler::Pop(float* const* planes, int32_t frames) {
    frames = std::clamp(frames, 0, queued_);
    const auto count = static_cast<std::size_t>(channels_);
    for (std::size_t c = 0; c < count; ++c) {
        float* plane = planes[c];
        if (plane == nullptr) {
            continue;
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(frames); ++i) {
            plane[i] = queue_[i * count + c];
        }
    }
    std::memmove(queue_.data(), queue_.data() + static_cast<std::size_t>(frames) * count,
                 static_cast<std::size_t>(queued_ - frames) * count * sizeof(float));
    queued_ -= frames;
}

}  // namespace spectrino::jack
