#include "meter/level_rows.h"

#include "meter/meter_level.h"

namespace spectrino {

LevelRows::LevelRows(const BandTable& bands, const MeterSettings& settings, LevelWriter& writer)
    : bands_(bands), writer_(writer) {
    if (settings.peakDisplay) {
        tracker_.emplace();
        tracker_->SetPeakDisplay(*settings.peakDisplay);
        tracker_->SetDecaySpeed(settings.decaySpeed);
    }
}

void LevelRows::Start() {
    writer_.Header(bands_, tracker_.has_value());
}

void LevelRows::Row(double seconds, const BandResults& results) {
    for (size_t i = 0; i < results.size(); ++i) {
        levels_[i] = MeterLevel(results[i]);
    }
    if (tracker_) {
        tracker_->Update(levels_, false);
        writer_.Row(seconds, tracker_->Levels(), &tracker_->Peaks());
    } else {
        writer_.Row(seconds, levels_, nullptr);
    }
}

}  // namespace spectrino
