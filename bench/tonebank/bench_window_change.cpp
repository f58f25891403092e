// How long a window change, or a display refresh, keeps the bank's lock from a feed. A prober
// thread stands in for the audio thread: it takes the lock over and over and records its longest
// wait during each change, which is the longest stretch that change held the lock. On a busy
// machine a single wait may also include the prober being descheduled, so the median over the
// changes is given beside the maximum. The iterations alternate between the window under test and
// the rectangular one, as a user flicking through the menu would.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bank.h"
#include "core/bandtable.h"

namespace {

using BankPtr = std::unique_ptr<goertzel_bank, decltype(&goertzel_destroy)>;
using Clock = std::chrono::steady_clock;

BankPtr BandBank(uint32_t rate) {
    BankPtr bank(goertzel_create(rate), &goertzel_destroy);
    const auto table = spectrino::ComputeBands(static_cast<float>(rate));
    for (int i = 0; i < spectrino::kBandCount; ++i) {
        goertzel_addbin(bank.get(), table.BandCentres[i], table.BandWidths[i]);
    }
    return bank;
}

// Takes the bank's lock in a loop until stopped; keeps the longest wait for it.
class LockProber {
public:
    explicit LockProber(goertzel_bank& bank) : bank_(bank), thread_([this] { Run(); }) {}
    ~LockProber() { Stop(); }
    LockProber(const LockProber&) = delete;
    LockProber& operator=(const LockProber&) = delete;

    void Stop() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    // The longest wait since the last call, in milliseconds.
    double TakeLongestWaitMs() { return static_cast<double>(longest_ns_.exchange(0)) / 1e6; }

private:
    void Run() {
        while (!stop_) {
            const auto before = Clock::now();
            { const std::lock_guard guard(bank_.lock); }
            const int64_t waited =
                std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - before).count();
            int64_t longest = longest_ns_.load();
            while (waited > longest && !longest_ns_.compare_exchange_weak(longest, waited)) {
            }
            std::this_thread::yield();
        }
    }

    goertzel_bank& bank_;
    std::atomic<bool> stop_{false};
    std::atomic<int64_t> longest_ns_{0};
    std::thread thread_;
};

void BM_WindowChangeLockHold(benchmark::State& state) {
    const auto rate = static_cast<uint32_t>(state.range(0));
    const auto window = static_cast<int32_t>(state.range(1));
    auto bank = BandBank(rate);
    LockProber prober(*bank);
    std::vector<double> holds;
    bool shaped = false;
    for (auto _ : state) {
        shaped = !shaped;
        prober.TakeLongestWaitMs();
        goertzel_setwindowing(bank.get(), shaped ? window : 0);
        // The change to the shaped window is the long one.
        const double hold = prober.TakeLongestWaitMs();
        if (shaped) {
            holds.push_back(hold);
        }
    }
    prober.Stop();
    std::sort(holds.begin(), holds.end());
    state.counters["hold_max_ms"] = holds.empty() ? 0.0 : holds.back();
    state.counters["hold_median_ms"] = holds.empty() ? 0.0 : holds[holds.size() / 2];
}

// The longest a feed waits while a display refresh (128 results after a capture block) reads
// the bank: each result holds the lock for its own recurrence, so this is the longest band's.
void BM_RefreshLockHold(benchmark::State& state) {
    const auto rate = static_cast<uint32_t>(state.range(0));
    auto bank = BandBank(rate);
    goertzel_setwindowing(bank.get(), static_cast<int32_t>(state.range(1)));
    std::vector<float> block(rate, 0.25f);
    goertzel_addsamples(bank.get(), block.data(), rate);
    LockProber prober(*bank);
    std::vector<double> holds;
    for (auto _ : state) {
        goertzel_addsamples(bank.get(), block.data(), 2048);
        prober.TakeLongestWaitMs();
        double sum = 0.0;
        for (uint32_t i = 0; i < bank->bin_count; ++i) {
            sum += goertzel_getresult(bank.get(), i);
        }
        benchmark::DoNotOptimize(sum);
        holds.push_back(prober.TakeLongestWaitMs());
    }
    prober.Stop();
    std::sort(holds.begin(), holds.end());
    state.counters["hold_max_ms"] = holds.empty() ? 0.0 : holds.back();
    state.counters["hold_median_ms"] = holds.empty() ? 0.0 : holds[holds.size() / 2];
}

BENCHMARK(BM_RefreshLockHold)
    ->Args({44100, 0})
    ->Args({44100, 4})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0)
    ->UseRealTime();

BENCHMARK(BM_WindowChangeLockHold)
    ->Args({44100, 3})
    ->Args({44100, 4})
    ->Args({48000, 3})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseRealTime();

}  // namespace
