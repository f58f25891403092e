#include "meter/band_meter.h"

#include <algorithm>
#include <cmath>

#include "meter/calibration.h"
#include "meter/level_rows.h"
#include "meter/measured_rows.h"

namespace spectrino {
namespace {

// A calibrator recording must stay clear of full scale: a 16-bit sample at either end, or any
// float at or beyond it, counts as clipped.
constexpr float kClipLevel = 32767.0f / 32768.0f;

bool Clipped(const float* samples, size_t count) {
    return std::any_of(samples, samples + count,
                       [](float s) { return !(std::fabs(s) < kClipLevel); });
}

std::unique_ptr<RowConsumer> MakeRows(uint32_t sampleRate, const MeterSettings& settings,
                                      const BandTable& bands, LevelWriter& writer) {
    const double rowSeconds = BandMeter::kRefreshMs / 1000.0;
    if (settings.calibrate) {
        return std::make_unique<Calibration>(bands, *settings.calibrate, writer);
    }
    if (settings.Measuring()) {
        return std::make_unique<MeasuredRows>(bands, static_cast<float>(sampleRate), rowSeconds,
                                              settings, writer);
    }
    return std::make_unique<LevelRows>(bands, settings, writer);
}

}  // namespace

BandMeter::BandMeter(uint32_t sampleRate, const MeterSettings& settings, LevelWriter& writer)
    : settings_(settings),
      samplesPerRefresh_(sampleRate * kRefreshMs / 1000),
      bands_(ComputeBands(static_cast<float>(sampleRate))),
      writer_(writer),
      bank_(std::make_unique<TGoertzel>(static_cast<int32_t>(sampleRate))),
      consumer_(MakeRows(sampleRate, settings, bands_, writer)) {
    for (int i = 0; i < kBandCount; ++i) {
        float centre = 0;
        float width = 0;
        bands_.GetBand(i, centre, width);
        bank_->AddBin(centre, width);
    }
    bank_->SetWindowing(settings_.windowType);
}

BandMeter::~BandMeter() = default;

void BandMeter::Start() {
    consumer_->Start();
}

void BandMeter::Finish() {
    consumer_->Finish(clipped_);
    writer_.Flush();
}

void BandMeter::AddChannels(const float* left, const float* right, size_t count) {
    if (settings_.calibrate && !clipped_) {
        clipped_ = (UsesLeft() && Clipped(left, count)) || (UsesRight() && Clipped(right, count));
    }
    mono_.resize(std::max(mono_.size(), count));
    MixChannels(left, right, count, settings_.inputMode, mono_.data());
    AddMono(mono_.data(), count);
}

void BandMeter::AddWaveFrames(const int16_t* frames, size_t count) {
    if (settings_.calibrate && !clipped_) {
        for (size_t i = 0; i < count && !clipped_; ++i) {
            for (const size_t channel : {size_t{0}, size_t{1}}) {
                const int16_t s = frames[2 * i + channel];
                const bool used = channel == 0 ? UsesLeft() : UsesRight();
                clipped_ = clipped_ || (used && (s == INT16_MAX || s == INT16_MIN));
            }
        }
    }
    mono_.resize(std::max(mono_.size(), count));
    MixWaveFrames(frames, count, settings_.inputMode, mono_.data());
    AddMono(mono_.data(), count);
}

void BandMeter::AddMono(const float* samples, size_t count) {
    while (count > 0) {
        const size_t n = std::min<size_t>(count, samplesPerRefresh_ - sinceRefresh_);
        bank_->AddSamples(samples, static_cast<int32_t>(n));
        samples += n;
        count -= n;
        frames_ += n;
        sinceRefresh_ += static_cast<uint32_t>(n);
        if (sinceRefresh_ == samplesPerRefresh_) {
            sinceRefresh_ = 0;
            EmitRow();
        }
    }
}

void BandMeter::EmitRow() {
    for (int i = 0; i < kBandCount; ++i) {
        results_[static_cast<size_t>(i)] = bank_->GetResult(i);
    }
    ++rows_;
    consumer_->Row(static_cast<double>(rows_ * kRefreshMs) / 1000.0, results_);
}

}  // namespace spectrino
