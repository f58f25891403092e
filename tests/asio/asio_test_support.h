// Private registry hives per test, registration of (test-signal) drivers in them, and waiting
// for things that happen on the driver's thread or through the host's event queue.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/com.h"
#include "platform/registry.h"

namespace spectrino::testing {

using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

// The class ids tests give their drivers: all served by the test-signal file, each with its
// own settings key.
inline platform::GUID TestClassId(uint32_t n) {
    return platform::GUID{0x8D2E6A51, 0x3F7C, 0x4E19, {0xB6, 0xA2, 0, 0, 0, 0, 0, uint8_t(n)}};
}

inline std::string TestSignalPath() {
    return SPECTRINO_TESTSIGNAL_PATH;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "spectrino-asio-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        setenv("SPECTRINO_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
        std::filesystem::create_directories(dir_ / "registry");
        unsetenv("SPECTRINO_SYSTEM_DIR");
        unsetenv("SPECTRINO_WINDOWS_DIR");
    }
    void TearDown() override {
        unsetenv("SPECTRINO_SYSTEM_DIR");
        unsetenv("SPECTRINO_WINDOWS_DIR");
        std::filesystem::remove_all(dir_);
    }

    static void WriteString(RootKey root, const std::string& key, const std::string& name,
                            const std::string& value) {
        auto opened = RegistryKey::Open(root, key, Access::ReadWrite);
        ASSERT_TRUE(opened);
        ASSERT_TRUE(opened->WriteString(name, value));
        ASSERT_TRUE(opened->Close());
    }

    // A server file for a class id, and an ASIO entry naming it.
    static void RegisterServer(const std::string& clsid, const std::string& path) {
        WriteString(RootKey::ClassesRoot, "CLSID\\" + clsid + "\\InprocServer32", "", path);
    }
    static void ListDriver(const std::string& name, const std::string& clsid) {
        WriteString(RootKey::LocalMachine, "software\\asio\\" + name, "clsid", clsid);
    }

    static std::string SettingsKey(const platform::GUID& id) {
        return "software\\Spectrino\\Test Signal\\" + platform::GUIDToString(id);
    }

    // Lists a test-signal driver under `name`; `settings` are its registry values.
    static void AddTestSignal(
        const std::string& name, uint32_t n,
        std::initializer_list<std::pair<std::string, std::string>> settings = {}) {
        const platform::GUID id = TestClassId(n);
        RegisterServer(platform::GUIDToString(id), TestSignalPath());
        ListDriver(name, platform::GUIDToString(id));
        auto key = RegistryKey::Open(RootKey::LocalMachine, SettingsKey(id), Access::ReadWrite);
        ASSERT_TRUE(key);
        for (const auto& [value, text] : settings) {
            ASSERT_TRUE(key->WriteString(value, text));
        }
        ASSERT_TRUE(key->Close());
    }
    static void SetTestSignal(uint32_t n, const std::string& name, const std::string& text) {
        WriteString(RootKey::LocalMachine, SettingsKey(TestClassId(n)), name, text);
    }

    std::filesystem::path dir_;
};

// Polls `done`, processing the thread's events meanwhile; false after `timeout`.
inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace spectrino::testing
