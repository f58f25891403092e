#include "meter/calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/bandlevel.h"
#include "framework/exception.h"
#include "meter/meter_level.h"

namespace spectrino {
namespace {

std::string Db(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dB", value);
    return text;
}

std::string Hz(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f Hz", static_cast<double>(value));
    return text;
}

}  // namespace

Calibration::Calibration(const BandTable& bands, int32_t level, LevelWriter& writer)
    : bands_(bands), level_(level), writer_(writer) {}

void Calibration::Row(double seconds, const BandResults& results) {
    if (seconds <= kSettleSeconds) {
        return;
    }
    for (size_t b = 0; b < results.size(); ++b) {
        sum_[b] += results[b];
        max_[b] = rows_ == 0 ? results[b] : std::max(max_[b], results[b]);
        min_[b] = rows_ == 0 ? results[b] : std::min(min_[b], results[b]);
    }
    ++rows_;
}

void Calibration::Finish(bool inputClipped) {
    if (inputClipped) {
        throw Exception(
            "cannot calibrate: the input is clipped (it reaches full scale); record "
            "the calibrator with less gain");
    }
    if (rows_ < kMinimumRows) {
        throw Exception(
            "cannot calibrate: the input is too short; record at least 2 seconds of "
            "the calibrator's tone");
    }
    const auto rows = static_cast<double>(rows_);
    const size_t tone =
        static_cast<size_t>(std::max_element(sum_.begin(), sum_.end()) - sum_.begin());
    const double power = sum_[tone] / rows;
    const int32_t measured = MeterLevel(power);
    if (measured == kFloorLevel) {
        throw Exception("cannot calibrate: the input is silent");
    }
    double rest = 0;
    double far = 0;
    for (size_t b = 0; b < sum_.size(); ++b) {
        if (b + 2 < tone || b > tone + 2) {
            rest += sum_[b] / rows;
            far = std::max(far, sum_[b] / rows);
        }
    }
    const double restDb = 10 * std::log10(rest / power);
    const double farDb = 10 * std::log10(far / power);
    if (restDb > kMaximumRestDb || farDb > kMaximumOtherDb) {
        throw Exception(
            "cannot calibrate: the input holds no single dominant tone (against the "
            "loudest band, at " +
            Hz(bands_.BandCentres[tone]) +
            ", another band "
            "reads " +
            Db(farDb) + " and the rest of the spectrum " + Db(restDb) + ")");
    }
    const double swing =
        std::max(10 * std::log10(max_[tone] / power), -10 * std::log10(min_[tone] / power));
    if (!(swing <= kSteadyDb)) {
        throw Exception("cannot calibrate: the tone at " + Hz(bands_.BandCentres[tone]) +
                        " is not steady (its level swings by " + Db(swing) + ")");
    }
    writer_.Value("offset", level_ - measured);
}

}  // namespace spectrino
