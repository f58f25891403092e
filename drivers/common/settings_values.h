// Reading a driver's settings from its registry key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace spectrino::drivers {

// A whole number stored as a dword or as its decimal text.
std::optional<int32_t> ReadNumber(const platform::RegistryKey& key, const std::string& name);

}  // namespace spectrino::drivers
