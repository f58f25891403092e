#include "meter/measured_rows.h"

#include <cmath>

#include "core/bandlevel.h"
#include "meter/meter_level.h"

namespace spectrino {
namespace {

std::vector<BandRange> Columns(float rate, bool thirdOctaves) {
    std::vector<BandRange> columns;
    if (thirdOctaves) {
        for (int n = 0; n < kThirdOctaveCount; ++n) {
            columns.push_back(ThirdOctaveBands(rate, n));
        }
    } else {
        for (int b = 0; b < kBandCount; ++b) {
            columns.push_back({b, b});
        }
    }
    return columns;
}

std::string TimeLetter(const MeterSettings& settings) {
    switch (settings.timeWeighting.value_or(TimeWeighting::None)) {
        case TimeWeighting::Fast:
            return "F";
        case TimeWeighting::Slow:
            return "S";
        case TimeWeighting::Leq:
        case TimeWeighting::None:
            break;
    }
    return "";
}

}  // namespace

std::string MeasuredRows::Label(const MeterSettings& settings, const std::string& statistic) {
    if (!settings.weighting && !settings.timeWeighting && !settings.offset && !settings.summary) {
        return "";
    }
    std::string label = "L";
    label += WeightingLetter(settings.weighting.value_or(FrequencyWeighting::Z));
    if (statistic == "eq") {
        label += "eq";
    } else {
        label += TimeLetter(settings);
        if (statistic.empty() && settings.timeWeighting == TimeWeighting::Leq) {
            label += "eq";
        }
        label += statistic;
    }
    if (settings.offset) {
        label += *settings.offset < 0 ? "" : "+";
        AppendLevel(label, *settings.offset);
    }
    return label;
}

MeasuredRows::MeasuredRows(const BandTable& bands, float rate, double rowSeconds,
                           const MeterSettings& settings, LevelWriter& writer)
    : settings_(settings),
      rowSeconds_(rowSeconds),
      writer_(writer),
      columns_(Columns(rate, settings.thirdOctaves)),
      averager_(settings.timeWeighting.value_or(TimeWeighting::None), rowSeconds, columns_.size()),
      powers_(columns_.size(), 0.0),
      levels_(columns_.size(), 0),
      maxima_(columns_.size(), 0),
      minima_(columns_.size(), 0) {
    const FrequencyWeighting weighting = settings.weighting.value_or(FrequencyWeighting::Z);
    for (size_t c = 0; c < columns_.size(); ++c) {
        // One correction per column, at its centre: a semitone band is narrow enough for that
        // (the A and C corrections change by at most 0.4 dB within half a semitone from 100 Hz
        // up), and a third octave is corrected at its nominal mid frequency, as third-octave
        // analyzers do.
        const float centre = settings.thirdOctaves ? SeperatorFrequencies[c] : bands.BandCentres[c];
        gains_.push_back(std::pow(10.0, WeightingDb(weighting, centre) / 10.0));
        layout_.columns.emplace_back();
        AppendFloat(layout_.columns.back(), centre);
    }
    if (settings.summary) {
        summary_.emplace(columns_.size());
        for (const char* statistic : {"eq", "max", "min"}) {
            const std::string label = Label(settings, statistic);
            layout_.groups.push_back({label, label + " "});
        }
    } else {
        const std::string label = Label(settings);
        layout_.groups.push_back(label.empty() ? RowLayout::Group{"levels", ""}
                                               : RowLayout::Group{label, label + " "});
    }
}

void MeasuredRows::Start() {
    writer_.Header(layout_);
}

void MeasuredRows::Row(double seconds, const BandResults& results) {
    for (size_t c = 0; c < columns_.size(); ++c) {
        double sum = 0;
        for (int b = columns_[c].first; b <= columns_[c].last; ++b) {
            sum += results[static_cast<size_t>(b)];
        }
        powers_[c] = sum * gains_[c];
    }
    const std::vector<double>& shown = averager_.Update(powers_);
    ++rows_;
    if (summary_) {
        summary_->Add(powers_, shown);
    } else {
        writer_.Row(seconds, {Levels(shown)});
    }
}

void MeasuredRows::Finish(bool) {
    if (!summary_) {
        return;
    }
    // Copies, since Levels reuses one buffer.
    maxima_ = Levels(summary_->Maximum());
    minima_ = Levels(summary_->Minimum());
    writer_.Row(static_cast<double>(rows_) * rowSeconds_,
                {Levels(summary_->Equivalent()), maxima_, minima_});
}

int32_t MeasuredRows::Level(double power) const {
    const int32_t level = MeterLevel(power);
    // Silence stays the floor: an offset would make it look like a measured level.
    return level == kFloorLevel ? level : level + settings_.offset.value_or(0);
}

const std::vector<int32_t>& MeasuredRows::Levels(const std::vector<double>& powers) {
    for (size_t c = 0; c < powers.size(); ++c) {
        levels_[c] = Level(powers[c]);
    }
    return levels_;
}

}  // namespace spectrino
