#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "platform/hive_store.h"
#include "platform/registry.h"
#include "registry_test_support.h"

namespace spectrino::platform {
namespace {

using testing::ReadFile;
using testing::WriteFile;

constexpr const char* kSettings = "\\Software\\Maker\\Spectrino\\";
constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n";

class RegistryTest : public testing::RegistryDirTest {};

TEST_F(RegistryTest, StoresTypedValuesUnderCaseInsensitiveNames) {
    const std::string device = "Line \"In\" \\ 2\nsecond line\r";
    {
        auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
        ASSERT_TRUE(key);
        EXPECT_TRUE(key->WriteInteger("TopMost", 1));
        EXPECT_TRUE(key->WriteInteger("Topmost", 0));  // the same value
        EXPECT_TRUE(key->WriteInteger("Width", 0xFFFFFFFFu));
        EXPECT_TRUE(key->WriteString("Device", device));
        EXPECT_TRUE(key->WriteString("", "default"));
        EXPECT_EQ(key->ReadInteger("TOPMOST"), 0u);  // visible before saving
        EXPECT_TRUE(key->Close());
    }
    auto key = RegistryKey::Open(RootKey::CurrentUser, "software\\MAKER\\spectrino", Access::Read);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadInteger("topmost"), 0u);
    EXPECT_EQ(key->ReadInteger("Width"), 0xFFFFFFFFu);
    EXPECT_EQ(key->ReadString("DEVICE"), device);
    EXPECT_EQ(key->ReadString(""), "default");
    EXPECT_EQ(key->ReadInteger("Device"), std::nullopt);  // wrong type reads as unreadable
    EXPECT_EQ(key->ReadString("Width"), std::nullopt);
    EXPECT_TRUE(key->ValueExists("width"));
    EXPECT_FALSE(key->ValueExists("Height"));

    const std::string text = ReadFile(UserFile());
    EXPECT_NE(text.find("\"TopMost\"=dword:00000000\n"), std::string::npos);  // first spelling
    EXPECT_EQ(text.find("Topmost"), std::string::npos);
    EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos);

    auto writer = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    ASSERT_TRUE(writer);
    EXPECT_TRUE(writer->WriteString("Width", "wide"));  // another type replaces the value
    EXPECT_TRUE(writer->Close());
    key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read);
    EXPECT_EQ(key->ReadInteger("Width"), std::nullopt);
    EXPECT_EQ(key->ReadString("Width"), "wide");
}

TEST_F(RegistryTest, RefusesWhatItCannotStore) {
    EXPECT_FALSE(RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read));
    EXPECT_FALSE(std::filesystem::exists(UserFile()));  // reading never creates anything
    EXPECT_FALSE(RegistryKey::Open(RootKey::CurrentUser, "a\\\\b", Access::ReadWrite));
    std::string deep;
    for (int i = 0; i < 513; ++i) {
        deep += "k\\";
    }
    EXPECT_FALSE(RegistryKey::Open(RootKey::CurrentUser, deep, Access::ReadWrite));

    auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->WriteInteger(std::string(16384, 'n'), 1));
    EXPECT_TRUE(key->WriteInteger(std::string(16383, 'n'), 1));
    EXPECT_FALSE(key->WriteString("Big", std::string((1 << 20) + 1, 'v')));
    EXPECT_TRUE(key->WriteString("Big", std::string(1 << 20, 'v')));
    EXPECT_FALSE(key->WriteString(std::string("a\0b", 3), "x"));
    EXPECT_FALSE(key->WriteString("Nul", std::string("a\0b", 3)));
    EXPECT_TRUE(key->Close());
    EXPECT_FALSE(key->Close());
    EXPECT_FALSE(key->WriteInteger("Late", 1));

    auto reader = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read);
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader->WriteInteger("Width", 1));
    EXPECT_EQ(reader->ReadString("big")->size(), 1u << 20);
    EXPECT_EQ(reader->ReadInteger(std::string(16383, 'N')), 1u);
    EXPECT_FALSE(reader->ValueExists("Nul"));

    // A directory that cannot exist: writing is refused at once.
    WriteFile(dir_ / "plain", "x");
    setenv("SPECTRINO_REGISTRY_DIR", (dir_ / "plain" / "sub").c_str(), 1);
    EXPECT_FALSE(RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite));
}

TEST_F(RegistryTest, SubKeysKeepStoredOrderAndLongNames) {
    const std::string long_name(600, 'L');
    for (const std::string name : {"Zeta", "alpha", "Mid", long_name.c_str()}) {
        auto key =
            RegistryKey::Open(RootKey::LocalMachine, "software\\asio\\" + name, Access::ReadWrite);
        ASSERT_TRUE(key);
        EXPECT_TRUE(key->WriteString("clsid", "{" + name.substr(0, 4) + "}"));
    }
    auto asio = RegistryKey::Open(RootKey::LocalMachine, "SOFTWARE\\ASIO\\", Access::Read);
    ASSERT_TRUE(asio);
    EXPECT_EQ(asio->SubKeyNames(), (std::vector<std::string>{"Zeta", "alpha", "Mid", long_name}));
    auto zeta = RegistryKey::Open(RootKey::LocalMachine, "software\\asio\\zeta", Access::Read);
    ASSERT_TRUE(zeta);
    EXPECT_EQ(zeta->ReadString("CLSID"), "{Zeta}");
    EXPECT_TRUE(zeta->SubKeyNames().empty());
    EXPECT_FALSE(RegistryKey::Open(RootKey::ClassesRoot, "software\\asio", Access::Read));
}

TEST_F(RegistryTest, KeysOpenTogetherKeepEachOthersWrites) {
    auto first = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    auto second = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    ASSERT_TRUE(first && second);
    first->WriteInteger("Left", 1);
    second->WriteInteger("Top", 2);
    EXPECT_TRUE(first->Close());
    auto reader = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read);
    EXPECT_EQ(reader->ReadInteger("Left"), 1u);  // opening reads the latest save
    EXPECT_TRUE(second->Close());
    reader = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read);
    EXPECT_EQ(reader->ReadInteger("Left"), 1u);
    EXPECT_EQ(reader->ReadInteger("Top"), 2u);

    {
        auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
        key->WriteInteger("Height", 3);
        RegistryKey moved = std::move(*key);
        auto other = RegistryKey::Open(RootKey::CurrentUser, "Other", Access::ReadWrite);
        other->WriteInteger("State", 4);
        moved = std::move(*other);  // saves the Height change
        EXPECT_EQ(
            RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read)->ReadInteger("Height"),
            3u);
    }  // the destructor saves the State change
    EXPECT_EQ(RegistryKey::Open(RootKey::CurrentUser, "other", Access::Read)->ReadInteger("State"),
              4u);
}

TEST_F(RegistryTest, KeyHeldOpenReadsWhatIsOnDiskNow) {
    auto other = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    ASSERT_TRUE(other && other->WriteInteger("Width", 1) && other->Close());
    auto reader = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read);
    auto writer = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    ASSERT_TRUE(reader && writer);
    EXPECT_TRUE(writer->WriteInteger("Height", 7));  // not saved yet

    // Saved right away (same clock tick) and again after a while (file times differ).
    for (const uint32_t width : {2u, 3u}) {
        if (width == 3u) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
        other = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
        ASSERT_TRUE(other && other->WriteInteger("Width", width) && other->Close());
        ASSERT_TRUE(RegistryKey::Open(RootKey::CurrentUser, "Software\\Maker\\Spectrino\\Sub",
                                      Access::ReadWrite));
        EXPECT_EQ(reader->ReadInteger("Width"), width);
        EXPECT_TRUE(reader->ValueExists("width"));
        EXPECT_EQ(reader->SubKeyNames(), std::vector<std::string>{"Sub"});
        EXPECT_EQ(writer->ReadInteger("Width"), width);
        EXPECT_EQ(writer->ReadInteger("Height"), 7u);  // its own change stays on top
        EXPECT_FALSE(reader->ValueExists("Height"));
    }
    EXPECT_TRUE(writer->Close());
    EXPECT_EQ(reader->ReadInteger("Height"), 7u);

    // Deleted by someone else: the key held open reads as empty.
    ASSERT_TRUE(DeleteRegistryKey(RootKey::CurrentUser, "Software\\Maker"));
    EXPECT_FALSE(reader->ValueExists("Width"));
    EXPECT_EQ(reader->ReadString("Device"), std::nullopt);
    EXPECT_TRUE(reader->SubKeyNames().empty());
}

TEST_F(RegistryTest, UnknownTypesAreKeptVerbatim) {
    const std::string blob = "\"Blob\"=hex:01,02,03,\\\n  04,05\n";
    WriteFile(UserFile(), std::string(kHeader) +
                              "\n[HKEY_CURRENT_USER\\Software\\Maker\\Spectrino]\n" + blob +
                              "\"Path\"=hex(2):25,00,00,00\n\"Width\"=dword:000001d0\n");
    auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->ValueExists("blob"));
    EXPECT_EQ(key->ReadString("Blob"), std::nullopt);
    EXPECT_EQ(key->ReadInteger("Blob"), std::nullopt);
    EXPECT_EQ(key->ReadInteger("Width"), 464u);
    EXPECT_TRUE(key->WriteString("Path", "%HOME%"));
    EXPECT_TRUE(key->Close());

    const std::string text = ReadFile(UserFile());
    EXPECT_NE(text.find(blob), std::string::npos);
    EXPECT_EQ(text.find("hex(2)"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(UserFile().string() + ".bad"));  // nothing was lost
    EXPECT_EQ(RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read)->ReadString("path"),
              "%HOME%");
}

TEST_F(RegistryTest, DamagedFileLoadsWhatItCanAndIsKeptAside) {
    DebugCapture capture;
    const std::string long_name(600, 'n');
    const std::string damaged = std::string(kHeader) +
                                "\"Orphan\"=dword:00000001\n"
                                "[HKEY_CURRENT_USER\\Software\\Maker\\Spectrino]\n"
                                "\"Width\"=dword:00000001\n" +
                                std::string("\x01\x02\xff garbage \0 line\n", 19) + "\"" +
                                long_name +
                                "\"=\"long\"\n"
                                "\"" +
                                std::string(16384, 'x') +
                                "\"=\"too long a name\"\n"
                                "\"Huge\"=\"" +
                                std::string((1 << 20) + 1, 'h') +
                                "\"\n"
                                "\"Bad\"=dword:xyz\n"
                                "\"Escape\"=\"\\q\"\n"
                                "\"Width\"=dword:00000002\n"
                                "[HKEY_LOCAL_MACHINE\\Software]\n"
                                "\"Foreign\"=\"x\"\n"
                                "[HKEY_CURRENT_USER\\Software\\Maker\\Spectrino]\n"
                                "\"Device\"=\"Mic\"\n"
                                "\"Cut\"=\"abc";
    WriteFile(UserFile(), damaged);

    auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadInteger("Width"), 2u);  // the last of repeated names wins
    EXPECT_EQ(key->ReadString(long_name), "long");
    EXPECT_EQ(key->ReadString("Device"), "Mic");
    for (const char* skipped : {"Huge", "Bad", "Escape", "Foreign", "Cut", "Orphan"}) {
        EXPECT_FALSE(key->ValueExists(skipped)) << skipped;
    }
    EXPECT_TRUE(key->WriteInteger("Samplerate", 48000));
    EXPECT_TRUE(key->Close());

    EXPECT_EQ(ReadFile(UserFile().string() + ".bad"), damaged);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_NE(capture.Lines()[0].find(".reg.bad"), std::string::npos);
    const HiveDocument saved = LoadHiveFile(UserFile(), "HKEY_CURRENT_USER");
    EXPECT_EQ(saved.Health(), HiveHealth::Clean);
    auto reader = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read);
    EXPECT_EQ(reader->ReadInteger("Samplerate"), 48000u);
    EXPECT_EQ(reader->ReadString("Device"), "Mic");
    EXPECT_EQ(reader->ReadString(long_name), "long");

    // A clean file is saved without a copy; the next damaged one becomes the newest copy.
    RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite)->WriteInteger("A", 1);
    EXPECT_EQ(ReadFile(UserFile().string() + ".bad"), damaged);
    const std::string newer = ReadFile(UserFile()) + "nonsense\n";
    WriteFile(UserFile(), newer);
    RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite)->WriteInteger("B", 1);
    EXPECT_EQ(ReadFile(UserFile().string() + ".bad"), newer);
    EXPECT_EQ(ReadFile(UserFile().string() + ".bad.1"), damaged);
}

TEST_F(RegistryTest, UnreadableFileReadsAsEmptyAndIsNeverOverwrittenSilently) {
    DebugCapture capture;
    std::string garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage.push_back(static_cast<char>(i * 7919 % 251));
    }
    WriteFile(UserFile(), garbage);
    EXPECT_FALSE(RegistryKey::Open(RootKey::CurrentUser, "Software", Access::Read));
    auto root = RegistryKey::Open(RootKey::CurrentUser, "", Access::Read);
    ASSERT_TRUE(root);
    EXPECT_TRUE(root->SubKeyNames().empty());
    EXPECT_TRUE(RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite)
                    ->WriteString("Device", "Mic"));  // saved by the destructor
    EXPECT_EQ(ReadFile(UserFile().string() + ".bad"), garbage);
    EXPECT_EQ(
        RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read)->ReadString("Device"),
        "Mic");

    // Over the size limit: not read at all, and a save that would grow past it is refused.
    const std::string good = ReadFile(UserFile());
    WriteFile(UserFile(), good + std::string(16 << 20, ';'));
    EXPECT_FALSE(RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read));
    WriteFile(UserFile(), good);
    auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    for (int i = 0; i < 17; ++i) {
        EXPECT_TRUE(key->WriteString("Big" + std::to_string(i), std::string(1 << 20, 'b')));
    }
    EXPECT_FALSE(key->Close());
    EXPECT_EQ(ReadFile(UserFile()), good);

    // A hive that cannot be copied aside is not replaced.
    std::filesystem::remove(UserFile());
    std::filesystem::create_directory(UserFile());
    key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    ASSERT_TRUE(key);
    key->WriteInteger("Width", 1);
    EXPECT_FALSE(key->Close());
    EXPECT_TRUE(std::filesystem::is_directory(UserFile()));
}

TEST(HiveKeyTest, RemovingAChildKeepsTheOthersFindableInOrder) {
    HiveKey key("parent");
    for (const char* name : {"Alpha", "Beta", "Gamma"}) {
        key.Child(name).SetValue({"v", HiveValueType::String, name, 0});
    }
    EXPECT_TRUE(key.RemoveChild("BETA"));
    EXPECT_FALSE(key.RemoveChild("beta"));
    ASSERT_NE(key.FindChild("gamma"), nullptr);
    EXPECT_EQ(key.FindChild("gamma")->FindValue("v")->text, "Gamma");
    EXPECT_EQ(key.FindChild("Beta"), nullptr);
    key.Child("Delta");
    EXPECT_EQ(&key.Child("GAMMA"), key.FindChild("Gamma")) << "no second Gamma";
    std::vector<std::string> names;
    for (const auto& child : key.Children()) {
        names.push_back(child->Name());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Gamma", "Delta"}));
}

TEST(RegistryLocationTest, UserHiveFollowsTheEnvironment) {
    setenv("SPECTRINO_REGISTRY_DIR", "/reg", 1);
    EXPECT_EQ(HiveFilePath(RootKey::CurrentUser), "/reg/HKEY_CURRENT_USER.reg");
    EXPECT_EQ(HiveFilePath(RootKey::LocalMachine), "/reg/HKEY_LOCAL_MACHINE.reg");
    EXPECT_EQ(HiveFilePath(RootKey::ClassesRoot), "/reg/HKEY_CLASSES_ROOT.reg");
    unsetenv("SPECTRINO_REGISTRY_DIR");
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_CONFIG_HOME", "/config", 1);
    EXPECT_EQ(HiveFilePath(RootKey::CurrentUser),
              "/config/spectrino/registry/HKEY_CURRENT_USER.reg");
    for (const char* ignored : {"", "relative/dir"}) {
        setenv("XDG_CONFIG_HOME", ignored, 1);
        EXPECT_EQ(HiveFilePath(RootKey::CurrentUser),
                  "/home/someone/.config/spectrino/registry/HKEY_CURRENT_USER.reg");
    }
}

}  // namespace
}  // namespace spectrino::platform
