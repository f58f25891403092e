// A PulseAudio daemon of a test's own, in a runtime directory of its own, that the test can
// start, kill and start again. Clients reach it through Address().
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace spectrino_test {

class PrivateSoundServer {
public:
    // `modules` are loaded in order; the native protocol comes last, so that the first client
    // to get in finds every device. Without shared memory, libpulse's clients copy all data.
    explicit PrivateSoundServer(std::vector<std::string> modules, bool sharedMemory = true)
        : modules_(std::move(modules)), sharedMemory_(sharedMemory) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "spectrino-pa-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            dir_ = pattern;
        }
    }
    ~PrivateSoundServer() {
        Kill();
        if (!dir_.empty()) {
            std::filesystem::remove_all(dir_);
        }
    }
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    std::string Address() const { return "unix:" + (dir_ / "native").string(); }

    // Starts the daemon and waits until its socket is there; false if it did not come up.
    bool Start() {
        if (dir_.empty() || pid_ > 0) {
            return false;
        }
        std::filesystem::remove(dir_ / "native");
        std::vector<std::string> args = {
            "pulseaudio",          "-n",
            "--daemonize=no",      "--exit-idle-time=-1",
            "--disallow-exit",     "--use-pid-file=no",
            "--log-target=stderr", sharedMemory_ ? "--disable-shm=no" : "--disable-shm=yes"};
        for (const std::string& module : modules_) {
            args.insert(args.end(), {"-L", module});
        }
        args.insert(args.end(), {"-L", "module-native-protocol-unix auth-anonymous=1 socket=" +
                                           (dir_ / "native").string()});
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);

        const std::string runtime = "XDG_RUNTIME_DIR=" + dir_.string();
        std::vector<char*> env;
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0) {
                env.push_back(*e);
            }
        }
        env.push_back(const_cast<char*>(runtime.c_str()));
        env.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, (dir_ / "pa.log").c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (posix_spawnp(&pid_, "pulseaudio", &actions, nullptr, argv.data(), env.data()) != 0) {
            pid_ = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
        for (int i = 0; pid_ > 0 && i < 100; ++i) {
            if (std::filesystem::exists(dir_ / "native")) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    void Kill() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = 0;
        }
    }

private:
    std::vector<std::string> modules_;
    bool sharedMemory_;
    std::filesystem::path dir_;
    pid_t pid_ = 0;
};

// Points the sound clients of this process at another server for as long as it lives.
class ServerAddress {
public:
    explicit ServerAddress(const std::string& address) {
        if (const char* old = std::getenv("PULSE_SERVER")) {
            old_ = old;
            hadOld_ = true;
        }
        setenv("PULSE_SERVER", address.c_str(), 1);
    }
    ~ServerAddress() {
        if (hadOld_) {
            setenv("PULSE_SERVER", old_.c_str(), 1);
        } else {
            unsetenv("PULSE_SERVER");
        }
    }
    ServerAddress(const ServerAddress&) = delete;
    ServerAddress& operator=(const ServerAddress&) = delete;

private:
    std::string old_;
    bool hadOld_ = false;
};

}  // namespace spectrino_test
