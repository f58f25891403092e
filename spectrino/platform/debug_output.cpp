#include "debug_output.h"

#include <atomic>
#include <cstdio>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace spectrino::platform {
namespace {

std::atomic<DebugCapture*> g_capture{nullptr};

}  // namespace

void DebugOutput(std::string_view line) {
    if (DebugCapture* capture = g_capture.load(std::memory_order_acquire)) {
        capture->Write(line);
        return;
    }
    std::string text(line);
#if defined(_WIN32)
    OutputDebugStringA(text.c_str());
#else
    text += '\n';
    std::fputs(text.c_str(), stderr);
#endif
}

DebugCapture::DebugCapture() : previous_(g_capture.exchange(this, std::memory_order_acq_rel)) {}

DebugCapture::~DebugCapture() {
    g_capture.store(previous_, std::memory_order_release);
}

}  // namespace spectrino::platform
