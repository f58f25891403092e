// Measures a live capture device through the analyzer's wave input component, which delivers
// its buffers through the event loop of the calling thread.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "meter/meter_options.h"
#include "platform/event_loop.h"

namespace spectrino {

// The names of the capture devices, "WaveMapper" first.
std::vector<std::string> CaptureDeviceNames();

// Runs until the duration is reached, a termination request (Ctrl+C) arrives or the device is
// lost. Raises Exception for an unknown device or one that cannot be opened, and for a device
// lost while recording; rows written until then stay whole.
void MeasureCapture(const MeterOptions& options, platform::EventLoop& loop, std::ostream& out);

}  // namespace spectrino
