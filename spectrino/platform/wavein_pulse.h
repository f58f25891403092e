// The wave-input calls over a PulseAudio server (every platform but Windows).
#pragma once

#include <memory>

#include "platform/wavein.h"

namespace spectrino::platform {

#if !defined(_WIN32)
// Every source of the server is one device, monitors included; the wave mapper is the
// server's default source. Connects lazily and reconnects after the server went away.
std::unique_ptr<WaveInService> MakePulseWaveIn();
#endif

}  // namespace spectrino::platform
