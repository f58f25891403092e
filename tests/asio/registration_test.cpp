// The test-signal driver as Windows sees any ASIO driver: registered by regsvr32 through its
// own DllRegisterServer, listed by the driver walk, created through ole32 and streaming into
// the host on the driver's own thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "asio/DASIOHost.h"
#include "asio/KivaASIO.h"
#include "asio_test_support.h"

namespace spectrino {
namespace {

using testing::RegistryTest;
using testing::WaitFor;

constexpr const char* kDriverName = "Spectrino Test Signal";
constexpr const char* kClassId = "{8D2E6A51-3F7C-4E19-B6A2-5C1D9E0F7A34}";

int RegSvr32(const std::string& options) {
    // cmd strips the outermost quotes of the whole line.
    const std::string command =
        "\"regsvr32 /s " + options + " \"" + testing::TestSignalPath() + "\"\"";
    return std::system(command.c_str());
}

const TAsioDriverDesc* Find(const TAsioDriverList& list, const std::string& name) {
    const auto found = std::find_if(list.begin(), list.end(), [&](const TAsioDriverDesc& desc) {
        return DriverDescName(desc) == name;
    });
    return found == list.end() ? nullptr : &*found;
}

class RegistrationTest : public RegistryTest {
protected:
    void TearDown() override {
        RegSvr32("/u");
        RegistryTest::TearDown();
    }
};

TEST_F(RegistrationTest, Regsvr32RegistersAndRemovesTheDriver) {
    ASSERT_EQ(RegSvr32(""), 0);
    auto server = platform::RegistryKey::Open(
        platform::RootKey::ClassesRoot, std::string("CLSID\\") + kClassId + "\\InprocServer32",
        platform::Access::Read);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->ReadString(""), testing::TestSignalPath());
    EXPECT_EQ(server->ReadString("ThreadingModel"), "Apartment");
    auto entry = platform::RegistryKey::Open(platform::RootKey::LocalMachine,
                                             std::string("software\\asio\\") + kDriverName,
                                             platform::Access::Read);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->ReadString("CLSID"), kClassId);
    EXPECT_EQ(entry->ReadString("Description"), kDriverName);

    TAsioDriverList list;
    ListAsioDrivers(list);
    const TAsioDriverDesc* desc = Find(list, kDriverName);
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(platform::GUIDToString(desc->id), kClassId);
    EXPECT_EQ(DriverDescPath(*desc), testing::TestSignalPath());

    ASSERT_EQ(RegSvr32("/u"), 0);
    EXPECT_FALSE(platform::RegistryKey::Open(
        platform::RootKey::ClassesRoot, std::string("CLSID\\") + kClassId, platform::Access::Read));
    ListAsioDrivers(list);
    EXPECT_EQ(Find(list, kDriverName), nullptr);
}

TEST_F(RegistrationTest, BrokenEntriesAreSkippedAndTheDriverStreamsOnItsOwnThread) {
    ASSERT_EQ(RegSvr32(""), 0);
    const std::string unregistered = platform::GUIDToString(testing::TestClassId(1));
    const std::string missingFile = platform::GUIDToString(testing::TestClassId(2));
    const std::string notAServer = platform::GUIDToString(testing::TestClassId(3));
    ListDriver("Unregistered", unregistered);
    RegisterServer(missingFile, (dir_ / "missing.dll").string());
    ListDriver("Missing File", missingFile);
    RegisterServer(notAServer, testing::NotAServerPath());
    ListDriver("Not A Server", notAServer);
    RegisterServer("not-a-clsid", testing::TestSignalPath());
    ListDriver("Bad Clsid", "not-a-clsid");

    TAsioDriverList list;
    ListAsioDrivers(list);
    std::set<std::string> names;
    for (const TAsioDriverDesc& desc : list) {
        names.insert(DriverDescName(desc));
    }
    EXPECT_EQ(names, (std::set<std::string>{"Not A Server", kDriverName}));
    IKivaASIORef driver;
    EXPECT_FALSE(CreateDriver(*Find(list, "Not A Server"), driver));
    ASSERT_TRUE(CreateDriver(*Find(list, kDriverName), driver));
    driver.Reset();

    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::atomic<int> blocks{0};
    auto host = std::make_unique<TASIOHost>();
    host->OnBufferSwitch32 = [&](TCustomASIOHost&, const TQorArrayOfSingleDynArray& in,
                                 TQorArrayOfSingleDynArray&) {
        if (!in.empty() && !in[0].empty()) {
            const std::lock_guard lock(mutex);
            threads.insert(std::this_thread::get_id());
        }
        ++blocks;
    };
    const auto& drivers = host->DriverList();
    const auto index = std::find(drivers.begin(), drivers.end(), kDriverName) - drivers.begin();
    ASSERT_LT(index, static_cast<std::ptrdiff_t>(drivers.size()));
    host->SetDriverIndex(static_cast<int>(index));
    ASSERT_TRUE(host->BuffersCreated());
    host->SetActive(true);
    EXPECT_TRUE(WaitFor([&] { return blocks >= 20; }));
    host->SetActive(false);
    host.reset();
    const std::lock_guard lock(mutex);
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

}  // namespace
}  // namespace spectrino
