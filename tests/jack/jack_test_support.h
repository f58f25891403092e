// A private registry with the JACK driver registered in it, and the JACK server the tests run
// against: its name comes from the environment the test runner set up.
#pragma once

#include <cstdlib>
#include <string>

#include "driver_registry_test.h"

namespace spectrino::jack_test {

inline constexpr const char* kClassId = "{6C1F4B2A-9D3E-4A75-8B60-2E7F1C9D5A83}";
inline constexpr const char* kSettingsKey = "Software\\Spectrino\\JACK";
inline constexpr const char* kDriver = "Spectrino JACK";

// The server the runner started (empty: the default one, as with an external server).
inline std::string ServerName() {
    const char* external = std::getenv("SPECTRINO_JACK_EXTERNAL");
    const char* name = std::getenv("SPECTRINO_JACK_SERVER");
    return (external != nullptr && *external != '\0') || name == nullptr ? "" : name;
}

class JackRegistryTest : public testing::DriverRegistryTest {
protected:
    JackRegistryTest()
        : DriverRegistryTest({kClassId, kDriver, SPECTRINO_JACK_PATH, kSettingsKey}) {}
    void SetUp() override {
        DriverRegistryTest::SetUp();
        Set("ServerName", ServerName());
    }
};

}  // namespace spectrino::jack_test
