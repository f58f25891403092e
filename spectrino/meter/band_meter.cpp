#include "meter/band_meter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/bandlevel.h"
#include "core/input_routing.h"

namespace spectrino {
namespace {

// Samples far beyond full scale give results beyond single precision, which the analyzer's
// conversion narrows to infinity and shows as the floor; here they read as the level they are.
int32_t MeterLevel(double result) {
    if (!std::isfinite(result) || result <= std::numeric_limits<float>::max()) {
        return BandLevel(result);
    }
    const long double y = 1000.0L * std::log10(static_cast<long double>(result) / 0.04L);
    // As BandLevel rounds: y - 0.5 to the nearest integer, ties to even.
    return static_cast<int32_t>(std::nearbyint(static_cast<double>(y) - 0.5));
}

}  // namespace

BandMeter::BandMeter(uint32_t sampleRate, const MeterSettings& settings, LevelWriter& writer)
    : settings_(settings),
      samplesPerRefresh_(sampleRate * kRefreshMs / 1000),
      bands_(ComputeBands(static_cast<float>(sampleRate))),
      writer_(writer),
      bank_(std::make_unique<TGoertzel>(static_cast<int32_t>(sampleRate))) {
    for (int i = 0; i < kBandCount; ++i) {
        float centre = 0;
        float width = 0;
        bands_.GetBand(i, centre, width);
        bank_->AddBin(centre, width);
    }
    bank_->SetWindowing(settings_.windowType);
    if (settings_.peakDisplay) {
        tracker_.emplace();
        tracker_->SetPeakDisplay(*settings_.peakDisplay);
        tracker_->SetDecaySpeed(settings_.decaySpeed);
    }
}

void BandMeter::Start() {
    writer_.Header(bands_, tracker_.has_value());
}

void BandMeter::AddChannels(const float* left, const float* right, size_t count) {
    mono_.resize(std::max(mono_.size(), count));
    MixChannels(left, right, count, settings_.inputMode, mono_.data());
    AddMono(mono_.data(), count);
}

void BandMeter::AddWaveFrames(const int16_t* frames, size_t count) {
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
        levels_[static_cast<size_t>(i)] = MeterLevel(bank_->GetResult(i));
    }
    ++rows_;
    const double seconds = static_cast<double>(rows_ * kRefreshMs) / 1000.0;
    if (tracker_) {
        tracker_->Update(levels_, false);
        writer_.Row(seconds, tracker_->Levels(), &tracker_->Peaks());
    } else {
        writer_.Row(seconds, levels_, nullptr);
    }
}

}  // namespace spectrino
