// The double buffers a driver keeps for the channels the host asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "asio/asio_records.h"

namespace spectrino::drivers {

struct ChannelBuffer {
    bool isInput = false;
    int32_t channel = 0;
    std::unique_ptr<std::byte[]> halves[2];

    template <typename Sample>
    Sample* Half(int half) const {
        return reinterpret_cast<Sample*>(halves[half].get());
    }
};

// One entry per record, each half `bytes` long and zeroed; the records get the halves.
std::vector<ChannelBuffer> MakeChannelBuffers(ASIOBufferInfo* infos, int32_t count,
                                              std::size_t bytes);
// The buffer of a channel, or null when the host did not ask for that channel.
const ChannelBuffer* FindChannelBuffer(const std::vector<ChannelBuffer>& buffers, bool isInput,
                                       int32_t channel);

}  // namespace spectrino::drivers
