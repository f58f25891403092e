// The service with a sound server of its own, which the tests start, kill and start again.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "wavein_support.h"

extern char** environ;

namespace spectrino_test {
namespace {

constexpr const char* kSine = "Sine source at 1000 Hz";

// A PulseAudio daemon in a runtime directory of its own; PULSE_SERVER points at it.
class PrivateServer {
public:
    PrivateServer() {
        std::string pattern = "/tmp/spectrino-wavein.XXXXXX";
        dir_ = mkdtemp(pattern.data());
        socket_ = dir_ + "/pulse/native";
        setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
    }
    ~PrivateServer() {
        Kill();
        std::filesystem::remove_all(dir_);
    }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    // Starts the daemon and waits until it takes connections.
    bool Start() {
        // The protocol module goes last, so clients find every device once they get in.
        const std::vector<std::string> args = {
            "pulseaudio",
            "-n",
            "--daemonize=no",
            "--exit-idle-time=-1",
            "--disallow-exit",
            "--use-pid-file=no",
            "--log-target=stderr",
            "-L",
            "module-null-sink sink_name=test sink_properties=device.description=TestSink",
            "-L",
            "module-null-sink sink_name=long "
            "sink_properties=device.description=Überlange-Gerätebeschreibung-für-Tests",
            "-L",
            "module-sine-source source_name=sine1k rate=44100 frequency=1000",
            "-L",
            "module-native-protocol-unix auth-anonymous=1"};
        std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + dir_};
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0) {
                env.emplace_back(*e);
            }
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, (dir_ + "/pa.log").c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0600);
        const bool spawned = Spawn("pulseaudio", args, env, &actions, pid_);
        posix_spawn_file_actions_destroy(&actions);
        if (!spawned) {
            return false;
        }
        for (int i = 0; i < 100; ++i) {
            if (Accepts()) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    void Kill() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    // Runs pactl against this server; true when it succeeds.
    static bool Pactl(std::vector<std::string> args) {
        args.insert(args.begin(), "pactl");
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            env.emplace_back(*e);
        }
        pid_t pid = -1;
        int status = 0;
        return Spawn("pactl", args, env, nullptr, pid) && waitpid(pid, &status, 0) == pid &&
               WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    static bool Spawn(const char* program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env, posix_spawn_file_actions_t* actions,
                      pid_t& pid) {
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& e : env) {
            envp.push_back(const_cast<char*>(e.c_str()));
        }
        envp.push_back(nullptr);
        return posix_spawnp(&pid, program, actions, nullptr, argv.data(), envp.data()) == 0;
    }

    bool Accepts() const {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket_.c_str(), sizeof address.sun_path - 1);
        const bool connected =
            connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        return connected;
    }

    std::string dir_;
    std::string socket_;
    pid_t pid_ = -1;
};

MMRESULT Open(WaveInService& service, HWAVEIN& handle, int32_t id, Recorder& recorder) {
    return service.waveInOpen(handle, id, Pcm16(1, 44100), recorder.Window(), 0,
                              CALLBACK_WINDOW | WAVE_ALLOWSYNC);
}

void Queue(WaveInService& service, HWAVEIN handle, Blocks& blocks) {
    for (size_t i = 0; i < blocks.size(); ++i) {
        ASSERT_EQ(service.waveInPrepareHeader(handle, blocks[i]), MMSYSERR_NOERROR);
        ASSERT_EQ(service.waveInAddBuffer(handle, blocks[i]), MMSYSERR_NOERROR);
    }
}

TEST(WaveInServer, NoServerThenCaptureThenServerDeathThenReconnect) {
    PrivateServer server;
    WaveInService& service = SystemWaveIn();
    Recorder recorder;

    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(service.waveInGetNumDevs(), 0u);
    WAVEINCAPS caps;
    EXPECT_EQ(service.waveInGetDevCaps(0, caps), MMSYSERR_BADDEVICEID);
    HWAVEIN handle = 5;
    EXPECT_EQ(Open(service, handle, WAVE_MAPPER, recorder), MMSYSERR_NODRIVER);
    EXPECT_EQ(handle, 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s) << "a missing server must not stall";

    ASSERT_TRUE(server.Start());
    const int sine = FindDevice(service, kSine);
    ASSERT_GE(sine, 0);
    ASSERT_EQ(Open(service, handle, sine, recorder), MMSYSERR_NOERROR);
    Blocks blocks(4, 2048);
    Queue(service, handle, blocks);

    bool requeue = true;
    recorder.on_data = [&](WAVEHDR* header) {
        EXPECT_GT(PowerAt(*header, 1, 1000, 44100), 1000 * PowerAt(*header, 1, 3000, 44100));
        if (requeue) {
            service.waveInAddBuffer(handle, header);
        }
    };
    ASSERT_EQ(service.waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder.PumpUntil([&] { return recorder.Of(MM_WIM_DATA).size() >= 8; }, 5s));
    requeue = false;
    recorder.on_data = nullptr;

    server.Kill();
    ASSERT_TRUE(recorder.PumpUntil([&] { return !recorder.Of(MM_WIM_CLOSE).empty(); }, 5s));
    Blocks idle(1, 2048);
    EXPECT_EQ(service.waveInPrepareHeader(handle, idle[0]), MMSYSERR_NOERROR);
    EXPECT_EQ(service.waveInAddBuffer(handle, idle[0]), MMSYSERR_NODRIVER);
    EXPECT_EQ(service.waveInStart(handle), MMSYSERR_NODRIVER);
    EXPECT_EQ(service.waveInReset(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(service.waveInStop(handle), MMSYSERR_NOERROR);
    recorder.Pump(200ms);
    for (size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i]->dwFlags & WHDR_INQUEUE, 0u);
        EXPECT_EQ(service.waveInUnprepareHeader(handle, blocks[i]), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(service.waveInClose(handle), MMSYSERR_NOERROR);
    recorder.Pump(100ms);
    const auto closes = recorder.Of(MM_WIM_CLOSE);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].handle, handle);

    EXPECT_EQ(service.waveInGetNumDevs(), 0u);
    HWAVEIN again = 0;
    EXPECT_EQ(Open(service, again, WAVE_MAPPER, recorder), MMSYSERR_NODRIVER);

    ASSERT_TRUE(server.Start());
    EXPECT_GE(FindDevice(service, kSine), 0);
    ASSERT_EQ(Open(service, again, WAVE_MAPPER, recorder), MMSYSERR_NOERROR);
    EXPECT_NE(again, handle);
    Blocks more(2, 2048);
    Queue(service, again, more);
    ASSERT_EQ(service.waveInStart(again), MMSYSERR_NOERROR);
    EXPECT_TRUE(recorder.PumpUntil(
        [&] {
            return recorder.Log().back().handle == again &&
                   recorder.Log().back().message == MM_WIM_DATA;
        },
        5s));
    EXPECT_EQ(service.waveInReset(again), MMSYSERR_NOERROR);
    EXPECT_EQ(service.waveInClose(again), MMSYSERR_NOERROR);
    recorder.Pump(100ms);
}

TEST(WaveInServer, ChosenSourceThatGoesAwayIsLostAndLongNamesAreCut) {
    PrivateServer server;
    ASSERT_TRUE(server.Start());
    WaveInService& service = SystemWaveIn();
    Recorder recorder;

    // 31 characters, two of them two bytes long.
    EXPECT_GE(FindDevice(service, "Monitor of Überlange-Gerätebesc"), 0);

    const int sine = FindDevice(service, kSine);
    ASSERT_GE(sine, 0);
    HWAVEIN handle = 0;
    ASSERT_EQ(Open(service, handle, sine, recorder), MMSYSERR_NOERROR);
    Blocks blocks(3, 2048);
    Queue(service, handle, blocks);
    ASSERT_EQ(service.waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder.PumpUntil([&] { return !recorder.Of(MM_WIM_DATA).empty(); }, 5s));

    ASSERT_TRUE(PrivateServer::Pactl({"unload-module", "module-sine-source"}));
    ASSERT_TRUE(recorder.PumpUntil([&] { return !recorder.Of(MM_WIM_CLOSE).empty(); }, 5s));
    EXPECT_EQ(service.waveInReset(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(service.waveInClose(handle), MMSYSERR_NOERROR);

    // The snapshot still lists the source until the next enumeration; opening it now fails.
    HWAVEIN gone = 0;
    EXPECT_EQ(Open(service, gone, sine, recorder), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(FindDevice(service, kSine), -1);
    recorder.Pump(100ms);
    EXPECT_EQ(recorder.Of(MM_WIM_CLOSE).size(), 1u);
}

}  // namespace
}  // namespace spectrino_test
