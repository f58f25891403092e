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
#include "driver_registry_test.h"
#include "platform/registry.h"
#include "wait_for.h"

namespace spectrino::alsa_test {

using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

inline constexpr const char* kClassId = "{3B9C27E4-6A1D-4F58-9E03-7D2C5B8A41F6}";
inline constexpr const char* kSettingsKey = "Software\\Spectrino\\ALSA";

class AlsaRegistryTest : public testing::DriverRegistryTest {
protected:
    AlsaRegistryTest()
        : DriverRegistryTest({kClassId, "Spectrino ALSA", SPECTRINO_ALSA_PATH, kSettingsKey}) {}
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
