// The settings values one window started from, so that at exit it writes only what it changed
// over values another instance of the program has stored in the meantime.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace spectrino {

namespace platform {
class RegistryKey;
}

// One value of the settings key: missing (or of another type), a number or a text.
using TSettingValue = std::variant<std::monostate, uint32_t, std::string>;

struct TSetting {
    std::string Name;
    TSettingValue Value;
};
using TSettings = std::vector<TSetting>;

// The value stored under the name, read with the type `like` has.
TSettingValue ReadSetting(const platform::RegistryKey& key, const std::string& name,
                          const TSettingValue& like);
// False when the key refused it.
bool WriteSetting(platform::RegistryKey& key, const TSetting& setting);

class TSettingsBaseline {
public:
    // What was stored at start (names not listed were missing) and what the window held once
    // it had applied them.
    void Remember(TSettings stored, TSettings held);

    // Whether to write `current`, `storedNow` being what the key holds at this moment: not when
    // the window still holds what it started with while the stored value has changed since.
    // Without a start (nothing remembered) everything is written.
    bool ShouldWrite(const TSetting& current, const TSettingValue& storedNow) const;

private:
    bool remembered_ = false;
    TSettings stored_;
    TSettings held_;
};

}  // namespace spectrino
