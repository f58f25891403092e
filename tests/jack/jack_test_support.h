// A private registry with the JACK driver registered in it, and the JACK server the tests run
// against: its name comes from the environment the test runner set up.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry.h"

namespace spectrino::jack_test {

using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

inline constexpr const char* kClassId = "{6C1F4B2A-9D3E-4A75-8B60-2E7F1C9D5A83}";
inline constexpr const char* kSettingsKey = "Software\\Spectrino\\JACK";
inline constexpr const char* kDriver = "Spectrino JACK";

// The server the runner started (empty: the default one, as with an external server).
inline std::string ServerName() {
    const char* external = std::getenv("SPECTRINO_JACK_EXTERNAL");
    const char* name = std::getenv("SPECTRINO_JACK_SERVER");
    return (external != nullptr && *external != '\0') || name == nullptr ? "" : name;
}

class JackRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "spectrino-jack-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        setenv("SPECTRINO_REGISTRY_DIR", dir_.c_str(), 1);
        Write(RootKey::ClassesRoot, std::string("CLSID\\") + kClassId + "\\InprocServer32", "",
              SPECTRINO_JACK_PATH);
        Write(RootKey::LocalMachine, std::string("software\\asio\\") + kDriver, "clsid", kClassId);
        Set("ServerName", ServerName());
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    static void Write(RootKey root, const std::string& key, const std::string& name,
                      const std::string& value) {
        auto opened = RegistryKey::Open(root, key, Access::ReadWrite);
        ASSERT_TRUE(opened);
        ASSERT_TRUE(opened->WriteString(name, value));
        ASSERT_TRUE(opened->Close());
    }
    static void Set(const std::string& name, const std::string& value) {
        Write(RootKey::CurrentUser, kSettingsKey, name, value);
    }

    std::filesystem::path dir_;
};

}  // namespace spectrino::jack_test
