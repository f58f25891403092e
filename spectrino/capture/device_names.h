// Menu names for wave devices whose product names may repeat (two outputs of one card, two
// identical USB devices): the platform cuts product names to 31 characters, so distinct
// devices can share one.
#pragma once

#include <string>
#include <vector>

namespace spectrino {

inline constexpr size_t kMaxDeviceNameCharacters = 31;

// One name per device, in device order. The first device of each product name keeps it, so a
// name stored before stays with the device it always opened; every later one gets the lowest
// free " (2)", " (3)", ... with its name cut to fit 31 characters. `reserved` names (the wave
// mapper's) count as taken. Deterministic for a given list.
std::vector<std::string> DistinctDeviceNames(const std::vector<std::string>& names,
                                             const std::vector<std::string>& reserved);

}  // namespace spectrino
