// A private registry for each test of a driver, with the driver registered in it, and the
// driver's settings in the user's part.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace spectrino::testing {

struct DriverUnderTest {
    const char* classId;
    const char* name;
    const char* file;
    const char* settingsKey;  // below HKEY_CURRENT_USER
};

class DriverRegistryTest : public ::testing::Test {
protected:
    explicit DriverRegistryTest(const DriverUnderTest& driver) : driver_(driver) {}

    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "spectrino-driver-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        setenv("SPECTRINO_REGISTRY_DIR", dir_.c_str(), 1);
        Write(platform::RootKey::ClassesRoot,
              std::string("CLSID\\") + driver_.classId + "\\InprocServer32", "", driver_.file);
        Write(platform::RootKey::LocalMachine, std::string("software\\asio\\") + driver_.name,
              "clsid", driver_.classId);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    static void Write(platform::RootKey root, const std::string& key, const std::string& name,
                      const std::string& value) {
        auto opened = platform::RegistryKey::Open(root, key, platform::Access::ReadWrite);
        ASSERT_TRUE(opened);
        ASSERT_TRUE(opened->WriteString(name, value));
        ASSERT_TRUE(opened->Close());
    }
    void Set(const std::string& name, const std::string& value) const {
        Write(platform::RootKey::CurrentUser, driver_.settingsKey, name, value);
    }
    std::optional<uint32_t> StoredNumber(const std::string& name) const {
        const auto key = platform::RegistryKey::Open(platform::RootKey::CurrentUser,
                                                     driver_.settingsKey, platform::Access::Read);
        return key ? key->ReadInteger(name) : std::nullopt;
    }

    std::filesystem::path dir_;

private:
    DriverUnderTest driver_;
};

}  // namespace spectrino::testing
