#include "common/settings_values.h"

#include <exception>

namespace spectrino::drivers {

std::optional<int32_t> ReadNumber(const platform::RegistryKey& key, const std::string& name) {
    if (const auto number = key.ReadInteger(name)) {
        return static_cast<int32_t>(*number);
    }
    if (const auto text = key.ReadString(name)) {
        try {
            std::size_t used = 0;
            const int value = std::stoi(*text, &used);
            if (used == text->size()) {
                return value;
            }
        } catch (const std::exception&) {
        }
    }
    return std::nullopt;
}

}  // namespace spectrino::drivers
