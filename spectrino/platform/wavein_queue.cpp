#include "wavein_queue.h"

#include <algorithm>
#include <cstring>

namespace spectrino::platform {

void CaptureQueue::Append(WAVEHDR* header) {
    header->dwBytesRecorded = 0;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    headers_.push_back(header);
}

void CaptureQueue::Fill(const char* data, size_t size, const Done& done) {
    while (size > 0 && !headers_.empty()) {
        WAVEHDR* header = headers_.front();
        const size_t room = header->dwBufferLength - header->dwBytesRecorded;
        const size_t count = std::min(room, size);
        std::memcpy(header->lpData + header->dwBytesRecorded, data, count);
        header->dwBytesRecorded += static_cast<uint32_t>(count);
        data += count;
        size -= count;
        if (header->dwBytesRecorded == header->dwBufferLength) {
            PopFront(done);
        }
    }
}

void CaptureQueue::ReturnPartial(const Done& done) {
    if (!headers_.empty() && headers_.front()->dwBytesRecorded > 0) {
        PopFront(done);
    }
}

void CaptureQueue::Drain(const Done& done) {
    while (!headers_.empty()) {
        PopFront(done);
    }
}

void CaptureQueue::PopFront(const Done& done) {
    WAVEHDR* header = headers_.front();
    headers_.pop_front();
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    done(header);
}

}  // namespace spectrino::platform
