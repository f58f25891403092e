// The queue of buffers a capture device fills: captured bytes go into the queued headers
// strictly in queue order, and every header that leaves the queue is marked done.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>

#include "platform/wavein.h"

namespace spectrino::platform {

class CaptureQueue {
public:
    // Receives each header as it leaves the queue.
    using Done = std::function<void(WAVEHDR*)>;

    bool Empty() const { return headers_.empty(); }
    // Queues a header: in-queue, not done, nothing recorded yet.
    void Append(WAVEHDR* header);
    // Copies bytes into the queued headers; each header filled up is handed to `done`. Bytes
    // for which no header is queued are dropped.
    void Fill(const char* data, size_t size, const Done& done);
    // Hands back the front header when it holds part of a block (a stopped device does that).
    void ReturnPartial(const Done& done);
    // Hands back every header, each with what it holds so far.
    void Drain(const Done& done);

private:
    void PopFront(const Done& done);

    std::deque<WAVEHDR*> headers_;
};

}  // namespace spectrino::platform
