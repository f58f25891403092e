// Band levels as a sound level meter measures them: frequency-weighted, optionally summed into
// third octaves, time-weighted, with a calibration offset, row by row or summed up at the end.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "meter/band_meter.h"
#include "meter/third_octaves.h"

namespace spectrino {

class MeasuredRows : public RowConsumer {
public:
    MeasuredRows(const BandTable& bands, float rate, double rowSeconds,
                 const MeterSettings& settings, LevelWriter& writer);

    void Start() override;
    void Row(double seconds, const BandResults& results) override;
    void Finish(bool) override;

    // What the columns hold, as IEC names them: "LAS", "LZeq", "LCFmax", with the offset when
    // one is given ("LAS+81.20"); empty when only third octaves were asked for.
    static std::string Label(const MeterSettings& settings, const std::string& statistic = "");

private:
    int32_t Level(double power) const;
    const std::vector<int32_t>& Levels(const std::vector<double>& powers);

    const MeterSettings settings_;
    const double rowSeconds_;
    LevelWriter& writer_;
    RowLayout layout_;
    std::vector<BandRange> columns_;  // the bands each column sums
    std::vector<double> gains_;       // power factor of the frequency weighting per column
    TimeAverager averager_;
    std::optional<LevelSummary> summary_;
    std::vector<double> powers_;
    std::vector<int32_t> levels_;
    std::vector<int32_t> maxima_;
    std::vector<int32_t> minima_;
    uint64_t rows_ = 0;
};

}  // namespace spectrino
