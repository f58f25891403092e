#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "registry_test_support.h"

namespace spectrino::platform {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exit_code = -1;
    std::string out;
};

// Runs the tool with the given arguments, without any registry directory from the environment.
Outcome RunTool(const fs::path& tool, std::vector<std::string> args) {
    args.insert(args.begin(), tool.string());
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) {
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        close(pipe_ends[0]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        unsetenv("SPECTRINO_REGISTRY_DIR");
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_ends[1]);
    Outcome outcome;
    char buffer[512];
    for (ssize_t n; (n = read(pipe_ends[0], buffer, sizeof buffer)) > 0;) {
        outcome.out.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipe_ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

class SpectrinoRegTest : public testing::RegistryDirTest {};

TEST_F(SpectrinoRegTest, RegistersDriversInAGivenDirectory) {
    const fs::path tool = SPECTRINO_REG_TOOL;
    const std::string dir = dir_.string();
    const std::string clsid = "{8C5A0E6E-3C1F-4F6B-9B1E-0D2A7F1C9E11}";
    EXPECT_EQ(RunTool(tool, {"--dir", dir, "set", "HKEY_LOCAL_MACHINE",
                             "software\\asio\\Test Signal", "clsid", clsid})
                  .exit_code,
              0);
    EXPECT_EQ(RunTool(tool, {"--dir", dir, "set", "hkcr", "clsid\\" + clsid + "\\InprocServer32",
                             "@", "/usr/lib/libtestsignal.so"})
                  .exit_code,
              0);
    EXPECT_EQ(RunTool(tool, {"--dir", dir, "set-dword", "HKLM", "software\\asio\\Test Signal",
                             "Channels", "0x10"})
                  .exit_code,
              0);

    // The program finds them through the same directory.
    auto driver =
        RegistryKey::Open(RootKey::LocalMachine, "software\\asio\\test signal", Access::Read);
    ASSERT_TRUE(driver);
    EXPECT_EQ(driver->ReadString("clsid"), clsid);
    EXPECT_EQ(driver->ReadInteger("channels"), 16u);
    auto server = RegistryKey::Open(RootKey::ClassesRoot, "clsid\\" + clsid + "\\InprocServer32",
                                    Access::Read);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->ReadString(""), "/usr/lib/libtestsignal.so");

    const Outcome got =
        RunTool(tool, {"--dir", dir, "get", "HKLM", "software\\asio\\Test Signal", "Channels"});
    EXPECT_EQ(got.exit_code, 0);
    EXPECT_EQ(got.out, "16\n");
    EXPECT_EQ(RunTool(tool, {"--dir", dir, "get", "HKLM", "software\\asio\\Test Signal", "None"})
                  .exit_code,
              1);
    EXPECT_EQ(RunTool(tool, {"--dir", dir, "set-dword", "HKLM", "k", "n", "4294967296"}).exit_code,
              1);
    EXPECT_EQ(RunTool(tool, {"--dir", dir, "set", "HKEY_USERS", "k", "n", "v"}).exit_code, 1);
    EXPECT_EQ(RunTool(tool, {"--dir", dir, "set", "HKLM", "k", "n"}).exit_code, 2);
}

TEST_F(SpectrinoRegTest, MachineHivesLiveBesideTheInstalledProgram) {
    const fs::path prefix = dir_ / "prefix";
    fs::create_directories(prefix / "bin");
    const fs::path tool = prefix / "bin" / "spectrino-reg";
    fs::copy_file(SPECTRINO_REG_TOOL, tool);
    const fs::path registry = prefix / "etc" / "spectrino" / "registry";

    // Without the prefix's directory the system-wide one is used.
    EXPECT_EQ(RunTool(tool, {"path", "HKLM"}).out,
              "/etc/spectrino/registry/HKEY_LOCAL_MACHINE.reg\n");

    fs::create_directories(registry);
    EXPECT_EQ(RunTool(tool, {"path", "HKCR"}).out,
              (registry / "HKEY_CLASSES_ROOT.reg").string() + "\n");
    EXPECT_EQ(RunTool(tool, {"set", "HKLM", "software\\asio\\Alsa", "clsid", "{1}"}).exit_code, 0);
    EXPECT_TRUE(fs::exists(registry / "HKEY_LOCAL_MACHINE.reg"));
    EXPECT_EQ(RunTool(tool, {"get", "HKLM", "software\\asio\\alsa", "CLSID"}).out, "{1}\n");
}

TEST_F(SpectrinoRegTest, PackageBelowUsrUsesTheSiblingEtc) {
    const fs::path root = dir_ / "root";
    fs::create_directories(root / "usr" / "bin");
    const fs::path tool = root / "usr" / "bin" / "spectrino-reg";
    fs::copy_file(SPECTRINO_REG_TOOL, tool);
    const fs::path sibling = root / "etc" / "spectrino" / "registry";
    const fs::path own = root / "usr" / "etc" / "spectrino" / "registry";

    EXPECT_EQ(RunTool(tool, {"path", "HKLM"}).out,
              "/etc/spectrino/registry/HKEY_LOCAL_MACHINE.reg\n");
    fs::create_directories(sibling);
    EXPECT_EQ(RunTool(tool, {"path", "HKLM"}).out,
              (sibling / "HKEY_LOCAL_MACHINE.reg").string() + "\n");
    // The prefix's own directory still comes first.
    fs::create_directories(own);
    EXPECT_EQ(RunTool(tool, {"path", "HKCR"}).out, (own / "HKEY_CLASSES_ROOT.reg").string() + "\n");

    // Only a prefix named "usr" looks beside itself.
    const fs::path opt = dir_ / "opt-root";
    fs::create_directories(opt / "spectrino" / "bin");
    fs::create_directories(opt / "etc" / "spectrino" / "registry");
    const fs::path other = opt / "spectrino" / "bin" / "spectrino-reg";
    fs::copy_file(SPECTRINO_REG_TOOL, other);
    EXPECT_EQ(RunTool(other, {"path", "HKLM"}).out,
              "/etc/spectrino/registry/HKEY_LOCAL_MACHINE.reg\n");
}

}  // namespace
}  // namespace spectrino::platform
