// Conversion between the sample layouts of ASIO drivers and 32-/64-bit floating point with
// full scale +-1.0, the clipping routines run before output, and the output dither.
//
// The routine tables are process-wide. Hosts copy pairs out of them when they create buffers,
// so a table change reaches a channel only at its next buffer creation. Option setters may
// rewrite the tables while a driver thread runs; entries are atomic so readers see either the
// old or the new routine.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "asio/asio_sample_types.h"
#include "platform/cpu_features.h"

namespace spectrino {

// Input converters read `count` samples from the driver's buffer. Some big-endian ones reverse
// the bytes of the driver's buffer in place first, hence the non-const pointer.
using TInConvert32 = void (*)(void* driverBuffer, float* out, int count);
using TInConvert64 = void (*)(void* driverBuffer, double* out, int count);
using TOutConvert32 = void (*)(const float* in, void* driverBuffer, int count);
using TOutConvert64 = void (*)(const double* in, void* driverBuffer, int count);
using TClip32 = void (*)(float* samples, int count);
using TClip64 = void (*)(double* samples, int count);

struct TInConverter {
    using F32 = TInConvert32;
    using F64 = TInConvert64;
    TInConvert32 Ic32 = nullptr;
    TInConvert64 Ic64 = nullptr;
};

struct TOutConverter {
    using F32 = TOutConvert32;
    using F64 = TOutConvert64;
    TOutConvert32 Oc32 = nullptr;
    TOutConvert64 Oc64 = nullptr;
};

struct TClipPair {
    using F32 = TClip32;
    using F64 = TClip64;
    TClip32 Cb32 = nullptr;
    TClip64 Cb64 = nullptr;
};

// A routine pair that may be replaced while other threads copy it.
template <typename Pair>
class TSharedPair {
public:
    constexpr TSharedPair() = default;
    TSharedPair(const TSharedPair&) = delete;
    TSharedPair& operator=(const TSharedPair&) = delete;

    Pair Load() const {
        return Pair{p32_.load(std::memory_order_relaxed), p64_.load(std::memory_order_relaxed)};
    }
    void Store(const Pair& pair) {
        const auto& [p32, p64] = pair;
        p32_.store(p32, std::memory_order_relaxed);
        p64_.store(p64, std::memory_order_relaxed);
    }

private:
    std::atomic<typename Pair::F32> p32_{nullptr};
    std::atomic<typename Pair::F64> p64_{nullptr};
};

// Converter pairs indexed by the sample type a driver reports; any other number gives an
// empty pair.
template <typename Pair>
class TConverterTable {
public:
    constexpr TConverterTable() = default;

    Pair operator[](std::int32_t type) const {
        if (type < 0 || type >= kASIOSampleTypeLimit) {
            return Pair{};
        }
        return slots_[static_cast<std::size_t>(type)].Load();
    }
    void Set(TASIOSampleType type, const Pair& pair) {
        if (type >= 0 && type < kASIOSampleTypeLimit) {
            slots_[static_cast<std::size_t>(type)].Store(pair);
        }
    }

private:
    std::array<TSharedPair<Pair>, kASIOSampleTypeLimit> slots_;
};

enum TProcessorLevel : int { plPlain = 0, plSSE = 1, pl3DNow = 2 };

enum TConvertOptimization { coSSE, co3DNow };

class TConvertOptimizations {
public:
    constexpr TConvertOptimizations() = default;
    constexpr TConvertOptimizations(std::initializer_list<TConvertOptimization> items) {
        for (const TConvertOptimization item : items) {
            bits_ |= Bit(item);
        }
    }
    constexpr bool Contains(TConvertOptimization item) const { return (bits_ & Bit(item)) != 0; }
    constexpr bool operator==(const TConvertOptimizations&) const = default;

private:
    static constexpr unsigned Bit(TConvertOptimization item) { return 1u << item; }
    unsigned bits_ = 0;
};

enum TASIOOutputDither { odNone, odUDF, odTDF };

extern TConverterTable<TInConverter> InputConverters;
extern TConverterTable<TOutConverter> OutputConverters;
extern TSharedPair<TClipPair> ClipDigital;
extern TSharedPair<TClipPair> ClipAnalog;
// State of the dither generator, shared by all dithering converters and advanced without a lock
// (a lost update only repeats a dither value).
extern std::atomic<std::uint32_t> DitherSeed;

// The level found at program start (or by the last SetupConverters).
TProcessorLevel ProcessorLevel();

// What program start does: derives the processor level from `features` and installs the plain
// routines with that level's variants over them. A processor with both SSE and 3DNow! keeps
// the SSE clipping and gets the 3DNow! converters.
void SetupConverters(const platform::CpuFeatures& features);

// Installs the plain routines and then the variants of `level`, whatever the processor is.
void UseConverters(TProcessorLevel level);

// Plain routines, then the variants that both the processor level and `optimizations` allow.
// Removes any dither converters.
void ApplyConvertOptimizations(TConvertOptimizations optimizations);

// odNone acts like ApplyConvertOptimizations(optimizations); odUDF and odTDF install the plain
// routines with dithering output converters and seed the generator from the tick count.
void ApplyOutputDither(TASIOOutputDither dither, TConvertOptimizations optimizations);

// Dither values, drawn from `seed` and advancing it: one generator step, uniform in
// [-0.5, 0.5); or two steps, triangular in [-0.5, 0.5).
double UniformDither(std::uint32_t& seed);
double TriangularDither(std::uint32_t& seed);

// The converter options one host publishes. Construction leaves the tables alone.
class TConverterOptions {
public:
    TConvertOptimizations ConvertOptimizations() const { return optimizations_; }
    TASIOOutputDither OutputDither() const { return dither_; }

    // Always rewrites the tables, which also drops dithering until OutputDither changes.
    void SetConvertOptimizations(TConvertOptimizations value);
    // Rewrites the tables only when `value` differs from the stored one.
    void SetOutputDither(TASIOOutputDither value);

private:
    TConvertOptimizations optimizations_{coSSE, co3DNow};
    TASIOOutputDither dither_ = odNone;
};

}  // namespace spectrino
