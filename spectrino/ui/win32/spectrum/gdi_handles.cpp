#include "ui/win32/spectrum/gdi_handles.h"

#include <atomic>

#include "framework/exception.h"

namespace spectrino::win32 {

namespace {

std::atomic<long> g_live{0};

}  // namespace

long LiveGdiObjects() {
    return g_live.load();
}

namespace detail {

void CountCreated() {
    ++g_live;
}

void CountReleased() {
    --g_live;
}

}  // namespace detail

MemoryDc::MemoryDc() : dc_(::CreateCompatibleDC(nullptr)) {
    if (dc_ == nullptr) {
        throw Exception("CreateCompatibleDC failed");
    }
    detail::CountCreated();
}

MemoryDc::~MemoryDc() {
    if (::DeleteDC(dc_) != FALSE) {
        detail::CountReleased();
    }
}

}  // namespace spectrino::win32
