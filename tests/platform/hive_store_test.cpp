// How saves treat the file that is there: its permissions, a symbolic link in its place, damaged
// copies kept aside, and saves that cannot happen.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/debug_output.h"
#include "platform/hive_store.h"
#include "platform/registry.h"
#include "registry_test_support.h"

namespace spectrino::platform {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

constexpr const char* kSettings = "Software\\Maker\\Spectrino";
constexpr const char* kHive =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Maker\\Spectrino]\n"
    "\"Width\"=dword:00000001\n";
constexpr uid_t kNobody = 65534;

bool Save(const char* name, uint32_t value) {
    auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    return key && key->WriteInteger(name, value) && key->Close();
}

std::optional<uint32_t> Stored(const char* name) {
    const auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read);
    return key ? key->ReadInteger(name) : std::nullopt;
}

mode_t ModeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Files left behind in the directory besides the expected ones.
std::vector<std::string> Leftovers(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        if (entry.path().extension() == ".tmp") {
            names.push_back(entry.path().filename().string());
        }
    }
    return names;
}

// Drops root's right to write anywhere, so that a folder without write permission refuses
// writes as it does for every other user. Only for a child process.
void BecomeUnprivileged() {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
        std::_Exit(3);
    }
}

// Child processes of the death tests below: each ends with 0 when the save failed, 1 when it
// succeeded and 2 when the test could not be set up.
[[noreturn]] void SaveUnprivileged() {
    BecomeUnprivileged();
    auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    std::_Exit(key && key->WriteInteger("Width", 2) && key->Close() ? 1 : 0);
}

[[noreturn]] void SaveIntoFolderTurnedReadOnly(const fs::path& folder) {
    auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    if (!key || !key->WriteInteger("Width", 2) || ::chmod(folder.c_str(), 0555) != 0) {
        std::_Exit(2);
    }
    BecomeUnprivileged();
    std::_Exit(key->Close() ? 1 : 0);
}

// A file size limit stands for a disk that fills up during the save. The death test keeps the
// child's standard error in a file too, so the lines are written once the limit is lifted.
[[noreturn]] void SaveWithoutRoom() {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    if (!key || !key->WriteString("Device", std::string(200, 'd')) ||
        ::getrlimit(RLIMIT_FSIZE, &limit) != 0) {
        std::_Exit(2);
    }
    const rlimit unlimited = limit;
    limit.rlim_cur = 64;
    bool saved = false;
    std::vector<std::string> lines;
    {
        DebugCapture capture;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        saved = key->Close();
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        lines = capture.Lines();
    }
    for (const std::string& line : lines) {
        DebugOutput(line);
    }
    std::_Exit(saved ? 1 : 0);
}

class HiveStoreTest : public testing::RegistryDirTest {};

TEST_F(HiveStoreTest, SavingKeepsPermissionsOwnerAndSymbolicLinks) {
    WriteFile(UserFile(), kHive);
    ASSERT_EQ(::chmod(UserFile().c_str(), 0600), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(UserFile().c_str(), kNobody, kNobody), 0);
    }
    ASSERT_TRUE(Save("Height", 2));
    EXPECT_EQ(ModeOf(UserFile()), 0600u);
    if (root) {
        struct stat info {};
        ASSERT_EQ(::stat(UserFile().c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, kNobody) << "the user could no longer read the settings";
        EXPECT_EQ(info.st_gid, kNobody);
    }

    // A damaged private file is kept aside as private as it was.
    WriteFile(UserFile(), std::string(kHive) + "garbage\n");
    ASSERT_EQ(::chmod(UserFile().c_str(), 0640), 0);
    ASSERT_TRUE(Save("Height", 3));
    EXPECT_EQ(ModeOf(BadCopyPath(UserFile(), 0)), 0640u);
    EXPECT_EQ(ModeOf(UserFile()), 0640u);

    // A hive kept elsewhere and linked in (relative link, through a second link) stays linked:
    // the file at the end of the links receives the save, written beside it.
    const fs::path dotfiles = dir_ / "dotfiles";
    fs::create_directories(dotfiles / "spectrino");
    const fs::path kept = dotfiles / "spectrino" / "user.reg";
    WriteFile(kept, kHive);
    ASSERT_EQ(::chmod(kept.c_str(), 0600), 0);
    fs::create_symlink("spectrino/user.reg", dotfiles / "current.reg");
    fs::remove(UserFile());
    fs::create_symlink("dotfiles/current.reg", UserFile());
    ASSERT_TRUE(Save("Height", 4));
    EXPECT_TRUE(fs::is_symlink(UserFile()));
    EXPECT_EQ(fs::read_symlink(UserFile()), "dotfiles/current.reg");
    EXPECT_TRUE(fs::is_symlink(dotfiles / "current.reg"));
    EXPECT_NE(ReadFile(kept).find("\"Height\"=dword:00000004"), std::string::npos);
    EXPECT_EQ(ModeOf(kept), 0600u);
    EXPECT_EQ(Stored("Width"), 1u);
    EXPECT_TRUE(Leftovers(dir_).empty());
    EXPECT_TRUE(Leftovers(dotfiles / "spectrino").empty());

    // A link to a file not written yet: the file is created where the link points.
    fs::remove(kept);
    ASSERT_TRUE(Save("Height", 5));
    EXPECT_TRUE(fs::is_symlink(UserFile()));
    EXPECT_TRUE(fs::is_regular_file(kept));
    EXPECT_EQ(Stored("Height"), 5u);
}

TEST_F(HiveStoreTest, EachDamageKeepsItsOwnCopyUpToTheOldestKept) {
    DebugCapture capture;
    std::vector<std::string> damaged;
    for (int i = 0; i < kKeptBadCopies + 1; ++i) {
        damaged.push_back(std::string(kHive) + "damage number " + std::to_string(i) + "\n");
        WriteFile(UserFile(), damaged.back());
        ASSERT_TRUE(Save("Height", static_cast<uint32_t>(i)));
        ASSERT_TRUE(Save("Height", static_cast<uint32_t>(i) + 10));  // clean: no new copy
    }
    // Newest first; the first damage was dropped.
    for (int generation = 0; generation < kKeptBadCopies; ++generation) {
        EXPECT_EQ(ReadFile(BadCopyPath(UserFile(), generation)),
                  damaged[damaged.size() - 1 - static_cast<std::size_t>(generation)])
            << generation;
    }
    EXPECT_EQ(BadCopyPath(UserFile(), 1), UserFile().string() + ".bad.1");
    EXPECT_FALSE(fs::exists(BadCopyPath(UserFile(), kKeptBadCopies)));
    EXPECT_TRUE(Leftovers(dir_).empty());
    EXPECT_EQ(capture.Lines().size(), damaged.size());
    EXPECT_EQ(Stored("Width"), 1u);
}

TEST_F(HiveStoreTest, SavesThatCannotHappenSaySoNamingTheFile) {
    const std::string refused = "cannot save " + UserFile().string() + ": ";
    WriteFile(UserFile(), kHive);
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);  // others may pass through
    ASSERT_EQ(::chmod(UserFile().c_str(), 0666), 0);

    // A folder without write permission: refused when the key is opened.
    ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
    EXPECT_EXIT(SaveUnprivileged(), ::testing::ExitedWithCode(0),
                refused + "cannot write in " + dir_.string());
    // Refused at the save as well when it became read-only while the key was open.
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
    EXPECT_EXIT(SaveIntoFolderTurnedReadOnly(dir_), ::testing::ExitedWithCode(0),
                refused + "cannot create .*HKEY_CURRENT_USER.reg.tmp");
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
    EXPECT_EQ(ReadFile(UserFile()), kHive);

    // No room for the new file: the old one stays and the save says it failed.
    EXPECT_EXIT(SaveWithoutRoom(), ::testing::ExitedWithCode(0),
                refused + "cannot write .*: File too large");
    EXPECT_EQ(ReadFile(UserFile()), kHive);
    EXPECT_TRUE(Leftovers(dir_).empty());

    // A linked hive whose real folder is read-only: the link is not replaced instead.
    const fs::path shelf = dir_ / "shelf";
    fs::create_directory(shelf);
    WriteFile(shelf / "user.reg", kHive);
    fs::remove(UserFile());
    fs::create_symlink(shelf / "user.reg", UserFile());
    ASSERT_EQ(::chmod(shelf.c_str(), 0555), 0);
    EXPECT_EXIT(SaveUnprivileged(), ::testing::ExitedWithCode(0),
                refused + "cannot write in " + shelf.string());
    EXPECT_TRUE(fs::is_symlink(UserFile()));
    EXPECT_EQ(ReadFile(shelf / "user.reg"), kHive);
    ASSERT_EQ(::chmod(shelf.c_str(), 0755), 0);
}

}  // namespace
}  // namespace spectrino::platform
