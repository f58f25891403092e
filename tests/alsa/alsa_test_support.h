// A private registry with the ALSA driver registered in it, its settings, and a record of the
// blocks the host's 32-bit event saw on the driver's thread.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "asio/DASIOHost.h"
#include "platform/registry.h"
#include "wait_for.h"

namespace spectrino::alsa_test {

using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

inline constexpr const char* kClassId = "{3B9C27E4-6A1D-4F58-9E03-7D2C5B8A41F6}";
inline constexpr const char* kSettingsKey = "Software\\Spectrino\\ALSA";

class AlsaRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "spectrino-alsa-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        setenv("SPECTRINO_REGISTRY_DIR", dir_.c_str(), 1);
        Write(RootKey::ClassesRoot, std::string("CLSID\\") + kClassId + "\\InprocServer32", "",
              SPECTRINO_ALSA_PATH);
        Write(RootKey::LocalMachine, "software\\asio\\Spectrino ALSA", "clsid", kClassId);
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
    static std::optional<uint32_t> StoredNumber(const std::string& name) {
        const auto key = RegistryKey::Open(RootKey::CurrentUser, kSettingsKey, Access::Read);
        return key ? key->ReadInteger(name) : std::nullopt;
    }

    std::filesystem::path dir_;
};

using testing::WaitFor;

struct Block {
    int64_t position = 0;
    double rate = 0.0;
    bool timeValid = false;
    std::chrono::steady_clock::time_point arrived;
};

// Blocks seen by the host's 32-bit event; `also` runs on the driver's thread for each block.
class BlockLog {
public:
    using Extra = std::function<void(const TQorArrayOfSingleDynArray&, TQorArrayOfSingleDynArray&)>;

    void Attach(TASIOHost& host, Extra also = {}) {
        host.OnBufferSwitch32 = [this, also](TCustomASIOHost& sender,
                                             const TQorArrayOfSingleDynArray& in,
                                             TQorArrayOfSingleDynArray& out) {
            const TATFlags flags = sender.ASIOTime().Flags();
            Block block{sender.ASIOTime().SamplePos(), sender.ASIOTime().SampleRate(),
                        flags.Contains(atSamplePositionValid) && flags.Contains(atSystemTimeValid),
                        std::chrono::steady_clock::now()};
            if (also) {
                also(in, out);
            }
            const std::lock_guard lock(mutex_);
            blocks_.push_back(block);
        };
    }
    std::vector<Block> Blocks() const {
        const std::lock_guard lock(mutex_);
        return blocks_;
    }
    std::size_t Count() const {
        const std::lock_guard lock(mutex_);
        return blocks_.size();
    }
    bool WaitBlocks(std::size_t more, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const std::size_t target = Count() + more;
        return WaitFor([&] { return Count() >= target; }, timeout);
    }

private:
    mutable std::mutex mutex_;
    std::vector<Block> blocks_;
};

}  // namespace spectrino::alsa_test
