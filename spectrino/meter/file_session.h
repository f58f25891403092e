// Measures a WAV file from start to end.
#pragma once

#include <ostream>

#include "meter/meter_options.h"
#include "meter/wav_reader.h"

namespace spectrino {

// Writes the header and one row per 80 ms of the stream to `out`. Everything that can be
// checked before the first row (header, format, filter bank) is, so a failure there leaves
// `out` untouched. Raises WavError or Exception.
void MeasureWav(WavReader& reader, const MeterSettings& settings, OutputFormat format,
                std::ostream& out);

}  // namespace spectrino
