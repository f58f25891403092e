// Private registry hives per test, registration of (test-signal) drivers in them, and waiting
// for things that happen on the driver's thread or through the host's event queue.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/com.h"
#include "platform/event_loop.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "test_environment.h"
#include "wait_for.h"

namespace spectrino::testing {

using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

// The class ids tests give their drivers: all served by the test-signal file, each with its
// own settings key.
inline platform::GUID TestClassId(uint32_t n) {
    return platform::GUID{0x8D2E6A51, 0x3F7C, 0x4E19, {0xB6, 0xA2, 0, 0, 0, 0, 0, uint8_t(n)}};
}

// A file of the build. On Windows the test programs run beside the DLLs, and the path the
// build knows is of no use there (Wine sees the build tree under a drive letter of its own).
inline std::string BuiltFile(const char* path) {
#if defined(_WIN32)
    return (std::filesystem::path(platform::ProgramFilePath()).parent_path() /
            std::filesystem::path(path).filename())
        .string();
#else
    return path;
#endif
}

inline std::string TestSignalPath() {
    return BuiltFile(SPECTRINO_TESTSIGNAL_PATH);
}

// A library that is no in-process server.
inline std::string NotAServerPath() {
    return BuiltFile(SPECTRINO_NOT_A_SERVER_PATH);
}

// The keys tests write. On Linux they live in hives of each test's own; Windows has one real
// registry, so they are deleted before and after every test.
inline void DeleteTestKeys() {
    using platform::DeleteRegistryKey;
    ASSERT_TRUE(DeleteRegistryKey(RootKey::LocalMachine, "software\\asio"));
    ASSERT_TRUE(DeleteRegistryKey(RootKey::LocalMachine, "software\\Spectrino\\Test Signal"));
    ASSERT_TRUE(DeleteRegistryKey(RootKey::ClassesRoot, "CLSID\\not-a-clsid"));
    ASSERT_TRUE(DeleteRegistryKey(RootKey::ClassesRoot, "Spectrino.TestProgId"));
    for (uint32_t n = 0; n < 16; ++n) {
        ASSERT_TRUE(DeleteRegistryKey(RootKey::ClassesRoot,
                                      "CLSID\\" + platform::GUIDToString(TestClassId(n))));
    }
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::MakeTempDirectory("spectrino-asio");
        test::SetEnv("SPECTRINO_REGISTRY_DIR", (dir_ / "registry").string());
        std::filesystem::create_directories(dir_ / "registry");
        test::UnsetEnv("SPECTRINO_SYSTEM_DIR");
        test::UnsetEnv("SPECTRINO_WINDOWS_DIR");
        DeleteTestKeys();
    }
    void TearDown() override {
        DeleteTestKeys();
        test::UnsetEnv("SPECTRINO_SYSTEM_DIR");
        test::UnsetEnv("SPECTRINO_WINDOWS_DIR");
        std::error_code error;
        std::filesystem::remove_all(dir_, error);
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

}  // namespace spectrino::testing
