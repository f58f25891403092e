#include "wavein_pulse.h"

#if !defined(_WIN32)

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/pulse_loop.h"
#include "platform/wavein_queue.h"

namespace spectrino::platform {
namespace {

using namespace std::chrono_literals;

// How long one call waits for the server before it gives up.
constexpr std::chrono::milliseconds kServerTimeout = 3s;
// Fragment size until the first queued buffer tells the block size.
constexpr uint32_t kDefaultBlockFrames = 2048;
constexpr size_t kMaxNameCharacters = 31;

void Unref(pa_operation* operation) {
    if (operation != nullptr) {
        pa_operation_unref(operation);
    }
}

// One server connection: a threaded main loop and its context. Open streams share it; once
// the server has gone, new calls get a fresh connection while old streams keep this one
// until they are closed.
class PulseConnection {
public:
    // Null when no server answers in time.
    static std::shared_ptr<PulseConnection> Connect();
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    PulseLoop& Loop() const { return *loop_; }
    pa_context* Context() const { return context_; }

    // The members below need the loop lock.
    bool Ready() const { return pa_context_get_state(context_) == PA_CONTEXT_READY; }
    // Waits until `done` holds or the timeout has passed and returns `done()`. Loop callbacks
    // wake the waiter through Signal(). Never call it from the loop's own thread.
    bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    void Signal() { loop_->Signal(); }

private:
    struct Deadline {
        PulseConnection* connection;
        bool passed = false;
    };

    PulseConnection() = default;
    static void OnContextState(pa_context* context, void* self);
    static void OnDeadline(pa_mainloop_api* api, pa_time_event* event, const timeval* time,
                           void* deadline);

    std::unique_ptr<PulseLoop> loop_;
    pa_context* context_ = nullptr;
};

std::shared_ptr<PulseConnection> PulseConnection::Connect() {
    std::shared_ptr<PulseConnection> connection(new PulseConnection());
    connection->loop_ = std::make_unique<PulseLoop>();
    if (connection->loop_->Api() == nullptr) {
        return nullptr;
    }
    PulseLoopLock lock(*connection->loop_);
    connection->context_ = pa_context_new(connection->loop_->Api(), "Spectrino");
    if (connection->context_ == nullptr) {
        return nullptr;
    }
    pa_context_set_state_callback(connection->context_, OnContextState, connection.get());
    // A library call must never start a sound server of its own.
    if (pa_context_connect(connection->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        !connection->loop_->Start()) {
        return nullptr;
    }
    const bool settled = connection->WaitUntil(
        [&] {
            return !PA_CONTEXT_IS_GOOD(pa_context_get_state(connection->context_)) ||
                   connection->Ready();
        },
        kServerTimeout);
    if (!settled || !connection->Ready()) {
        return nullptr;
    }
    return connection;
}

PulseConnection::~PulseConnection() {
    if (loop_ != nullptr && context_ != nullptr) {
        PulseLoopLock lock(*loop_);
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    // The loop stops as it goes, after the context.
}

bool PulseConnection::WaitUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds timeout) {
    Deadline deadline{this};
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
    pa_time_event* timer =
        pa_context_rttime_new(context_, pa_rtclock_now() + span, OnDeadline, &deadline);
    if (timer == nullptr) {
        return done();
    }
    while (!done() && !deadline.passed) {
        loop_->Wait();
    }
    loop_->Api()->time_free(timer);
    return done();
}

void PulseConnection::OnContextState(pa_context*, void* self) {
    static_cast<PulseConnection*>(self)->Signal();
}

void PulseConnection::OnDeadline(pa_mainloop_api*, pa_time_event*, const timeval*, void* deadline) {
    auto* waiting = static_cast<Deadline*>(deadline);
    waiting->passed = true;
    waiting->connection->Signal();
}

// One open device: a record stream and the queue of buffers it fills. Everything after
// construction runs under the connection's loop lock, callbacks included.
class PulseCapture {
public:
    PulseCapture(std::shared_ptr<PulseConnection> connection, HWAVEIN handle, WaveInWindow& window,
                 uint32_t frame_bytes);
    ~PulseCapture();
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    // Connects a corked record stream (a null device is the default source) and waits until
    // it is ready.
    MMRESULT Open(const char* device, const pa_sample_spec& spec);
    MMRESULT Prepare(WAVEHDR* header);
    MMRESULT Unprepare(WAVEHDR* header);
    MMRESULT Add(WAVEHDR* header);
    MMRESULT Start();
    MMRESULT Stop();
    MMRESULT Reset();
    // Disconnects, unless buffers are still queued.
    MMRESULT Close();

private:
    static void OnStreamState(pa_stream* stream, void* self);
    static void OnRead(pa_stream* stream, size_t size, void* self);
    MMRESULT OpenError() const;
    void Cork(bool corked);
    void FitFragment(uint32_t bytes);
    void SetRecording(bool recording);
    void Halt();
    void Detach();

    const std::shared_ptr<PulseConnection> connection_;
    const HWAVEIN handle_;
    WaveInWindow& window_;
    const uint32_t frame_bytes_;
    const CaptureQueue::Done returned_;
    uint32_t rate_ = 0;
    uint32_t fragment_bytes_ = 0;
    pa_stream* stream_ = nullptr;
    CaptureQueue queue_;
    bool opened_ = false;
    bool lost_ = false;
    bool recording_ = false;
    bool fragment_fitted_ = false;
};

PulseCapture::PulseCapture(std::shared_ptr<PulseConnection> connection, HWAVEIN handle,
                           WaveInWindow& window, uint32_t frame_bytes)
    : connection_(std::move(connection)),
      handle_(handle),
      window_(window),
      frame_bytes_(frame_bytes),
      returned_([this](WAVEHDR* header) { window_.Post(MM_WIM_DATA, handle_, header); }) {}

PulseCapture::~PulseCapture() {
    PulseLoopLock lock(connection_->Loop());
    Detach();
}

MMRESULT PulseCapture::Open(const char* device, const pa_sample_spec& spec) {
    PulseLoopLock lock(connection_->Loop());
    if (!connection_->Ready()) {
        return MMSYSERR_NODRIVER;
    }
    stream_ = pa_stream_new(connection_->Context(), "Spectrino capture", &spec, nullptr);
    if (stream_ == nullptr) {
        return MMSYSERR_ERROR;
    }
    pa_stream_set_state_callback(stream_, OnStreamState, this);
    pa_stream_set_read_callback(stream_, OnRead, this);
    rate_ = spec.rate;
    fragment_bytes_ = kDefaultBlockFrames * frame_bytes_;

    // Without a fragment size the server hands data over only every few seconds.
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(-1);
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = kDefaultBlockFrames * frame_bytes_;
    auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    if (device != nullptr) {
        // A chosen device that goes away is lost rather than silently replaced.
        flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
    }
    if (pa_stream_connect_record(stream_, device, &attributes, flags) < 0) {
        return OpenError();
    }
    const bool ready = connection_->WaitUntil(
        [this] {
            const pa_stream_state_t state = pa_stream_get_state(stream_);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        },
        kServerTimeout);
    if (!ready) {
        return MMSYSERR_ERROR;
    }
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) {
        return OpenError();
    }
    opened_ = true;
    window_.Post(MM_WIM_OPEN, handle_, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT PulseCapture::OpenError() const {
    if (!connection_->Ready()) {
        return MMSYSERR_NODRIVER;
    }
    return pa_context_errno(connection_->Context()) == PA_ERR_NOENTITY ? MMSYSERR_BADDEVICEID
                                                                       : MMSYSERR_ERROR;
}

MMRESULT PulseCapture::Prepare(WAVEHDR* header) {
    if (header == nullptr || header->lpData == nullptr || header->dwBufferLength == 0) {
        return MMSYSERR_INVALPARAM;
    }
    PulseLoopLock lock(connection_->Loop());
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT PulseCapture::Unprepare(WAVEHDR* header) {
    if (header == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    PulseLoopLock lock(connection_->Loop());
    if ((header->dwFlags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT PulseCapture::Add(WAVEHDR* header) {
    if (header == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    PulseLoopLock lock(connection_->Loop());
    if ((header->dwFlags & WHDR_PREPARED) == 0) {
        return WAVERR_UNPREPARED;
    }
    if ((header->dwFlags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    if (header->lpData == nullptr || header->dwBufferLength == 0) {
        return MMSYSERR_INVALPARAM;
    }
    if (lost_) {
        return MMSYSERR_NODRIVER;
    }
    if (!fragment_fitted_) {
        FitFragment(header->dwBufferLength);
    }
    queue_.Append(header);
    return MMSYSERR_NOERROR;
}

MMRESULT PulseCapture::Start() {
    PulseLoopLock lock(connection_->Loop());
    if (lost_) {
        return MMSYSERR_NODRIVER;
    }
    SetRecording(true);
    Cork(false);
    return MMSYSERR_NOERROR;
}

MMRESULT PulseCapture::Stop() {
    PulseLoopLock lock(connection_->Loop());
    Halt();
    queue_.ReturnPartial(returned_);
    return MMSYSERR_NOERROR;
}

MMRESULT PulseCapture::Reset() {
    PulseLoopLock lock(connection_->Loop());
    Halt();
    queue_.Drain(returned_);
    return MMSYSERR_NOERROR;
}

MMRESULT PulseCapture::Close() {
    PulseLoopLock lock(connection_->Loop());
    if (!queue_.Empty()) {
        return WAVERR_STILLPLAYING;
    }
    Detach();
    // A lost device has said goodbye already.
    if (!lost_) {
        window_.Post(MM_WIM_CLOSE, handle_, nullptr);
    }
    return MMSYSERR_NOERROR;
}

void PulseCapture::OnStreamState(pa_stream* stream, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    if (capture->opened_ && !capture->lost_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        // The server or the source has gone: tell the window once, fill nothing more.
        capture->lost_ = true;
        capture->SetRecording(false);
        capture->window_.Post(MM_WIM_CLOSE, capture->handle_, nullptr);
    }
    capture->connection_->Signal();
}

void PulseCapture::OnRead(pa_stream* stream, size_t, void* self) {
    auto* capture = static_cast<PulseCapture*>(self);
    for (;;) {
        const void* data = nullptr;
        size_t size = 0;
        if (pa_stream_peek(stream, &data, &size) < 0 || size == 0) {
            return;
        }
        // A null fragment is a hole in the stream; it is skipped like audio nobody waits for.
        if (data != nullptr && capture->recording_ && !capture->lost_) {
            capture->queue_.Fill(static_cast<const char*>(data), size, capture->returned_);
        }
        pa_stream_drop(stream);
    }
}

void PulseCapture::Cork(bool corked) {
    if (stream_ != nullptr && pa_stream_get_state(stream_) == PA_STREAM_READY) {
        Unref(pa_stream_cork(stream_, corked ? 1 : 0, nullptr, nullptr));
        connection_->Loop().Wake();
    }
}

// While recording, the loop need not wake for every piece the server sends: twice a buffer
// hands each one over soon after it is full.
void PulseCapture::SetRecording(bool recording) {
    recording_ = recording;
    std::chrono::microseconds pace{0};
    if (recording && rate_ > 0 && frame_bytes_ > 0) {
        const uint64_t frames = fragment_bytes_ / frame_bytes_;
        pace = std::chrono::microseconds(frames * 1'000'000 / rate_ / 2);
    }
    connection_->Loop().SetPace(this, pace);
}

// Stops recording; the caller hands back what the queue holds.
void PulseCapture::Halt() {
    SetRecording(false);
    Cork(true);
}

// Blocks arrive as often as the server hands fragments over, so one fragment is one buffer.
void PulseCapture::FitFragment(uint32_t bytes) {
    fragment_fitted_ = true;
    uint32_t fragment = bytes - bytes % frame_bytes_;
    if (fragment == 0) {
        fragment = frame_bytes_;
    }
    fragment_bytes_ = fragment;
    if (recording_) {
        SetRecording(true);
    }
    if (fragment == kDefaultBlockFrames * frame_bytes_ || stream_ == nullptr ||
        pa_stream_get_state(stream_) != PA_STREAM_READY) {
        return;
    }
    pa_buffer_attr attributes = *pa_stream_get_buffer_attr(stream_);
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.fragsize = fragment;
    Unref(pa_stream_set_buffer_attr(stream_, &attributes, nullptr, nullptr));
    connection_->Loop().Wake();
}

void PulseCapture::Detach() {
    if (stream_ == nullptr) {
        return;
    }
    SetRecording(false);
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
        pa_stream_disconnect(stream_);
    }
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

struct Source {
    std::string name;
    std::string description;
};

// The first 31 characters of a UTF-8 text, never splitting a character.
std::string CutName(const std::string& text) {
    size_t characters = 0;
    size_t end = 0;
    for (; end < text.size(); ++end) {
        const bool starts_character = (static_cast<unsigned char>(text[end]) & 0xC0) != 0x80;
        if (starts_character && characters++ == kMaxNameCharacters) {
            break;
        }
    }
    return text.substr(0, end);
}

bool ToSampleSpec(const WAVEFORMATEX& format, pa_sample_spec& spec) {
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16 ||
        (format.nChannels != 1 && format.nChannels != 2) ||
        format.nBlockAlign != format.nChannels * 2) {
        return false;
    }
    spec.format = PA_SAMPLE_S16LE;
    spec.rate = format.nSamplesPerSec;
    spec.channels = static_cast<uint8_t>(format.nChannels);
    return pa_sample_spec_valid(&spec) != 0;
}

class PulseWaveIn final : public WaveInService {
public:
    uint32_t waveInGetNumDevs() override;
    MMRESULT waveInGetDevCaps(uint32_t id, WAVEINCAPS& caps) override;
    MMRESULT waveInOpen(HWAVEIN& handle, int32_t id, const WAVEFORMATEX& format,
                        WaveInWindow& window, uintptr_t instance, uint32_t flags) override;
    MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header) override {
        return OnCapture(handle,
                         [header](PulseCapture& capture) { return capture.Prepare(header); });
    }
    MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header) override {
        return OnCapture(handle,
                         [header](PulseCapture& capture) { return capture.Unprepare(header); });
    }
    MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header) override {
        return OnCapture(handle, [header](PulseCapture& capture) { return capture.Add(header); });
    }
    MMRESULT waveInStart(HWAVEIN handle) override {
        return OnCapture(handle, [](PulseCapture& capture) { return capture.Start(); });
    }
    MMRESULT waveInStop(HWAVEIN handle) override {
        return OnCapture(handle, [](PulseCapture& capture) { return capture.Stop(); });
    }
    MMRESULT waveInReset(HWAVEIN handle) override {
        return OnCapture(handle, [](PulseCapture& capture) { return capture.Reset(); });
    }
    MMRESULT waveInClose(HWAVEIN handle) override;

private:
    template <typename Call>
    MMRESULT OnCapture(HWAVEIN handle, Call call) {
        std::lock_guard lock(mutex_);
        const auto found = captures_.find(handle);
        return found == captures_.end() ? MMSYSERR_INVALHANDLE : call(*found->second);
    }
    // The members below need `mutex_`.
    std::shared_ptr<PulseConnection> Connection();
    std::vector<Source> ReadSources();
    void TakeSnapshot();

    std::mutex mutex_;
    std::shared_ptr<PulseConnection> connection_;
    std::vector<Source> sources_;
    bool snapshot_taken_ = false;
    std::map<HWAVEIN, std::unique_ptr<PulseCapture>> captures_;
    HWAVEIN last_handle_ = 0;
};

uint32_t PulseWaveIn::waveInGetNumDevs() {
    std::lock_guard lock(mutex_);
    TakeSnapshot();
    return static_cast<uint32_t>(sources_.size());
}

MMRESULT PulseWaveIn::waveInGetDevCaps(uint32_t id, WAVEINCAPS& caps) {
    std::lock_guard lock(mutex_);
    if (!snapshot_taken_) {
        TakeSnapshot();
    }
    if (id >= sources_.size()) {
        return MMSYSERR_BADDEVICEID;
    }
    caps.szPname = CutName(sources_[id].description);
    return MMSYSERR_NOERROR;
}

// Window notifications are the only kind there is here, so `instance` and `flags` change
// nothing.
MMRESULT PulseWaveIn::waveInOpen(HWAVEIN& handle, int32_t id, const WAVEFORMATEX& format,
                                 WaveInWindow& window, uintptr_t, uint32_t) {
    std::lock_guard lock(mutex_);
    handle = 0;
    std::string device;
    if (id != WAVE_MAPPER) {
        if (!snapshot_taken_) {
            TakeSnapshot();
        }
        if (id < 0 || static_cast<size_t>(id) >= sources_.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        device = sources_[static_cast<size_t>(id)].name;
    }
    pa_sample_spec spec;
    if (!ToSampleSpec(format, spec)) {
        return WAVERR_BADFORMAT;
    }
    const std::shared_ptr<PulseConnection> connection = Connection();
    if (connection == nullptr) {
        return MMSYSERR_NODRIVER;
    }
    const HWAVEIN next = last_handle_ + 1;
    auto capture = std::make_unique<PulseCapture>(connection, next, window,
                                                  static_cast<uint32_t>(pa_frame_size(&spec)));
    const MMRESULT result = capture->Open(id == WAVE_MAPPER ? nullptr : device.c_str(), spec);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    last_handle_ = next;
    captures_.emplace(next, std::move(capture));
    handle = next;
    return MMSYSERR_NOERROR;
}

MMRESULT PulseWaveIn::waveInClose(HWAVEIN handle) {
    std::lock_guard lock(mutex_);
    const auto found = captures_.find(handle);
    if (found == captures_.end()) {
        return MMSYSERR_INVALHANDLE;
    }
    const MMRESULT result = found->second->Close();
    if (result == MMSYSERR_NOERROR) {
        captures_.erase(found);
    }
    return result;
}

std::shared_ptr<PulseConnection> PulseWaveIn::Connection() {
    if (connection_ != nullptr) {
        PulseLoopLock lock(connection_->Loop());
        if (connection_->Ready()) {
            return connection_;
        }
    }
    connection_ = PulseConnection::Connect();
    return connection_;
}

std::vector<Source> PulseWaveIn::ReadSources() {
    struct Listing {
        PulseConnection* connection;
        std::vector<Source> sources;
        bool complete = false;
        bool failed = false;
    };
    const std::shared_ptr<PulseConnection> connection = Connection();
    if (connection == nullptr) {
        return {};
    }
    Listing listing{connection.get(), {}};
    const auto on_source = [](pa_context*, const pa_source_info* info, int last, void* data) {
        auto* listing = static_cast<Listing*>(data);
        if (last != 0) {
            listing->failed = last < 0;
            listing->complete = true;
            listing->connection->Signal();
            return;
        }
        listing->sources.push_back(
            {info->name, info->description != nullptr ? info->description : info->name});
    };
    PulseLoopLock lock(connection->Loop());
    pa_operation* operation =
        pa_context_get_source_info_list(connection->Context(), on_source, &listing);
    if (operation == nullptr) {
        return {};
    }
    connection->WaitUntil([&] { return listing.complete || !connection->Ready(); }, kServerTimeout);
    if (!listing.complete) {
        // The listing lives on this stack frame: no late callback may reach it.
        pa_operation_cancel(operation);
    }
    pa_operation_unref(operation);
    if (!listing.complete || listing.failed) {
        return {};
    }
    return std::move(listing.sources);
}

void PulseWaveIn::TakeSnapshot() {
    sources_ = ReadSources();
    snapshot_taken_ = true;
}

}  // namespace

std::unique_ptr<WaveInService> MakePulseWaveIn() {
    return std::make_unique<PulseWaveIn>();
}

}  // namespace spectrino::platform

#endif
