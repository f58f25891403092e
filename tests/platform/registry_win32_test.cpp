// Value types of the Win32 registry that other programs write and ours must read: drivers
// register their server path as an expandable string as often as a plain one.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/registry.h"

namespace spectrino::platform {
namespace {

constexpr const char* kKey = "Software\\Spectrino Registry Win32 Test";

class Win32RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(DeleteRegistryKey(RootKey::CurrentUser, kKey));
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key_);
        EXPECT_TRUE(DeleteRegistryKey(RootKey::CurrentUser, kKey));
    }
    // Stores the text with its terminator, or without it as some writers do.
    void Set(const char* name, DWORD type, const std::string& text, bool terminated = true) {
        const DWORD size = static_cast<DWORD>(text.size() + (terminated ? 1 : 0));
        ASSERT_EQ(
            RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()), size),
            ERROR_SUCCESS);
    }

    HKEY key_ = nullptr;
};

TEST_F(Win32RegistryTest, ExpandableStringsReadWithTheirVariablesExpanded) {
    ASSERT_TRUE(SetEnvironmentVariableA("SPECTRINO_DRIVER_DIR", "C:\\Drivers"));
    ASSERT_TRUE(SetEnvironmentVariableA("SPECTRINO_NOT_SET", nullptr));
    const std::string long_value(3000, 'l');
    ASSERT_TRUE(SetEnvironmentVariableA("SPECTRINO_LONG", long_value.c_str()));
    Set("", REG_EXPAND_SZ, "%SPECTRINO_DRIVER_DIR%\\asio.dll");
    Set("Bare", REG_EXPAND_SZ, "%SPECTRINO_DRIVER_DIR%\\bare.dll", false);
    Set("Plain", REG_SZ, "%SPECTRINO_DRIVER_DIR%\\asio.dll");
    Set("Unset", REG_EXPAND_SZ, "%SPECTRINO_NOT_SET%\\asio.dll");
    Set("Long", REG_EXPAND_SZ, "%SPECTRINO_LONG%\\%SPECTRINO_LONG%");
    Set("Binary", REG_BINARY, "C:\\Drivers\\asio.dll");

    const auto key = RegistryKey::Open(RootKey::CurrentUser, kKey, Access::Read);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString(""), "C:\\Drivers\\asio.dll");
    EXPECT_EQ(key->ReadString("bare"), "C:\\Drivers\\bare.dll");
    EXPECT_EQ(key->ReadString("Plain"), "%SPECTRINO_DRIVER_DIR%\\asio.dll");  // never expanded
    EXPECT_EQ(key->ReadString("Unset"), "%SPECTRINO_NOT_SET%\\asio.dll");
    EXPECT_EQ(key->ReadString("Long"), long_value + "\\" + long_value);
    EXPECT_EQ(key->ReadString("Binary"), std::nullopt);
    EXPECT_EQ(key->ReadInteger(""), std::nullopt);
    EXPECT_TRUE(key->ValueExists(""));
}

}  // namespace
}  // namespace spectrino::platform
