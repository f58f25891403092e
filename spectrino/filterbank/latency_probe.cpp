#include "filterbank/latency_probe.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/debug_output.h"

namespace spectrino::latency_probe {
namespace {

// A tone well above silence and rounding noise, and a bar well above the floor.
constexpr float kToneAmplitude = 0.01f;
constexpr int32_t kRaisedLevel = -4000;

std::atomic<bool> toneSeen{false};
std::atomic<bool> barSeen{false};

void Report(const std::string& what) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    platform::DebugOutput("latency-probe: " + what + " " + std::to_string(ns));
}

}  // namespace

bool Enabled() {
    static const bool enabled = std::getenv("SPECTRINO_LATENCY_PROBE") != nullptr;
    return enabled;
}

void SamplesArrived(const float* samples, int32_t count) {
    if (!Enabled() || toneSeen.load(std::memory_order_relaxed)) {
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (std::abs(samples[i]) > kToneAmplitude) {
            if (!toneSeen.exchange(true)) {
                Report("samples " + std::to_string(count));
            }
            return;
        }
    }
}

void LevelsDrawn(const int32_t* levels, int count) {
    if (!Enabled() || barSeen.load(std::memory_order_relaxed)) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        if (levels[i] >= kRaisedLevel) {
            if (!barSeen.exchange(true)) {
                Report("bar " + std::to_string(i));
            }
            return;
        }
    }
}

}  // namespace spectrino::latency_probe
