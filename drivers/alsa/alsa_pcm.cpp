#include "alsa_pcm.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace spectrino::alsa {

namespace {

// Longer than an idle sound server may take to wake up and deliver its first data.
constexpr int kSilentDeviceMs = 5000;

snd_pcm_stream_t StreamOf(Direction direction) {
    return direction == Direction::Capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
}

struct HwParamsDeleter {
    void operator()(snd_pcm_hw_params_t* params) const { snd_pcm_hw_params_free(params); }
};
using HwParams = std::unique_ptr<snd_pcm_hw_params_t, HwParamsDeleter>;

struct SwParamsDeleter {
    void operator()(snd_pcm_sw_params_t* params) const { snd_pcm_sw_params_free(params); }
};
using SwParams = std::unique_ptr<snd_pcm_sw_params_t, SwParamsDeleter>;

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

HwParams NewHwParams() {
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_malloc(&params);
    return HwParams(params);
}

std::string Describe(const char* what, int error) {
    return std::string(what) + ": " + snd_strerror(error);
}

}  // namespace

PcmCapabilities AlsaPcm::Probe(const std::string& device, Direction direction, std::string& error) {
    PcmCapabilities capabilities;
    snd_pcm_t* raw = nullptr;
    if (const int result = snd_pcm_open(&raw, device.c_str(), StreamOf(direction), 0); result < 0) {
        error = Describe(device.c_str(), result);
        return capabilities;
    }
    const PcmHandle pcm(raw);
    const HwParams params = NewHwParams();
    if (!params || snd_pcm_hw_params_any(raw, params.get()) < 0) {
        error = device + ": no usable configuration";
        return capabilities;
    }
    unsigned minimum = 0;
    unsigned maximum = 0;
    snd_pcm_hw_params_get_channels_min(params.get(), &minimum);
    snd_pcm_hw_params_get_channels_max(params.get(), &maximum);
    if (minimum == maximum || snd_pcm_type(raw) == SND_PCM_TYPE_HW) {
        capabilities.channels = static_cast<int>(maximum);
    } else {
        // A converting PCM takes any count; stereo is what it stands for.
        capabilities.channels = static_cast<int>(std::clamp(2u, minimum, maximum));
    }
    capabilities.rate44100 = snd_pcm_hw_params_test_rate(raw, params.get(), 44100, 0) == 0;
    capabilities.rate48000 = snd_pcm_hw_params_test_rate(raw, params.get(), 48000, 0) == 0;
    return capabilities;
}

std::unique_ptr<AlsaPcm> AlsaPcm::Open(const PcmConfig& config, std::string& error) {
    snd_pcm_t* raw = nullptr;
    if (const int result = snd_pcm_open(&raw, config.device.c_str(), StreamOf(config.direction), 0);
        result < 0) {
        error = Describe(config.device.c_str(), result);
        return nullptr;
    }
    PcmHandle pcm(raw);
    const HwParams params = NewHwParams();
    if (!params || snd_pcm_hw_params_any(raw, params.get()) < 0 ||
        snd_pcm_hw_params_set_access(raw, params.get(), SND_PCM_ACCESS_RW_INTERLEAVED) < 0) {
        error = config.device + ": interleaved access not offered";
        return nullptr;
    }
    bool narrow = false;
    if (snd_pcm_hw_params_set_format(raw, params.get(), SND_PCM_FORMAT_S32_LE) < 0) {
        if (snd_pcm_hw_params_set_format(raw, params.get(), SND_PCM_FORMAT_S16_LE) < 0) {
            error = config.device + ": neither 32-bit nor 16-bit samples offered";
            return nullptr;
        }
        narrow = true;
    }
    if (const int result = snd_pcm_hw_params_set_channels(raw, params.get(),
                                                          static_cast<unsigned>(config.channels));
        result < 0) {
        error = Describe("channels", result);
        return nullptr;
    }
    if (const int result = snd_pcm_hw_params_set_rate(raw, params.get(), config.rate, 0);
        result < 0) {
        error = Describe("sample rate", result);
        return nullptr;
    }
    snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(config.periodSize);
    int direction = 0;
    snd_pcm_hw_params_set_period_size_near(raw, params.get(), &period, &direction);
    unsigned periods = static_cast<unsigned>(config.periods);
    snd_pcm_hw_params_set_periods_near(raw, params.get(), &periods, &direction);
    if (const int result = snd_pcm_hw_params(raw, params.get()); result < 0) {
        error = Describe("hardware parameters", result);
        return nullptr;
    }
    snd_pcm_uframes_t buffer = 0;
    snd_pcm_hw_params_get_period_size(params.get(), &period, &direction);
    snd_pcm_hw_params_get_buffer_size(params.get(), &buffer);
    // Blocks are read and written whole, whatever period the device settled on.
    const auto block = static_cast<snd_pcm_uframes_t>(config.periodSize);
    if (buffer < 2 * block) {
        error = config.device + ": the ring buffer cannot hold two blocks";
        return nullptr;
    }

    snd_pcm_sw_params_t* rawSw = nullptr;
    snd_pcm_sw_params_malloc(&rawSw);
    const SwParams sw(rawSw);
    if (!sw || snd_pcm_sw_params_current(raw, sw.get()) < 0 ||
        snd_pcm_sw_params_set_avail_min(raw, sw.get(), block) < 0 ||
        // Started explicitly (capture) or by the silence written before the first block.
        snd_pcm_sw_params_set_start_threshold(
            raw, sw.get(), config.direction == Direction::Capture ? buffer : buffer - block) < 0 ||
        snd_pcm_sw_params(raw, sw.get()) < 0) {
        error = config.device + ": software parameters refused";
        return nullptr;
    }
    if (const int result = snd_pcm_prepare(raw); result < 0) {
        error = Describe("prepare", result);
        return nullptr;
    }
    return std::unique_ptr<AlsaPcm>(new AlsaPcm(pcm.release(), config.direction, narrow,
                                                config.channels, config.periodSize,
                                                static_cast<int>(buffer)));
}

AlsaPcm::AlsaPcm(snd_pcm_t* pcm, Direction direction, bool narrow, int channels, int periodSize,
                 int bufferSize)
    : pcm_(pcm),
      direction_(direction),
      narrow_(narrow),
      channels_(channels),
      periodSize_(periodSize),
      bufferSize_(bufferSize) {
    if (narrow_) {
        narrowed_.resize(static_cast<std::size_t>(channels_) *
                         static_cast<std::size_t>(bufferSize_));
    }
}

AlsaPcm::~AlsaPcm() {
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
}

AlsaPcm::Result AlsaPcm::Start() {
    if (direction_ == Direction::Playback) {
        return WriteSilence(bufferSize_ - periodSize_);
    }
    if (const int result = snd_pcm_start(pcm_); result < 0) {
        return Recover(result);
    }
    return Result::Ok;
}

void AlsaPcm::Stop() {
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
}

AlsaPcm::Result AlsaPcm::Recover(int error) {
    lastError_ = snd_strerror(error);
    if (error == -EPIPE || error == -ESTRPIPE) {
        ++xruns_;
        int result = error == -ESTRPIPE ? snd_pcm_resume(pcm_) : -1;
        while (result == -EAGAIN) {
            result = snd_pcm_resume(pcm_);
        }
        if (result < 0 && snd_pcm_prepare(pcm_) < 0) {
            return Result::Failed;
        }
        if (direction_ == Direction::Playback) {
            return WriteSilence(bufferSize_ - periodSize_) == Result::Failed ? Result::Failed
                                                                             : Result::Recovered;
        }
        return snd_pcm_start(pcm_) < 0 ? Result::Failed : Result::Recovered;
    }
    return Result::Failed;  // the device went away or broke: only a reopen can help
}

AlsaPcm::Result AlsaPcm::Read(int32_t* interleaved, int frames) {
    int done = 0;
    while (done < frames) {
        const auto offset = static_cast<std::size_t>(done) * static_cast<std::size_t>(channels_);
        void* target = narrow_ ? static_cast<void*>(narrowed_.data() + offset)
                               : static_cast<void*>(interleaved + offset);
        // A device that stops delivering without an error (a hung server) counts as gone.
        const int ready = snd_pcm_wait(pcm_, kSilentDeviceMs);
        if (ready == 0) {
            lastError_ = "no data for " + std::to_string(kSilentDeviceMs) + " ms";
            return Result::Failed;
        }
        if (ready < 0) {
            return Recover(ready);
        }
        const snd_pcm_sframes_t got =
            snd_pcm_readi(pcm_, target, static_cast<snd_pcm_uframes_t>(frames - done));
        if (got == -EAGAIN || got == -EINTR) {
            continue;
        }
        if (got < 0) {
            return Recover(static_cast<int>(got));
        }
        done += static_cast<int>(got);
    }
    if (narrow_) {
        const auto count = static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_);
        for (std::size_t i = 0; i < count; ++i) {
            interleaved[i] = static_cast<int32_t>(static_cast<uint32_t>(narrowed_[i]) << 16);
        }
    }
    return Result::Ok;
}

AlsaPcm::Result AlsaPcm::Write(const int32_t* interleaved, int frames) {
    const auto count = static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_);
    if (narrow_) {
        for (std::size_t i = 0; i < count; ++i) {
            narrowed_[i] = static_cast<int16_t>(interleaved[i] >> 16);
        }
    }
    // Never waits: the capture side paces the stream, and a playback ring that is still full
    // (its clock behind, or not draining) drops the part of the block that does not fit.
    snd_pcm_sframes_t room = snd_pcm_avail_update(pcm_);
    if (room < 0) {
        if (Recover(static_cast<int>(room)) == Result::Failed) {
            return Result::Failed;
        }
        room = snd_pcm_avail_update(pcm_);
        if (room < 0) {
            lastError_ = snd_strerror(static_cast<int>(room));
            return Result::Failed;
        }
    }
    const auto fits = static_cast<int>(std::min<snd_pcm_sframes_t>(frames, room));
    if (fits > 0) {
        const void* source = narrow_ ? static_cast<const void*>(narrowed_.data())
                                     : static_cast<const void*>(interleaved);
        const snd_pcm_sframes_t put =
            snd_pcm_writei(pcm_, source, static_cast<snd_pcm_uframes_t>(fits));
        if (put < 0 && put != -EAGAIN && put != -EINTR) {
            return Recover(static_cast<int>(put));
        }
    }
    if (fits < frames) {
        ++dropped_;
    }
    return Result::Ok;
}

AlsaPcm::Result AlsaPcm::WriteSilence(int frames) {
    const std::size_t bytes = static_cast<std::size_t>(
        snd_pcm_frames_to_bytes(pcm_, static_cast<snd_pcm_sframes_t>(frames)));
    std::vector<char> silence(bytes, 0);
    int done = 0;
    while (done < frames) {
        const snd_pcm_sframes_t put =
            snd_pcm_writei(pcm_, silence.data() + snd_pcm_frames_to_bytes(pcm_, done),
                           static_cast<snd_pcm_uframes_t>(frames - done));
        if (put == -EAGAIN) {
            break;  // full already
        }
        if (put == -EINTR) {
            continue;
        }
        if (put < 0) {
            // Not Recover: an underrun here would only lead back to this loop.
            lastError_ = snd_strerror(static_cast<int>(put));
            return put == -EPIPE && snd_pcm_prepare(pcm_) == 0 ? Result::Recovered : Result::Failed;
        }
        done += static_cast<int>(put);
    }
    return Result::Ok;
}

std::vector<std::string> ListPcmNames(Direction direction) {
    std::vector<std::string> names{"default"};
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0) {
        return names;
    }
    const char* unwanted = direction == Direction::Capture ? "Output" : "Input";
    for (void** hint = hints; *hint != nullptr; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        char* io = snd_device_name_get_hint(*hint, "IOID");
        // No IOID: the PCM works both ways.
        if (name != nullptr && (io == nullptr || std::strcmp(io, unwanted) != 0) &&
            std::find(names.begin(), names.end(), name) == names.end()) {
            names.emplace_back(name);
        }
        std::free(name);
        std::free(io);
    }
    snd_device_name_free_hint(hints);
    return names;
}

}  // namespace spectrino::alsa
