// A wave-input service under the test's control: devices, failures and buffer delivery.
#pragma once

#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/wavein.h"

namespace spectrino_test {

// The wave-input names only: the platform's event processing is not ProcessEvents below.
using spectrino::platform::CALLBACK_WINDOW;
using spectrino::platform::HWAVEIN;
using spectrino::platform::MM_WIM_CLOSE;
using spectrino::platform::MM_WIM_DATA;
using spectrino::platform::MM_WIM_OPEN;
using spectrino::platform::MMRESULT;
using spectrino::platform::MMSYSERR_ALLOCATED;
using spectrino::platform::MMSYSERR_BADDEVICEID;
using spectrino::platform::MMSYSERR_ERROR;
using spectrino::platform::MMSYSERR_INVALHANDLE;
using spectrino::platform::MMSYSERR_INVALPARAM;
using spectrino::platform::MMSYSERR_NODRIVER;
using spectrino::platform::MMSYSERR_NOERROR;
using spectrino::platform::MMSYSERR_NOMEM;
using spectrino::platform::WAVE_ALLOWSYNC;
using spectrino::platform::WAVE_FORMAT_PCM;
using spectrino::platform::WAVE_MAPPER;
using spectrino::platform::WAVEFORMATEX;
using spectrino::platform::WAVEHDR;
using spectrino::platform::WAVEINCAPS;
using spectrino::platform::WaveInService;
using spectrino::platform::WaveInWindow;
using spectrino::platform::WAVERR_BADFORMAT;
using spectrino::platform::WAVERR_STILLPLAYING;
using spectrino::platform::WAVERR_UNPREPARED;
using spectrino::platform::WHDR_DONE;
using spectrino::platform::WHDR_INQUEUE;
using spectrino::platform::WHDR_PREPARED;

class FakeWaveIn : public WaveInService {
public:
    struct Device {
        int32_t id = 0;
        WAVEFORMATEX format{};
        WaveInWindow* window = nullptr;
        uintptr_t instance = 0;
        std::deque<WAVEHDR*> queue;
        bool started = false;
        bool vanished = false;
    };

    std::vector<std::string> names;
    MMRESULT openError = MMSYSERR_NOERROR;
    MMRESULT prepareError = MMSYSERR_NOERROR;
    MMRESULT addError = MMSYSERR_NOERROR;
    MMRESULT startError = MMSYSERR_NOERROR;
    // As the PulseAudio service does: a device that vanished has said goodbye already, closing
    // it posts no second notice.
    bool quietCloseAfterLoss = false;
    int opens = 0;
    int closes = 0;

    uint32_t waveInGetNumDevs() override { return static_cast<uint32_t>(names.size()); }
    MMRESULT waveInGetDevCaps(uint32_t id, WAVEINCAPS& caps) override {
        if (id >= names.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        caps.szPname = names[id];
        return MMSYSERR_NOERROR;
    }
    MMRESULT waveInOpen(HWAVEIN& handle, int32_t id, const WAVEFORMATEX& format,
                        WaveInWindow& window, uintptr_t instance, uint32_t) override {
        if (openError != MMSYSERR_NOERROR) {
            return openError;
        }
        // Like winmm under Wine: the lowest handle value not in use.
        handle = 1;
        while (devices_.count(handle)) {
            ++handle;
        }
        devices_[handle] = Device{id, format, &window, instance, {}, false};
        ++opens;
        return MMSYSERR_NOERROR;
    }
    MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header) override {
        if (!devices_.count(handle)) {
            return MMSYSERR_INVALHANDLE;
        }
        if (prepareError != MMSYSERR_NOERROR) {
            return prepareError;
        }
        header->dwFlags |= WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }
    MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header) override {
        if (!devices_.count(handle)) {
            return MMSYSERR_INVALHANDLE;
        }
        header->dwFlags &= ~WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }
    MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header) override {
        if (!devices_.count(handle) || !(header->dwFlags & WHDR_PREPARED)) {
            return MMSYSERR_INVALHANDLE;
        }
        if (addError != MMSYSERR_NOERROR) {
            return addError;
        }
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        devices_[handle].queue.push_back(header);
        return MMSYSERR_NOERROR;
    }
    MMRESULT waveInStart(HWAVEIN handle) override {
        if (!devices_.count(handle)) {
            return MMSYSERR_INVALHANDLE;
        }
        if (startError != MMSYSERR_NOERROR) {
            return startError;
        }
        devices_[handle].started = true;
        return MMSYSERR_NOERROR;
    }
    MMRESULT waveInStop(HWAVEIN handle) override {
        if (!devices_.count(handle)) {
            return MMSYSERR_INVALHANDLE;
        }
        devices_[handle].started = false;
        return MMSYSERR_NOERROR;
    }
    MMRESULT waveInReset(HWAVEIN handle) override {
        if (!devices_.count(handle)) {
            return MMSYSERR_INVALHANDLE;
        }
        Device& d = devices_[handle];
        d.started = false;
        while (!d.queue.empty()) {
            Return(handle, d, 0);
        }
        return MMSYSERR_NOERROR;
    }
    MMRESULT waveInClose(HWAVEIN handle) override {
        auto it = devices_.find(handle);
        if (it == devices_.end()) {
            return MMSYSERR_INVALHANDLE;
        }
        if (!it->second.queue.empty()) {
            return WAVERR_STILLPLAYING;
        }
        if (!(it->second.vanished && quietCloseAfterLoss)) {
            it->second.window->Post(MM_WIM_CLOSE, handle, nullptr);
        }
        devices_.erase(it);
        ++closes;
        return MMSYSERR_NOERROR;
    }

    // The open device, if any.
    Device* Current() { return devices_.empty() ? nullptr : &devices_.rbegin()->second; }
    HWAVEIN CurrentHandle() const { return devices_.empty() ? 0 : devices_.rbegin()->first; }

    // Fills the oldest queued buffer with `value` and hands it back; false if none is queued.
    bool Fill(int16_t value) {
        Device* d = Current();
        if (d == nullptr || d->queue.empty() || !d->started) {
            return false;
        }
        WAVEHDR* h = d->queue.front();
        auto* samples = reinterpret_cast<int16_t*>(h->lpData);
        for (uint32_t i = 0; i < h->dwBufferLength / 2; ++i) {
            samples[i] = value;
        }
        Return(CurrentHandle(), *d, h->dwBufferLength);
        return true;
    }

    // The device vanishes: its window hears of it, queued buffers stay with the service.
    void Vanish() {
        Current()->vanished = true;
        Current()->window->Post(MM_WIM_CLOSE, CurrentHandle(), nullptr);
    }

private:
    void Return(HWAVEIN handle, Device& d, uint32_t bytes) {
        WAVEHDR* h = d.queue.front();
        d.queue.pop_front();
        h->dwBytesRecorded = bytes;
        h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        d.window->Post(MM_WIM_DATA, handle, h);
    }

    std::map<HWAVEIN, Device> devices_;
};

inline void ProcessEvents() {
    for (int i = 0; i < 3; ++i) {
        spectrino::platform::ProcessEvents();
    }
}

}  // namespace spectrino_test
