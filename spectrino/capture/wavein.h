// Records 16-bit PCM from a wave-input device and hands every filled buffer to OnData, on the
// thread that created the component.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/wavein.h"

namespace spectrino {

class TWaveIn {
public:
    // `ptr` points at BlockSize frames of Channels interleaved samples, valid during the call.
    using TWaveDataEvent = std::function<void(TWaveIn& sender, const int16_t* ptr)>;

    explicit TWaveIn(platform::WaveInService& service = platform::SystemWaveIn());
    ~TWaveIn();
    TWaveIn(const TWaveIn&) = delete;
    TWaveIn& operator=(const TWaveIn&) = delete;

    // Number of device names, "WaveMapper" included; re-reads the device list.
    uint32_t Count();
    // The name at a position of the list; raises Exception outside the list. Devices that
    // share a product name are told apart by a number (see DistinctDeviceNames).
    std::string DeviceName(int index) const;

    const std::string& CurrentDevice() const { return FCurrentDevice; }
    uint32_t SampleRate() const { return FSampleRate; }
    uint32_t BlockSize() const { return FBlockSize; }
    uint32_t WindowSize() const { return FWindowSize; }
    uint32_t Channels() const { return FChannels; }
    bool Enabled() const { return FEnabled; }

    // Each setter stores a changed value and reopens a running device; the ones that open a
    // device raise EComponentError when it cannot be opened.
    void SetCurrentDevice(const std::string& value);
    void SetSampleRate(uint32_t value);
    void SetBlockSize(uint32_t value);   // 64 .. 8192 frames
    void SetWindowSize(uint32_t value);  // 3 .. 16 buffers
    void SetChannels(uint32_t value);    // 1 or 2
    void SetEnabled(bool value);

    TWaveDataEvent OnData;
    // The device went away while recording (server gone, device unplugged); capture has
    // stopped and starts again with the next property change.
    std::function<void(TWaveIn& sender)> OnDeviceLost;

    // Buffers the component owns right now (queued or on their way back).
    size_t BufferCount() const { return FBuffers.size(); }

private:
    struct Buffer {
        platform::WAVEHDR header;
        std::vector<char> data;
    };

    struct Device {
        uint32_t id;
        std::string name;  // distinct among the devices
    };

    // The devices that answer, named as the list shows them.
    std::vector<Device> ListDevices();
    void Restart();
    int32_t FindDevice(const std::string& name);
    bool OpenDevice(int32_t id);
    bool AddBuffer();
    void CloseDevice();
    void EnumerateDevices();
    void WndProc(uint32_t message, uintptr_t wParam, platform::WAVEHDR* header);
    void BufferDone(platform::WAVEHDR* header);
    void FreeBuffer(platform::WAVEHDR* header);
    // True when the close notice is one of ours, which it then consumes.
    bool TakeOwnClose(platform::HWAVEIN handle);

    platform::WaveInService& service_;
    std::vector<std::string> FDevices;
    int32_t FCount = 0;
    std::string FCurrentDevice = "WaveMapper";
    uint32_t FSampleRate = 44100;
    uint32_t FBlockSize = 1024;
    uint32_t FWindowSize = 8;
    uint32_t FChannels = 2;
    bool FEnabled = false;
    platform::HWAVEIN FWaveIn = 0;
    int32_t FGeneration = 0;
    // Close notices still to come for handles we closed ourselves, by handle. The service may
    // hand the same handle value to the next opening before our notice is processed.
    std::map<platform::HWAVEIN, int> FOwnCloses;
    // Every header and data block made, by header, until it comes back stale or the component
    // goes; the service only borrows them.
    std::unordered_map<platform::WAVEHDR*, std::unique_ptr<Buffer>> FBuffers;
    std::unique_ptr<platform::WaveInWindow> FWindowHandle;
};

}  // namespace spectrino
