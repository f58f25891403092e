// Work that may hang inside a device or a sound server that went away.
#pragma once

#include <chrono>
#include <functional>

namespace spectrino::drivers {

// Runs `work` on a thread of its own for at most `limit`; work that is still running then is
// left to finish (or hang) by itself, owning everything it uses. The file stays loaded for it.
void RunBounded(std::function<void()> work, std::chrono::milliseconds limit);

}  // namespace spectrino::drivers
