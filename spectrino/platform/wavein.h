// Wave capture in the shape of the Windows multimedia wave-input calls: a device list, a
// 16-bit PCM open format, prepared buffers queued in order, and every filled buffer handed back
// as a notification to a hidden window that lives on the thread that created it.
//
// Windows uses the genuine winmm calls; Linux implements the same contract over PulseAudio.
// Callers use the service through WaveInService, so tests can stand in a service of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace spectrino::platform {

using MMRESULT = uint32_t;
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

inline constexpr int32_t WAVE_MAPPER = -1;
inline constexpr uint32_t CALLBACK_WINDOW = 0x10000;
inline constexpr uint32_t WAVE_ALLOWSYNC = 0x0002;

// Notification messages delivered to the hidden window.
inline constexpr uint32_t MM_WIM_OPEN = 0x3BE;
inline constexpr uint32_t MM_WIM_CLOSE = 0x3BF;
inline constexpr uint32_t MM_WIM_DATA = 0x3C0;

// Header flags.
inline constexpr uint32_t WHDR_DONE = 0x01;
inline constexpr uint32_t WHDR_PREPARED = 0x02;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

// Layout-compatible with WAVEFORMATEX.
#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)

// The fields of WAVEHDR that the component uses, in its order.
struct WAVEHDR {
    char* lpData = nullptr;
    uint32_t dwBufferLength = 0;
    uint32_t dwBytesRecorded = 0;
    uintptr_t dwUser = 0;
    uint32_t dwFlags = 0;
    uint32_t dwLoops = 0;
    WAVEHDR* lpNext = nullptr;
    uintptr_t reserved = 0;
};

// A device's product name, at most 31 characters.
struct WAVEINCAPS {
    std::string szPname;
};

// The hidden window: receives the device's notifications on the thread that made it.
// wParam is the device handle value, lParam the header (MM_WIM_DATA).
class WaveInWindow {
public:
    using WndProc = std::function<void(uint32_t message, uintptr_t wParam, WAVEHDR* lParam)>;
    explicit WaveInWindow(WndProc proc);
    ~WaveInWindow();
    WaveInWindow(const WaveInWindow&) = delete;
    WaveInWindow& operator=(const WaveInWindow&) = delete;

    // Queues a message for the window's thread (callable from any thread).
    void Post(uint32_t message, uintptr_t wParam, WAVEHDR* lParam);
    // The platform handle given to the open call (HWND on Windows).
    void* Handle() const;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

using HWAVEIN = uintptr_t;  // 0 is no device

// The wave-input calls. Each returns MMSYSERR_NOERROR on success.
class WaveInService {
public:
    virtual ~WaveInService() = default;
    virtual uint32_t waveInGetNumDevs() = 0;
    virtual MMRESULT waveInGetDevCaps(uint32_t id, WAVEINCAPS& caps) = 0;
    // id is a device index or WAVE_MAPPER; notifications go to `window`.
    virtual MMRESULT waveInOpen(HWAVEIN& handle, int32_t id, const WAVEFORMATEX& format,
                                WaveInWindow& window, uintptr_t instance, uint32_t flags) = 0;
    virtual MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header) = 0;
    virtual MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header) = 0;
    virtual MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header) = 0;
    virtual MMRESULT waveInStart(HWAVEIN handle) = 0;
    virtual MMRESULT waveInStop(HWAVEIN handle) = 0;
    // Stops and returns every queued buffer (marked done) through MM_WIM_DATA.
    virtual MMRESULT waveInReset(HWAVEIN handle) = 0;
    virtual MMRESULT waveInClose(HWAVEIN handle) = 0;
};

// The platform's own service (winmm on Windows, PulseAudio elsewhere); lives for the process.
WaveInService& SystemWaveIn();

}  // namespace spectrino::platform
