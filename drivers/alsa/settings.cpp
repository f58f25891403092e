#include "settings.h"

#include <algorithm>

#include "common/settings_values.h"
#include "platform/registry.h"

namespace spectrino::alsa {

using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

using drivers::ReadNumber;

Settings ReadSettings() {
    Settings settings;
    const auto key = RegistryKey::Open(RootKey::CurrentUser, kSettingsKey, Access::Read);
    if (!key) {
        return settings;
    }
    if (const auto device = key->ReadString("Device"); device && !device->empty()) {
        settings.device = *device;
    }
    if (const auto size = ReadNumber(*key, "PeriodSize")) {
        settings.periodSize = std::clamp(*size, kMinPeriodSize, kMaxPeriodSize);
    }
    if (const auto periods = ReadNumber(*key, "Periods")) {
        settings.periods = std::clamp(*periods, kMinPeriods, kMaxPeriods);
    }
    if (const auto playback = ReadNumber(*key, "Playback")) {
        settings.playback = *playback != 0;
    }
    if (const auto rate = ReadNumber(*key, "SampleRate"); rate == 44100 || rate == 48000) {
        settings.sampleRate = *rate;
    }
    if (const auto stall = ReadNumber(*key, "StallOnceMs")) {
        settings.stallOnceMs = std::clamp(*stall, 0, 10000);
    }
    return settings;
}

bool WriteSettings(const Settings& settings) {
    auto key = RegistryKey::Open(RootKey::CurrentUser, kSettingsKey, Access::ReadWrite);
    return key && key->WriteString("Device", settings.device) &&
           key->WriteInteger("PeriodSize", static_cast<uint32_t>(settings.periodSize)) &&
           key->WriteInteger("Periods", static_cast<uint32_t>(settings.periods)) && key->Close();
}

}  // namespace spectrino::alsa
