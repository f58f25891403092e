#include "DASIOGenerator.h"

#include <algorithm>

namespace spectrino {

void TASIOGenerator::ProcessBlock(TQorArrayOfSingleDynArray& buffers, bool /*output*/) {
    // BlockSize can be set to anything; a channel buffer is never written past its end.
    const std::size_t count = BlockSize();
    for (TSingleDynArray& channel : buffers) {
        std::fill_n(channel.begin(), std::min(count, channel.size()), 0.0f);
    }
}

}  // namespace spectrino
