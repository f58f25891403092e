// What the settings and the driver list rely on, whichever registry is behind it: the Win32
// registry on Windows, the hive files elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "test_environment.h"

namespace spectrino::platform {
namespace {

constexpr const char* kBase = "Software\\Spectrino Registry Test";

// On Linux each test gets hives of its own; on Windows the test's keys are removed before and
// after it, as there is only the one registry.
class RegistryContractTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = test::MakeTempDirectory("spectrino-registry");
        test::SetEnv("SPECTRINO_REGISTRY_DIR", dir_.string());
        ClearKeys();
    }
    void TearDown() override {
        ClearKeys();
        std::error_code error;
        std::filesystem::remove_all(dir_, error);
    }
    static void ClearKeys() {
        for (const RootKey root : {RootKey::CurrentUser, RootKey::LocalMachine}) {
            ASSERT_TRUE(DeleteRegistryKey(root, kBase));
        }
    }
    static std::string Path(const std::string& below) { return std::string(kBase) + "\\" + below; }

    std::filesystem::path dir_;
};

TEST_F(RegistryContractTest, ValuesRoundTripTypedUnderCaseInsensitiveNames) {
    const std::string device = "Line \"In\" \\ 2\nsecond line";
    {
        auto key = RegistryKey::Open(RootKey::CurrentUser, Path("Settings"), Access::ReadWrite);
        ASSERT_TRUE(key);
        EXPECT_TRUE(key->WriteInteger("TopMost", 1));
        EXPECT_TRUE(key->WriteInteger("TOPMOST", 0));  // the same value
        EXPECT_TRUE(key->WriteInteger("Width", 0xFFFFFFFFu));
        EXPECT_TRUE(key->WriteString("Device", device));
        EXPECT_TRUE(key->WriteString("Empty", ""));
        EXPECT_TRUE(key->WriteString("", "default"));
        EXPECT_TRUE(key->WriteInteger(std::string(16383, 'n'), 7));
        EXPECT_FALSE(key->WriteInteger(std::string(16384, 'n'), 7));
        EXPECT_FALSE(key->WriteString("Nul", std::string("a\0b", 3)));
        EXPECT_FALSE(key->WriteString(std::string("a\0b", 3), "x"));
        EXPECT_TRUE(key->Close());
        EXPECT_FALSE(key->Close());
        EXPECT_FALSE(key->WriteInteger("Late", 1));
    }
    auto key = RegistryKey::Open(RootKey::CurrentUser,
                                 "software\\SPECTRINO registry test\\settings", Access::Read);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadInteger("topmost"), 0u);
    EXPECT_EQ(key->ReadInteger("WIDTH"), 0xFFFFFFFFu);
    EXPECT_EQ(key->ReadString("device"), device);
    EXPECT_EQ(key->ReadString("Empty"), "");
    EXPECT_EQ(key->ReadString(""), "default");
    EXPECT_EQ(key->ReadInteger(std::string(16383, 'N')), 7u);
    // A value has one type: reading it as another is a miss, not a conversion.
    EXPECT_EQ(key->ReadInteger("Device"), std::nullopt);
    EXPECT_EQ(key->ReadString("Width"), std::nullopt);
    EXPECT_TRUE(key->ValueExists("width"));
    EXPECT_FALSE(key->ValueExists("Height"));
    EXPECT_FALSE(key->ValueExists("Nul"));
    EXPECT_FALSE(key->WriteInteger("Width", 1)) << "a key opened for reading";

    auto writer = RegistryKey::Open(RootKey::CurrentUser, Path("Settings"), Access::ReadWrite);
    ASSERT_TRUE(writer);
    EXPECT_TRUE(writer->WriteString("width", "wide"));  // another type replaces the value
    EXPECT_TRUE(writer->Close());
    key = RegistryKey::Open(RootKey::CurrentUser, Path("Settings"), Access::Read);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadInteger("Width"), std::nullopt);
    EXPECT_EQ(key->ReadString("Width"), "wide");
}

TEST_F(RegistryContractTest, KeysAreCreatedListedAndDeletedWithEverythingBelow) {
    EXPECT_FALSE(RegistryKey::Open(RootKey::LocalMachine, Path("asio"), Access::Read));
    // Windows allows key names of 255 characters; Wine 8 refuses a whole path over about 260.
    const std::string longName(200, 'L');
    for (const std::string& name : {std::string("Zeta"), std::string("alpha"), longName}) {
        auto key =
            RegistryKey::Open(RootKey::LocalMachine, Path("asio\\" + name), Access::ReadWrite);
        ASSERT_TRUE(key) << name.size();
        EXPECT_TRUE(key->WriteString("clsid", "{" + name.substr(0, 4) + "}"));
    }
    ASSERT_TRUE(RegistryKey::Open(RootKey::LocalMachine, Path("keep"), Access::ReadWrite));

    auto asio = RegistryKey::Open(RootKey::LocalMachine, Path("ASIO\\"), Access::Read);
    ASSERT_TRUE(asio);
    std::vector<std::string> names = asio->SubKeyNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{longName, "Zeta", "alpha"}));
    auto zeta = RegistryKey::Open(RootKey::LocalMachine, Path("asio\\zeta"), Access::Read);
    ASSERT_TRUE(zeta);
    EXPECT_EQ(zeta->ReadString("CLSID"), "{Zeta}");
    EXPECT_TRUE(zeta->SubKeyNames().empty());
    EXPECT_FALSE(RegistryKey::Open(RootKey::CurrentUser, Path("asio"), Access::Read))
        << "roots are apart";

    EXPECT_TRUE(DeleteRegistryKey(RootKey::LocalMachine, Path("Asio")));
    EXPECT_FALSE(RegistryKey::Open(RootKey::LocalMachine, Path("asio\\Zeta"), Access::Read));
    EXPECT_FALSE(RegistryKey::Open(RootKey::LocalMachine, Path("asio"), Access::Read));
    EXPECT_TRUE(RegistryKey::Open(RootKey::LocalMachine, Path("keep"), Access::Read));
    EXPECT_TRUE(DeleteRegistryKey(RootKey::LocalMachine, Path("asio"))) << "already gone";
    EXPECT_FALSE(DeleteRegistryKey(RootKey::LocalMachine, "")) << "the root stays";
    EXPECT_FALSE(DeleteRegistryKey(RootKey::LocalMachine, "a\\\\b"));
}

}  // namespace
}  // namespace spectrino::platform
