// What the ALSA driver opens, kept in the user's registry key so the control panel can change it
// without write access to the machine hives.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com.h"

namespace spectrino::alsa {

// {3B9C27E4-6A1D-4F58-9E03-7D2C5B8A41F6}
inline constexpr platform::CLSID kClassId{
    0x3B9C27E4, 0x6A1D, 0x4F58, {0x9E, 0x03, 0x7D, 0x2C, 0x5B, 0x8A, 0x41, 0xF6}};

inline constexpr const char* kDriverName = "Spectrino ALSA";
// Below HKEY_CURRENT_USER.
inline constexpr const char* kSettingsKey = "Software\\Spectrino\\ALSA";

inline constexpr int32_t kMinPeriodSize = 32;
inline constexpr int32_t kMaxPeriodSize = 8192;
inline constexpr int32_t kMinPeriods = 2;
inline constexpr int32_t kMaxPeriods = 16;

struct Settings {
    std::string device = "default";  // an ALSA PCM name, used for capture and playback
    int32_t periodSize = 512;        // frames per period, which is one ASIO buffer half
    int32_t periods = 3;             // periods in the ALSA ring buffer
    bool playback = true;            // also open the PCM for playback (the outputs)
    double sampleRate = 44100.0;     // the rate the driver starts with
    int32_t stallOnceMs = 0;         // testing aid: the streaming thread sleeps this long once

    bool operator==(const Settings&) const = default;
};

// Reads the settings; missing or out-of-range values keep their defaults (sizes are clamped).
Settings ReadSettings();
// Stores the values the control panel offers (device, period size, periods).
bool WriteSettings(const Settings& settings);

}  // namespace spectrino::alsa
