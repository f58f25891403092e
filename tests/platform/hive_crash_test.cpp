// A save cut short at any byte, or a process killed while saving, leaves either the old or the
// new settings readable, never a mixture and never nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "platform/hive_store.h"
#include "platform/registry.h"
#include "registry_test_support.h"

namespace spectrino::platform {
namespace {

constexpr const char* kSettings = "Software\\Maker\\Spectrino";

std::string DeviceOf(uint32_t generation) {
    return std::string(40 + generation % 90, static_cast<char>('a' + generation % 26));
}

bool SaveGeneration(uint32_t generation) {
    auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::ReadWrite);
    return key && key->WriteInteger("Generation", generation) &&
           key->WriteString("Device", DeviceOf(generation)) &&
           key->WriteInteger("Check", generation * 7 + 1) && key->Close();
}

// The generation on disk, when the file is whole and its values belong together.
std::optional<uint32_t> StoredGeneration() {
    if (LoadHiveFile(HiveFilePath(RootKey::CurrentUser), "HKEY_CURRENT_USER").Health() !=
        HiveHealth::Clean) {
        return std::nullopt;
    }
    const auto key = RegistryKey::Open(RootKey::CurrentUser, kSettings, Access::Read);
    const auto generation = key ? key->ReadInteger("Generation") : std::nullopt;
    if (!generation || key->ReadString("Device") != DeviceOf(*generation) ||
        key->ReadInteger("Check") != *generation * 7 + 1) {
        return std::nullopt;
    }
    return generation;
}

class HiveCrashTest : public testing::RegistryDirTest {};

TEST_F(HiveCrashTest, SaveCutShortAtEveryByteKeepsOldOrNew) {
    ASSERT_TRUE(SaveGeneration(1));
    for (rlim_t limit = 0;; ++limit) {
        ASSERT_LT(limit, 4096u) << "the save never completed";
        // Odd limits see a failing write; even ones are killed by the signal at that byte.
        const bool killed_at_limit = limit % 2 == 0;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit size{limit, limit};
            signal(SIGXFSZ, killed_at_limit ? SIG_DFL : SIG_IGN);
            setrlimit(RLIMIT_FSIZE, &size);
            _exit(SaveGeneration(2) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const bool saved = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!saved) {
            ASSERT_TRUE(killed_at_limit ? WIFSIGNALED(status) : WIFEXITED(status)) << limit;
        }
        ASSERT_EQ(StoredGeneration(), saved ? 2u : 1u) << "cut at byte " << limit;
        if (saved) {
            EXPECT_EQ(std::filesystem::file_size(HiveFilePath(RootKey::CurrentUser)), limit);
            break;
        }
    }
}

TEST_F(HiveCrashTest, ProcessKilledWhileSavingLeavesAWholeFile) {
    ASSERT_TRUE(SaveGeneration(1));
    std::mt19937 random(4711);
    for (int round = 0; round < 30; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (uint32_t generation = 2;; ++generation) {
                SaveGeneration(generation);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(StoredGeneration().has_value()) << "round " << round;
    }
}

}  // namespace
}  // namespace spectrino::platform
