// Sample-rate conversion of several channels at once, with a queue of converted frames that
// the caller takes from in blocks of its own size. Everything is allocated up front, so the
// JACK process thread can push and pop without allocating or locking.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct SRC_STATE_tag;

namespace spectrino::jack {

class Resampler {
public:
    // Converts from `fromRate` to `toRate`; no push may carry more than `maxPush` frames, and
    // at most `queued` converted frames wait to be taken.
    Resampler(int channels, double fromRate, double toRate, int32_t maxPush, int32_t queued);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // False when the converter could not be made.
    bool Valid() const { return state_ != nullptr; }
    // Converts `frames` frames, one plane per channel (a null plane is silence). Converted
    // frames that do not fit the queue are dropped.
    void Push(const float* const* planes, int32_t frames);
    // Queues `frames` frames of silence as if converted (to run ahead of a consumer).
    void PushSilence(int32_t frames);
    int32_t Queued() const { return queued_; }
    // Takes `frames` frames (at most Queued()) into the planes; null planes are skipped.
    void Pop(float* const* planes, int32_t frames);
    // How many output frames an impulse comes out later than it went in.
    int32_t Delay() const { return delay_; }

private:
    int32_t MeasureDelay() const;

    int channels_;
    double ratio_;
    int32_t maxPush_;
    SRC_STATE_tag* state_ = nullptr;
    std::vector<float> pushed_;  // interleaved input of one push
    std::vector<float> queue_;   // interleaved converted frames
    int32_t capacity_ = 0;
    int32_t queued_ = 0;
    int32_t delay_ = 0;
};

}  // namespace spectrino::jack
