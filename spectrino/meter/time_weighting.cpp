#include "meter/time_weighting.h"

#include <algorithm>
#include <cmath>

namespace spectrino {

double TimeConstant(TimeWeighting weighting) {
    switch (weighting) {
        case TimeWeighting::Fast:
            return 0.125;
        case TimeWeighting::Slow:
            return 1.0;
        case TimeWeighting::None:
        case TimeWeighting::Leq:
            break;
    }
    return 0.0;
}

TimeAverager::TimeAverager(TimeWeighting weighting, double rowSeconds, size_t columns)
    : weighting_(weighting),
      // The exact decay of the exponential over one row, so levels fall at 10 log10(e) / tau dB
      // per second whatever the row length.
      keep_(TimeConstant(weighting) > 0 ? std::exp(-rowSeconds / TimeConstant(weighting)) : 0.0),
      state_(columns, 0.0),
      out_(columns, 0.0) {}

const std::vector<double>& TimeAverager::Update(const std::vector<double>& powers) {
    ++rows_;
    switch (weighting_) {
        case TimeWeighting::None:
            return powers;
        case TimeWeighting::Leq:
            for (size_t i = 0; i < state_.size(); ++i) {
                state_[i] += powers[i];
                out_[i] = state_[i] / static_cast<double>(rows_);
            }
            return out_;
        case TimeWeighting::Fast:
        case TimeWeighting::Slow:
            break;
    }
    if (rows_ == 1) {
        state_ = powers;
    } else {
        for (size_t i = 0; i < state_.size(); ++i) {
            state_[i] = keep_ * state_[i] + (1.0 - keep_) * powers[i];
        }
    }
    return state_;
}

LevelSummary::LevelSummary(size_t columns)
    : sum_(columns, 0.0), max_(columns, 0.0), min_(columns, 0.0) {}

void LevelSummary::Add(const std::vector<double>& powers, const std::vector<double>& shown) {
    for (size_t i = 0; i < sum_.size(); ++i) {
        sum_[i] += powers[i];
        max_[i] = rows_ == 0 ? shown[i] : std::max(max_[i], shown[i]);
        min_[i] = rows_ == 0 ? shown[i] : std::min(min_[i], shown[i]);
    }
    ++rows_;
}

std::vector<double> LevelSummary::Equivalent() const {
    std::vector<double> mean(sum_.size(), 0.0);
    if (rows_ > 0) {
        for (size_t i = 0; i < sum_.size(); ++i) {
            mean[i] = sum_[i] / static_cast<double>(rows_);
        }
    }
    return mean;
}

}  // namespace spectrino
