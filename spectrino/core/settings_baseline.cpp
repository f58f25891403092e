#include "core/settings_baseline.h"

#include <algorithm>

#include "platform/registry.h"

namespace spectrino {
namespace {

const TSettingValue* Find(const TSettings& settings, const std::string& name) {
    const auto it = std::find_if(settings.begin(), settings.end(),
                                 [&](const TSetting& s) { return s.Name == name; });
    return it != settings.end() ? &it->Value : nullptr;
}

}  // namespace

TSettingValue ReadSetting(const platform::RegistryKey& key, const std::string& name,
                          const TSettingValue& like) {
    if (std::holds_alternative<std::string>(like)) {
        if (auto text = key.ReadString(name)) {
            return *text;
        }
    } else if (auto number = key.ReadInteger(name)) {
        return *number;
    }
    return std::monostate{};
}

bool WriteSetting(platform::RegistryKey& key, const TSetting& setting) {
    if (const auto* text = std::get_if<std::string>(&setting.Value)) {
        return key.WriteString(setting.Name, *text);
    }
    if (const auto* number = std::get_if<uint32_t>(&setting.Value)) {
        return key.WriteInteger(setting.Name, *number);
    }
    return true;  // nothing to write
}

void TSettingsBaseline::Remember(TSettings stored, TSettings held) {
    remembered_ = true;
    stored_ = std::move(stored);
    held_ = std::move(held);
}

bool TSettingsBaseline::ShouldWrite(const TSetting& current, const TSettingValue& storedNow) const {
    const TSettingValue* held = Find(held_, current.Name);
    if (!remembered_ || held == nullptr || *held != current.Value) {
        return true;
    }
    const TSettingValue* stored = Find(stored_, current.Name);
    return storedNow == (stored != nullptr ? *stored : TSettingValue{});
}

}  // namespace spectrino
