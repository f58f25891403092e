// The driver list read from the registry, the in-process object loader and the adapter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "asio/KivaASIO.h"
#include "asio_test_support.h"
#include "platform/com.h"
#include "platform/library_dirs.h"
#include "test_environment.h"

namespace spectrino {
namespace {

using testing::RegistryTest;
using testing::TestClassId;
using testing::TestSignalPath;
namespace fs = std::filesystem;

class DriverListTest : public RegistryTest {
protected:
    TAsioDriverList List() {
        TAsioDriverList list(3);  // stale entries must go
        ListAsioDrivers(list);
        return list;
    }
    std::string Clsid(uint32_t n) { return platform::GUIDToString(TestClassId(n)); }
};

TEST_F(DriverListTest, ListsEntriesWhoseServerFileExistsInRegistryOrder) {
    EXPECT_TRUE(List().empty()) << "no software\\asio key at all";

    RegisterServer(Clsid(1), TestSignalPath());
    RegisterServer(Clsid(2), (dir_ / "missing.so").string());
    ListDriver("Zeta", Clsid(1));
    ListDriver("Missing File", Clsid(2));
    ListDriver("Unregistered", Clsid(3));
    WriteString(platform::RootKey::LocalMachine, "software\\asio\\No Clsid", "Description", "x");
    ListDriver("Alpha", Clsid(1));  // the same class under a second name
    // A class key that exists under text that is no class id.
    RegisterServer("not-a-clsid", TestSignalPath());
    ListDriver("Bad Clsid", "not-a-clsid");
#if defined(_WIN32)
    // Windows keeps key names to 255 characters (Wine 8 a whole path to about 260) and lists
    // subkeys sorted.
    const std::string longName(240, 'n');
    const std::vector<std::string> expected{"Alpha", longName, "Zeta"};
#else
    const std::string longName(600, 'n');
    const std::vector<std::string> expected{"Zeta", "Alpha", longName.substr(0, 512)};
#endif
    ListDriver(longName, Clsid(1));

    const TAsioDriverList list = List();
    ASSERT_EQ(list.size(), 3u);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(DriverDescName(list[i]), expected[i]);
    }
    for (const TAsioDriverDesc& desc : list) {
        EXPECT_EQ(desc.id, TestClassId(1));
        EXPECT_EQ(DriverDescPath(desc), TestSignalPath());
    }
}

TEST_F(DriverListTest, BareServerNamesResolveInTheSystemThenTheWindowsDirectory) {
#if defined(_WIN32)
    // The real directories of the (Wine) system.
    const auto systemDir = platform::SystemDirectory();
    const auto windowsDir = platform::WindowsDirectory();
    ASSERT_TRUE(systemDir && windowsDir);
    const fs::path system = *systemDir;
    const fs::path windows = *windowsDir;
    const std::string inSystem = "spectrino_sys_test.dll";
    const std::string inWindows = "spectrino_win_test.dll";
    const std::string nowhere = "spectrino_nowhere_test.dll";
#else
    // Linux stands in both directories by environment variables.
    const fs::path system = dir_ / "system";
    const fs::path windows = dir_ / "windows";
    fs::create_directories(system);
    fs::create_directories(windows);
    test::SetEnv("SPECTRINO_SYSTEM_DIR", system.string());
    test::SetEnv("SPECTRINO_WINDOWS_DIR", windows.string());
    const std::string inSystem = "libsys.so";
    const std::string inWindows = "libwin.so";
    const std::string nowhere = "libnowhere.so";
#endif
    fs::copy_file(TestSignalPath(), system / inSystem, fs::copy_options::overwrite_existing);
    fs::copy_file(TestSignalPath(), windows / inWindows, fs::copy_options::overwrite_existing);
    AddTestSignal("In System", 1);
    AddTestSignal("In Windows", 2);
    RegisterServer(Clsid(1), inSystem);
    RegisterServer(Clsid(2), inWindows);
    RegisterServer(Clsid(3), nowhere);
    ListDriver("Nowhere", Clsid(3));

    std::string path;
    EXPECT_EQ(GetDriverPath(Clsid(1), path), 0);
    EXPECT_EQ(path, (system / inSystem).string());
    EXPECT_EQ(GetDriverPath(Clsid(3), path), -1);
    EXPECT_EQ(path, (windows / nowhere).string()) << "resolved as far as it went";
    EXPECT_EQ(GetDriverPath(Clsid(9), path), -1);

    const TAsioDriverList list = List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(DriverDescPath(list[0]), (system / inSystem).string());
    EXPECT_EQ(DriverDescPath(list[1]), (windows / inWindows).string());

    // The loader resolves the bare name the same way, so the driver can be created.
    IKivaASIORef driver;
    ASSERT_TRUE(CreateDriver(list[1], driver));
    EXPECT_EQ(driver->Init(nullptr), ASIOTrue);
}

#if !defined(_WIN32)
// Runs the test from another working directory and goes back afterwards.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path& dir) : previous_(fs::current_path()) {
        fs::current_path(dir);
    }
    ~WorkingDirectory() {
        std::error_code error;
        fs::current_path(previous_, error);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    fs::path previous_;
};

// Whoever controls the directory the analyzer starts from must not get code into it, neither
// through a relative registration nor through the loader's search path.
TEST_F(DriverListTest, ServersComeFromTheDriverDirectoriesOrAnAbsolutePathOnly) {
    using namespace platform;
    const fs::path system = dir_ / "system";
    const fs::path windows = dir_ / "windows";
    const fs::path start = dir_ / "start";
    fs::create_directories(system);
    fs::create_directories(windows / "sub");
    fs::create_directories(start / "drivers");
    test::SetEnv("SPECTRINO_SYSTEM_DIR", system.string());
    test::SetEnv("SPECTRINO_WINDOWS_DIR", windows.string());
    fs::copy_file(TestSignalPath(), start / "drivers" / "libplanted.so");
    fs::copy_file(TestSignalPath(), windows / "sub" / "libsignal.so");
    const WorkingDirectory inStart(start);

    AddTestSignal("Planted", 1);
    RegisterServer(Clsid(1), "drivers/libplanted.so");
    AddTestSignal("Relative", 2);
    RegisterServer(Clsid(2), "sub/libsignal.so");
    AddTestSignal("Absolute", 3);
    // Found by the loader's own search, but no driver of ours.
    AddTestSignal("Search Path", 4);
    RegisterServer(Clsid(4), "libc.so.6");

    std::string path;
    EXPECT_EQ(GetDriverPath(Clsid(1), path), -1) << path;
    EXPECT_EQ(path, (windows / "drivers" / "libplanted.so").string());
    EXPECT_EQ(GetDriverPath(Clsid(4), path), -1) << path;
    const TAsioDriverList list = List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(DriverDescName(list[0]), "Relative");
    EXPECT_EQ(DriverDescPath(list[0]), (windows / "sub" / "libsignal.so").string());
    EXPECT_EQ(DriverDescPath(list[1]), TestSignalPath());

    ASSERT_EQ(CoInitialize(nullptr), kS_OK);
    void* object = nullptr;
    for (const uint32_t n : {1u, 4u}) {
        EXPECT_EQ(CoCreateInstance(TestClassId(n), nullptr, kCLSCTX_INPROC_SERVER, TestClassId(n),
                                   &object),
                  kCO_E_DLLNOTFOUND)
            << n;
        EXPECT_EQ(object, nullptr);
    }
    CoUninitialize();
    IKivaASIORef driver;
    ASSERT_TRUE(CreateDriver(list[0], driver));
    EXPECT_EQ(driver->Init(nullptr), ASIOTrue);

    // The same relative registration is found once it lies in a driver directory.
    fs::create_directories(system / "drivers");
    fs::copy_file(TestSignalPath(), system / "drivers" / "libplanted.so");
    EXPECT_EQ(GetDriverPath(Clsid(1), path), 0);
    EXPECT_EQ(path, (system / "drivers" / "libplanted.so").string());

    // A driver directory named relative to the start directory counts for nothing either.
    fs::copy_file(TestSignalPath(), start / "libbare.so");
    test::SetEnv("SPECTRINO_WINDOWS_DIR", ".");
    RegisterServer(Clsid(5), "libbare.so");
    EXPECT_EQ(GetDriverPath(Clsid(5), path), -1) << path;
}
#endif

TEST_F(DriverListTest, CreateDriverHandsOutAWorkingAdapterOnlyForCreatableClasses) {
    AddTestSignal("Signal", 1, {{"Inputs", "5"}, {"Outputs", "3"}});
    RegisterServer(Clsid(2), testing::NotAServerPath());
    ListDriver("Unusable Server", Clsid(2));
    const TAsioDriverList list = List();
    ASSERT_EQ(list.size(), 2u);

    IKivaASIORef driver;
    ASSERT_TRUE(CreateDriver(list[0], driver));
    ASSERT_EQ(driver->Init(nullptr), ASIOTrue);
    int32_t inputs = 0;
    int32_t outputs = 0;
    EXPECT_EQ(driver->GetChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(inputs, 5);
    EXPECT_EQ(outputs, 3);
    EXPECT_EQ(driver->Future(kAsioCanTimeInfo, nullptr), ASE_SUCCESS);

    // A second reference keeps the adapter alive when the first goes.
    IKivaASIORef copy = driver;
    driver.Reset();
    EXPECT_EQ(copy->CanSampleRate(48000.0), ASE_OK);

    EXPECT_FALSE(CreateDriver(list[1], driver));
    EXPECT_FALSE(driver);
}

TEST_F(DriverListTest, ObjectLoaderFollowsTheComRules) {
    using namespace platform;
    CLSID id{};
    EXPECT_EQ(CLSIDFromString("{8d2e6a51-3f7c-4e19-b6a2-000000000007}", &id), kS_OK);
    EXPECT_EQ(id, TestClassId(7));
    EXPECT_EQ(GUIDToString(id), "{8D2E6A51-3F7C-4E19-B6A2-000000000007}");
    for (const char* bad :
         {"", "8D2E6A51-3F7C-4E19-B6A2-000000000007", "{8D2E6A51-3F7C-4E19-B6A2-00000000000G}",
          "{8D2E6A51-3F7C-4E19-B6A2000000000007-}", "{8D2E6A51}"}) {
        EXPECT_EQ(CLSIDFromString(bad, &id), kCO_E_CLASSSTRING) << bad;
    }
    // A program id is no class id, even where one is registered under it.
    WriteString(RootKey::ClassesRoot, "Spectrino.TestProgId\\CLSID", "", Clsid(1));
    EXPECT_EQ(CLSIDFromString("Spectrino.TestProgId", &id), kCO_E_CLASSSTRING);

    AddTestSignal("Signal", 1);
    RegisterServer(Clsid(2), (dir_ / "gone.so").string());
    RegisterServer(Clsid(3), testing::NotAServerPath());
    void* object = &id;
    EXPECT_EQ(
        CoCreateInstance(TestClassId(1), nullptr, kCLSCTX_INPROC_SERVER, TestClassId(1), &object),
        kCO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);

    EXPECT_EQ(CoInitialize(nullptr), kS_OK);
    EXPECT_EQ(CoInitialize(nullptr), kS_FALSE);
    EXPECT_EQ(
        CoCreateInstance(TestClassId(9), nullptr, kCLSCTX_INPROC_SERVER, TestClassId(9), &object),
        kREGDB_E_CLASSNOTREG);
#if defined(_WIN32)
    // Which failure ole32 reports for a server it cannot load or use differs between versions.
    EXPECT_FALSE(Succeeded(
        CoCreateInstance(TestClassId(2), nullptr, kCLSCTX_INPROC_SERVER, TestClassId(2), &object)));
    EXPECT_FALSE(Succeeded(
        CoCreateInstance(TestClassId(3), nullptr, kCLSCTX_INPROC_SERVER, TestClassId(3), &object)));
#else
    EXPECT_EQ(
        CoCreateInstance(TestClassId(2), nullptr, kCLSCTX_INPROC_SERVER, TestClassId(2), &object),
        kCO_E_DLLNOTFOUND);
    EXPECT_EQ(
        CoCreateInstance(TestClassId(3), nullptr, kCLSCTX_INPROC_SERVER, TestClassId(3), &object),
        kCO_E_ERRORINDLL);
#endif
    EXPECT_EQ(object, nullptr);
    // The driver answers only for its own class id (and IUnknown).
    EXPECT_EQ(CoCreateInstance(TestClassId(1), nullptr, kCLSCTX_INPROC_SERVER, IID_IClassFactory,
                               &object),
              kE_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(
        CoCreateInstance(TestClassId(1), nullptr, kCLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        kS_OK);
    auto* unknown = static_cast<IUnknown*>(object);
    void* asio = nullptr;
    ASSERT_EQ(unknown->QueryInterface(TestClassId(1), &asio), kS_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(static_cast<IUnknown*>(asio)->Release(), 0u);
    CoUninitialize();
    CoUninitialize();
    CoUninitialize();  // unbalanced: ignored
    EXPECT_EQ(
        CoCreateInstance(TestClassId(1), nullptr, kCLSCTX_INPROC_SERVER, TestClassId(1), &object),
        kCO_E_NOTINITIALIZED);
}

#if !defined(_WIN32)
// The build registers the driver in the build tree's hives, which programs in its bin directory
// read when no registry directory is given. (On Windows, regsvr32 does that.)
TEST(BuildRegistrationTest, TestSignalDriverIsListedForProgramsOfTheBuildTree) {
    const char* saved = std::getenv("SPECTRINO_REGISTRY_DIR");
    const std::string previous = saved != nullptr ? saved : "";
    unsetenv("SPECTRINO_REGISTRY_DIR");
    TAsioDriverList list;
    ListAsioDrivers(list);
    if (saved != nullptr) {
        setenv("SPECTRINO_REGISTRY_DIR", previous.c_str(), 1);
    }
    const auto found = std::find_if(list.begin(), list.end(), [](const TAsioDriverDesc& desc) {
        return DriverDescName(desc) == "Spectrino Test Signal";
    });
    ASSERT_NE(found, list.end());
    EXPECT_EQ(DriverDescPath(*found), TestSignalPath());
}
#endif

}  // namespace
}  // namespace spectrino
