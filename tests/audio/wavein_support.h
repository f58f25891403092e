// Helpers for the wave-input tests: a window that logs its notifications, owned buffers, a
// tone measure and a tone player.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "platform/wavein.h"

namespace spectrino_test {

using namespace spectrino::platform;
using namespace std::chrono_literals;

struct Notification {
    uint32_t message;
    uintptr_t handle;
    WAVEHDR* header;
    uint32_t bytes;  // as delivered, before any requeue
    uint32_t flags;
    std::chrono::steady_clock::time_point when;
};

// A hidden window that logs every notification; `on_data` runs for each filled buffer.
class Recorder {
public:
    Recorder()
        : window_([this](uint32_t message, uintptr_t handle, WAVEHDR* header) {
              log_.push_back({message, handle, header, header ? header->dwBytesRecorded : 0,
                              header ? header->dwFlags : 0, std::chrono::steady_clock::now()});
              if (message == MM_WIM_DATA && on_data) {
                  on_data(header);
              }
          }) {}

    WaveInWindow& Window() { return window_; }
    const std::vector<Notification>& Log() const { return log_; }
    std::vector<Notification> Of(uint32_t message) const {
        std::vector<Notification> found;
        for (const Notification& n : log_) {
            if (n.message == message) {
                found.push_back(n);
            }
        }
        return found;
    }
    // Runs the event loop until `done` holds or the time is up; returns `done()`.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < limit.count()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(2ms);
        }
        return done();
    }
    void Pump(std::chrono::milliseconds span) {
        PumpUntil([] { return false; }, span);
    }

    std::function<void(WAVEHDR*)> on_data;

private:
    std::vector<Notification> log_;
    WaveInWindow window_;  // last: goes first, so no notification reaches a dead log
};

// Wave headers with their data blocks.
class Blocks {
public:
    Blocks(size_t count, uint32_t bytes) {
        for (size_t i = 0; i < count; ++i) {
            auto block = std::make_unique<Block>();
            block->data.assign(bytes, 0);
            block->header.lpData = block->data.data();
            block->header.dwBufferLength = bytes;
            blocks_.push_back(std::move(block));
        }
    }
    WAVEHDR* operator[](size_t i) { return &blocks_[i]->header; }
    size_t size() const { return blocks_.size(); }
    int IndexOf(const WAVEHDR* header) const {
        for (size_t i = 0; i < blocks_.size(); ++i) {
            if (&blocks_[i]->header == header) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

private:
    struct Block {
        std::vector<char> data;
        WAVEHDR header;
    };
    std::vector<std::unique_ptr<Block>> blocks_;
};

inline WAVEFORMATEX Pcm16(uint16_t channels, uint32_t rate) {
    const auto align = static_cast<uint16_t>(channels * 2);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, 16, 0};
}

// Index of the first device with that name, or -1.
inline int FindDevice(WaveInService& service, const std::string& name) {
    const uint32_t count = service.waveInGetNumDevs();
    for (uint32_t id = 0; id < count; ++id) {
        WAVEINCAPS caps;
        if (service.waveInGetDevCaps(id, caps) == MMSYSERR_NOERROR && caps.szPname == name) {
            return static_cast<int>(id);
        }
    }
    return -1;
}

// Power of one channel of interleaved 16-bit samples at one frequency (Goertzel).
inline double PowerAt(const WAVEHDR& header, int channels, double frequency, double rate) {
    const auto* samples = reinterpret_cast<const int16_t*>(header.lpData);
    const size_t frames = header.dwBytesRecorded / (2 * channels);
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / rate);
    double previous = 0;
    double older = 0;
    for (size_t i = 0; i < frames; ++i) {
        const double current = samples[i * channels] / 32768.0 + coefficient * previous - older;
        older = previous;
        previous = current;
    }
    return (previous * previous + older * older - coefficient * previous * older) /
           (static_cast<double>(frames) * frames);
}

// Plays a stereo sine into a sink of the server until destroyed.
class TonePlayer {
public:
    TonePlayer(std::string sink, double frequency);
    ~TonePlayer();
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;
    bool Failed() const { return failed_; }

private:
    void Play(const std::string& sink, double frequency);

    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

}  // namespace spectrino_test
