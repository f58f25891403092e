#include "common/channel_buffers.h"

namespace spectrino::drivers {

std::vector<ChannelBuffer> MakeChannelBuffers(ASIOBufferInfo* infos, int32_t count,
                                              std::size_t bytes) {
    std::vector<ChannelBuffer> buffers(static_cast<std::size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        ChannelBuffer& buffer = buffers[static_cast<std::size_t>(i)];
        buffer.isInput = infos[i].isInput != ASIOFalse;
        buffer.channel = infos[i].channelNum;
        for (int half = 0; half < 2; ++half) {
            buffer.halves[half] = std::make_unique<std::byte[]>(bytes);
            infos[i].buffers[half] = buffer.halves[half].get();
        }
    }
    return buffers;
}

const ChannelBuffer* FindChannelBuffer(const std::vector<ChannelBuffer>& buffers, bool isInput,
                                       int32_t channel) {
    for (const ChannelBuffer& buffer : buffers) {
        if (buffer.isInput == isInput && buffer.channel == channel) {
            return &buffer;
        }
    }
    return nullptr;
}

}  // namespace spectrino::drivers
