// Which JACK server the driver joins and how it shows there, kept in the user's registry key so
// the control panel can change it without write access to the machine hives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com.h"

namespace spectrino::jack {

// {6C1F4B2A-9D3E-4A75-8B60-2E7F1C9D5A83}
inline constexpr platform::CLSID kClassId{
    0x6C1F4B2A, 0x9D3E, 0x4A75, {0x8B, 0x60, 0x2E, 0x7F, 0x1C, 0x9D, 0x5A, 0x83}};

inline constexpr const char* kDriverName = "Spectrino JACK";
// Below HKEY_CURRENT_USER.
inline constexpr const char* kSettingsKey = "Software\\Spectrino\\JACK";

inline constexpr int32_t kMaxChannels = 64;

struct Settings {
    std::string serverName;  // empty: the default server
    std::string clientName = "Spectrino";
    int32_t inputs = 2;
    int32_t outputs = 2;
    std::vector<std::string> connect;  // port to connect input n to, in order; none by default

    bool operator==(const Settings&) const = default;
};

// Reads the settings; missing or out-of-range values keep their defaults.
Settings ReadSettings();
bool WriteSettings(const Settings& settings);

// "a, b,,c" -> {"a", "b", "c"}.
std::vector<std::string> SplitPortList(const std::string& text);
std::string JoinPortList(const std::vector<std::string>& ports);

}  // namespace spectrino::jack
