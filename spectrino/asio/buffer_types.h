// Per-channel sample buffers that the ASIO host lends to its buffer-switch events.
#pragma once

#include <vector>

namespace spectrino {

using TSingleDynArray = std::vector<float>;
using TDoubleDynArray = std::vector<double>;
// Indexed by channel number; every channel holds BufferSize samples.
using TQorArrayOfSingleDynArray = std::vector<TSingleDynArray>;
using TQorArrayOfDoubleDynArray = std::vector<TDoubleDynArray>;

}  // namespace spectrino
