// One selectable input: a wave capture device or a stereo pair of an ASIO driver's inputs.
#pragma once

#include <cstdint>
#include <string>

namespace spectrino {

struct TAudioDevice {
    TAudioDevice(bool isAsio, std::string caption, std::string deviceName, int32_t index)
        : IsASIO(isAsio),
          DeviceName(std::move(deviceName)),
          Caption(std::move(caption)),
          ASIOChannel(isAsio ? index : 0),
          WaveIndex(isAsio ? 0 : index) {}

    bool IsASIO;
    std::string DeviceName;  // what the capture component is given
    std::string Caption;     // menu text, stored setting and window caption
    int32_t ASIOChannel;     // left input of the pair (even)
    int32_t WaveIndex;       // position in the wave device list (0 is the mapper)
};

}  // namespace spectrino
