// Time weighting of band powers, one update per row of stream time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace spectrino {

enum class TimeWeighting : uint8_t {
    None,  // each row's own power
    Fast,  // exponential, time constant 125 ms
    Slow,  // exponential, time constant 1 s
    Leq,   // the mean power from the start
};

// Seconds of the exponential time constant of Fast and Slow; 0 for the others.
double TimeConstant(TimeWeighting weighting);

class TimeAverager {
public:
    TimeAverager(TimeWeighting weighting, double rowSeconds, size_t columns);

    // Takes one row of powers and returns the weighted powers after it. The exponential starts
    // settled on the first row, so a stream that begins steady reads steady from the start.
    const std::vector<double>& Update(const std::vector<double>& powers);

private:
    const TimeWeighting weighting_;
    const double keep_;  // the part of the old power left after one row
    std::vector<double> state_;
    std::vector<double> out_;
    uint64_t rows_ = 0;
};

// Leq, maximum and minimum of each column over a whole run.
class LevelSummary {
public:
    explicit LevelSummary(size_t columns);

    // `powers` are the rows' own powers, which the equivalent level averages; `shown` what the
    // time weighting made of them, whose extremes are the maximum and minimum.
    void Add(const std::vector<double>& powers, const std::vector<double>& shown);

    uint64_t Rows() const { return rows_; }
    // Powers, all 0 before the first row.
    std::vector<double> Equivalent() const;
    const std::vector<double>& Maximum() const { return max_; }
    const std::vector<double>& Minimum() const { return min_; }

private:
    std::vector<double> sum_;
    std::vector<double> max_;
    std::vector<double> min_;
    uint64_t rows_ = 0;
};

}  // namespace spectrino
