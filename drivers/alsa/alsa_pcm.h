// One ALSA PCM, opened for capture or playback in interleaved 32-bit frames (16-bit devices are
// widened and narrowed here), with the overrun and underrun recovery the driver's thread needs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _snd_pcm snd_pcm_t;

namespace spectrino::alsa {

enum class Direction { Capture, Playback };

// What a PCM offers, learnt without configuring it.
struct PcmCapabilities {
    int channels = 0;  // the card's own count; 2 for PCMs that convert any count
    bool rate44100 = false;
    bool rate48000 = false;
};

struct PcmConfig {
    std::string device;
    Direction direction = Direction::Capture;
    unsigned rate = 44100;
    int channels = 2;
    int periodSize = 512;
    int periods = 3;
};

class AlsaPcm {
public:
    enum class Result { Ok, Recovered, Failed };

    // Opens and configures the PCM; nullptr with `error` set when that fails.
    static std::unique_ptr<AlsaPcm> Open(const PcmConfig& config, std::string& error);
    // nullopt-like: channels 0 when the PCM cannot be opened; `error` then tells why.
    static PcmCapabilities Probe(const std::string& device, Direction direction,
                                 std::string& error);

    ~AlsaPcm();
    AlsaPcm(const AlsaPcm&) = delete;
    AlsaPcm& operator=(const AlsaPcm&) = delete;

    int Channels() const { return channels_; }
    int PeriodSize() const { return periodSize_; }
    int BufferSize() const { return bufferSize_; }

    // Capture: starts the stream. Playback: fills all but one period with silence, which starts
    // it, so that each block written afterwards has a period of slack.
    Result Start();
    // Stops at once, dropping what is queued, and prepares for the next Start.
    void Stop();
    // Blocks until `frames` frames are read. An overrun restarts the stream (what was buffered
    // is lost) and answers Recovered without data; Failed means the device is unusable.
    Result Read(int32_t* interleaved, int frames);
    // Writes what fits of `frames` frames without waiting; an underrun is refilled with
    // silence first.
    Result Write(const int32_t* interleaved, int frames);
    // Overruns and underruns recovered so far.
    int Xruns() const { return xruns_; }
    // Output blocks cut short because the playback ring was full.
    int Dropped() const { return dropped_; }
    const std::string& LastError() const { return lastError_; }

private:
    AlsaPcm(snd_pcm_t* pcm, Direction direction, bool narrow, int channels, int periodSize,
            int bufferSize);
    Result Recover(int error);
    Result WriteSilence(int frames);

    snd_pcm_t* pcm_;
    Direction direction_;
    bool narrow_;  // the device takes 16-bit samples
    int channels_;
    int periodSize_;
    int bufferSize_;
    int xruns_ = 0;
    int dropped_ = 0;  // output blocks that did not fit whole
    std::vector<int16_t> narrowed_;
    std::string lastError_;
};

// Names of the PCMs ALSA's hints list for `direction` ("default" first).
std::vector<std::string> ListPcmNames(Direction direction);

}  // namespace spectrino::alsa
