#include "capture/wavein.h"

#include <algorithm>

#include "capture/device_names.h"
#include "framework/exception.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"

namespace spectrino {

using namespace platform;

namespace {

constexpr const char* kMapperName = "WaveMapper";

}  // namespace

TWaveIn::TWaveIn(WaveInService& service)
    : service_(service),
      FWindowHandle(std::make_unique<WaveInWindow>(
          [this](uint32_t message, uintptr_t wParam, WAVEHDR* header) {
              WndProc(message, wParam, header);
          })) {
    EnumerateDevices();
}

TWaveIn::~TWaveIn() {
    FEnabled = false;
    try {
        Restart();
    } catch (const Exception&) {
        // Closing cannot fail in a way worth reporting on the way out.
    }
    // No notification may reach a component that is going.
    FWindowHandle.reset();
}

uint32_t TWaveIn::Count() {
    EnumerateDevices();
    return static_cast<uint32_t>(FCount);
}

std::string TWaveIn::DeviceName(int index) const {
    if (index < 0 || index >= static_cast<int>(FDevices.size())) {
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    }
    return FDevices[static_cast<size_t>(index)];
}

void TWaveIn::SetCurrentDevice(const std::string& value) {
    if (value != FCurrentDevice) {
        FCurrentDevice = value;
        Restart();
    }
}

void TWaveIn::SetSampleRate(uint32_t value) {
    if (value != FSampleRate) {
        FSampleRate = value;
        Restart();
    }
}

void TWaveIn::SetBlockSize(uint32_t value) {
    value = std::clamp<uint32_t>(value, 64, 8192);
    if (value != FBlockSize) {
        FBlockSize = value;
        Restart();
    }
}

void TWaveIn::SetWindowSize(uint32_t value) {
    value = std::clamp<uint32_t>(value, 3, 16);
    if (value != FWindowSize) {
        FWindowSize = value;
        Restart();
    }
}

void TWaveIn::SetChannels(uint32_t value) {
    value = std::clamp<uint32_t>(value, 1, 2);
    if (value != FChannels) {
        FChannels = value;
        Restart();
    }
}

void TWaveIn::SetEnabled(bool value) {
    if (value != FEnabled) {
        FEnabled = value;
        Restart();
    }
}

std::vector<TWaveIn::Device> TWaveIn::ListDevices() {
    std::vector<Device> devices;
    std::vector<std::string> names;
    const uint32_t n = service_.waveInGetNumDevs();
    for (uint32_t id = 0; id < n; ++id) {
        WAVEINCAPS caps;
        if (service_.waveInGetDevCaps(id, caps) == MMSYSERR_NOERROR) {
            devices.push_back({id, {}});
            names.push_back(caps.szPname);
        }
    }
    names = DistinctDeviceNames(names, {kMapperName});
    for (size_t i = 0; i < devices.size(); ++i) {
        devices[i].name = std::move(names[i]);
    }
    return devices;
}

void TWaveIn::EnumerateDevices() {
    FDevices.clear();
    FDevices.emplace_back(kMapperName);
    for (Device& device : ListDevices()) {
        FDevices.push_back(std::move(device.name));
    }
    FCount = static_cast<int32_t>(FDevices.size());
}

int32_t TWaveIn::FindDevice(const std::string& name) {
    if (name == kMapperName) {
        return WAVE_MAPPER;
    }
    for (const Device& device : ListDevices()) {
        if (device.name == name) {
            return static_cast<int32_t>(device.id);
        }
    }
    return -2;
}

void TWaveIn::Restart() {
    CloseDevice();
    if (!FEnabled) {
        return;
    }
    const int32_t id = FindDevice(FCurrentDevice);
    if (id == -2) {
        throw EComponentError("Invalid Soundcard selected");
    }
    if (!OpenDevice(id)) {
        throw EComponentError("Soundcard could not be opened!");
    }
}

bool TWaveIn::OpenDevice(int32_t id) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<uint16_t>(FChannels);
    format.nSamplesPerSec = FSampleRate;
    format.nAvgBytesPerSec = FSampleRate * 2 * FChannels;
    format.nBlockAlign = static_cast<uint16_t>(FChannels * 2);
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    const MMRESULT error =
        service_.waveInOpen(FWaveIn, id, format, *FWindowHandle,
                            static_cast<uintptr_t>(FGeneration), CALLBACK_WINDOW | WAVE_ALLOWSYNC);
    if (error != MMSYSERR_NOERROR) {
        FWaveIn = 0;
        DebugOutput("waveOutOpen(Ex) failed: " + std::to_string(error));
        return false;
    }
    for (uint32_t i = 0; i < FWindowSize; ++i) {
        if (!AddBuffer()) {
            CloseDevice();
            return false;
        }
    }
    if (service_.waveInStart(FWaveIn) != MMSYSERR_NOERROR) {
        CloseDevice();
        return false;
    }
    return true;
}

bool TWaveIn::AddBuffer() {
    auto buffer = std::make_unique<Buffer>();
    buffer->data.assign(static_cast<size_t>(FBlockSize) * FChannels * 2, 0);
    WAVEHDR* header = &buffer->header;
    header->lpData = buffer->data.data();
    header->dwBufferLength = static_cast<uint32_t>(buffer->data.size());
    header->dwUser = static_cast<uintptr_t>(FGeneration);
    header->dwFlags = 0;
    MMRESULT error = service_.waveInPrepareHeader(FWaveIn, header);
    if (error != MMSYSERR_NOERROR) {
        DebugOutput("waveInPrepareHeader failed: " + std::to_string(error));
        return false;
    }
    FBuffers.emplace(header, std::move(buffer));
    error = service_.waveInAddBuffer(FWaveIn, header);
    if (error != MMSYSERR_NOERROR) {
        service_.waveInUnprepareHeader(FWaveIn, header);
        FBuffers.erase(header);
        DebugOutput("waveInAddBuffer failed: " + std::to_string(error));
        return false;
    }
    return true;
}

void TWaveIn::CloseDevice() {
    if (FWaveIn == 0) {
        return;
    }
    // Counting first makes every buffer the reset returns, and every notification still
    // queued, stale.
    ++FGeneration;
    service_.waveInReset(FWaveIn);
    service_.waveInStop(FWaveIn);
    if (service_.waveInClose(FWaveIn) == MMSYSERR_NOERROR) {
        ++FOwnCloses[FWaveIn];
    }
    FWaveIn = 0;
}

void TWaveIn::WndProc(uint32_t message, uintptr_t wParam, WAVEHDR* header) {
    if (message == MM_WIM_DATA) {
        Guarded([&] { BufferDone(header); });
    } else if (message == MM_WIM_CLOSE && wParam != 0) {
        if (TakeOwnClose(wParam)) {
            return;
        }
        if (wParam == FWaveIn) {
            // Closed under us rather than by CloseDevice: the device is gone.
            CloseDevice();
            if (OnDeviceLost) {
                Guarded([&] { OnDeviceLost(*this); });
            }
        }
    }
}

bool TWaveIn::TakeOwnClose(HWAVEIN handle) {
    const auto found = FOwnCloses.find(handle);
    if (found == FOwnCloses.end()) {
        return false;
    }
    if (--found->second == 0) {
        FOwnCloses.erase(found);
    }
    return true;
}

void TWaveIn::FreeBuffer(WAVEHDR* header) {
    FBuffers.erase(header);
}

void TWaveIn::BufferDone(WAVEHDR* header) {
    if (FBuffers.find(header) == FBuffers.end()) {
        return;  // not one of ours
    }
    if (!FEnabled || header->dwUser != static_cast<uintptr_t>(FGeneration)) {
        service_.waveInUnprepareHeader(FWaveIn, header);
        FreeBuffer(header);
        return;
    }
    if ((header->dwFlags & WHDR_DONE) == 0) {
        return;
    }
    // Notices are handled in the order they were posted, so once the current opening delivers,
    // every notice of an earlier opening with the same handle is behind us; one that never
    // came (a lost device says goodbye only once) must not hide a later loss.
    FOwnCloses.erase(FWaveIn);
    if (OnData) {
        OnData(*this, reinterpret_cast<const int16_t*>(header->lpData));
    }
    service_.waveInUnprepareHeader(FWaveIn, header);
    if (service_.waveInPrepareHeader(FWaveIn, header) != MMSYSERR_NOERROR ||
        service_.waveInAddBuffer(FWaveIn, header) != MMSYSERR_NOERROR) {
        service_.waveInUnprepareHeader(FWaveIn, header);
        FreeBuffer(header);
    }
}

}  // namespace spectrino
