// The band levels as the analyzer reads them, or as its bar graph shows them with peaks.
#pragma once

#include <optional>

#include "meter/band_meter.h"

namespace spectrino {

class LevelRows : public RowConsumer {
public:
    LevelRows(const BandTable& bands, const MeterSettings& settings, LevelWriter& writer);

    void Start() override;
    void Row(double seconds, const BandResults& results) override;
    void Finish(bool) override {}

private:
    const BandTable& bands_;
    LevelWriter& writer_;
    std::optional<LevelTracker> tracker_;
    TSpectArray levels_{};
};

}  // namespace spectrino
