// One display refresh (128 results over a full one-second history with the real band table,
// after a capture block), against the literal serial recurrence over the same data; and feeding
// capture-sized blocks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "bank.h"
#include "core/bandtable.h"
#include "window.h"

namespace {

using BankPtr = std::unique_ptr<goertzel_bank, decltype(&goertzel_destroy)>;

// Music-like input: a few tones over noise.
std::vector<float> Signal(uint32_t rate) {
    std::mt19937 gen(42);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    std::vector<float> s(rate);
    for (uint32_t i = 0; i < rate; ++i) {
        const double t = double(i) / rate;
        s[i] = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 110 * t) +
                                  0.2 * std::sin(2 * std::numbers::pi * 1000 * t) +
                                  0.1 * std::sin(2 * std::numbers::pi * 7000 * t)) +
               noise(gen);
    }
    return s;
}

BankPtr RealBank(uint32_t rate, int32_t window) {
    BankPtr bank(goertzel_create(rate), &goertzel_destroy);
    const auto table = spectrino::ComputeBands(static_cast<float>(rate));
    for (int i = 0; i < spectrino::kBandCount; ++i) {
        goertzel_addbin(bank.get(), table.BandCentres[i], table.BandWidths[i]);
    }
    goertzel_setwindowing(bank.get(), window);
    const auto signal = Signal(rate);
    goertzel_addsamples(bank.get(), signal.data(), rate);
    return bank;
}

// The window tables as written down, one per bin.
using Tables = std::vector<std::unique_ptr<double, decltype(&tonebank::window_free)>>;

Tables MakeTables(const goertzel_bank& bank) {
    Tables tables;
    for (uint32_t i = 0; i < bank.bin_count; ++i) {
        tables.emplace_back(tonebank::window_create(bank.window_type, bank.bins[i]->block_length),
                            &tonebank::window_free);
    }
    return tables;
}

// The recurrence exactly as written down, one sample after the other, over the tables.
double LiteralResult(const goertzel_bank& bank, const Tables& tables, uint32_t index) {
    const tonebank::goertzel_bin& bin = *bank.bins[index];
    const double* window = tables[index].get();
    const uint32_t n = std::min(bank.fill, bin.block_length);
    const float* x = bank.history + (bank.fill - n);
    double s1 = 0.0, s2 = 0.0;
    for (uint32_t j = 0; j < n; ++j) {
        const double s = x[j] * window[j] + bin.coefficient * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double len = bin.block_length;
    return (s1 * s1 + s2 * s2 - bin.coefficient * s1 * s2) / (len * len);
}

// Fails the run if any band differs from the literal loop by more than 1e-6 relative or 1e-9
// of the input's mean square.
void CheckAgreement(goertzel_bank& bank, benchmark::State& state) {
    double mean_square = 0.0;
    for (uint32_t i = 0; i < bank.fill; ++i) {
        mean_square += double(bank.history[i]) * bank.history[i];
    }
    mean_square /= bank.fill;
    double worst = 0.0;
    const Tables tables = MakeTables(bank);
    for (uint32_t i = 0; i < bank.bin_count; ++i) {
        const double fast = goertzel_getresult(&bank, i);
        const double literal = LiteralResult(bank, tables, i);
        const double allowed = std::max(std::abs(literal) * 1e-6, mean_square * 1e-9);
        worst = std::max(worst, std::abs(fast - literal) / allowed);
    }
    state.counters["worst_vs_allowed"] = worst;
    if (worst > 1.0) {
        state.SkipWithError("results differ from the literal loop");
    }
}

void BM_Refresh(benchmark::State& state) {
    const auto rate = static_cast<uint32_t>(state.range(0));
    auto bank = RealBank(rate, static_cast<int32_t>(state.range(1)));
    CheckAgreement(*bank, state);
    // A block of capture between refreshes, as live: the bank would otherwise hand back the
    // results it has already computed.
    const auto block = Signal(rate);
    uint32_t offset = 0;
    for (auto _ : state) {
        goertzel_addsamples(bank.get(), block.data() + offset, 2048);
        offset = (offset + 2048) % (rate - 2048);
        double sum = 0.0;
        for (uint32_t i = 0; i < 128; ++i) {
            sum += goertzel_getresult(bank.get(), i);
        }
        benchmark::DoNotOptimize(sum);
    }
}

void BM_RefreshLiteral(benchmark::State& state) {
    const auto rate = static_cast<uint32_t>(state.range(0));
    auto bank = RealBank(rate, static_cast<int32_t>(state.range(1)));
    const Tables tables = MakeTables(*bank);
    for (auto _ : state) {
        double sum = 0.0;
        for (uint32_t i = 0; i < 128; ++i) {
            sum += LiteralResult(*bank, tables, i);
        }
        benchmark::DoNotOptimize(sum);
    }
}

void BM_FeedFullHistory(benchmark::State& state) {
    const auto rate = static_cast<uint32_t>(state.range(0));
    auto bank = RealBank(rate, 0);
    const auto signal = Signal(rate);
    for (auto _ : state) {
        goertzel_addsamples(bank.get(), signal.data(), 2048);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 2048);
}

BENCHMARK(BM_Refresh)
    ->Args({44100, 0})
    ->Args({48000, 0})
    ->Args({44100, 1})
    ->Args({44100, 2})
    ->Args({44100, 3})
    ->Args({44100, 4})
    ->Args({44100, 5})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefreshLiteral)
    ->Args({44100, 0})
    ->Args({48000, 0})
    ->Args({44100, 4})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FeedFullHistory)->Arg(44100)->Arg(48000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
