#include "asio/DASIOConvert.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <type_traits>

#include "platform/tick_count.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace spectrino {

constinit TConverterTable<TInConverter> InputConverters;
constinit TConverterTable<TOutConverter> OutputConverters;
constinit TSharedPair<TClipPair> ClipDigital;
constinit TSharedPair<TClipPair> ClipAnalog;
constinit std::atomic<std::uint32_t> DitherSeed{0};

namespace {

constinit std::atomic<TProcessorLevel> g_processorLevel{plPlain};

// ---------------------------------------------------------------------------------------------
// Byte access. Driver buffers are byte arrays of any alignment; samples are copied out and
// swapped as needed, so the host's own byte order never matters.

enum class Order { LSB, MSB };

template <int N>
using UIntOf = std::conditional_t<N == 2, std::uint16_t,
                                  std::conditional_t<N == 8, std::uint64_t, std::uint32_t>>;

constexpr std::uint16_t SwapBytes(std::uint16_t v) {
    return static_cast<std::uint16_t>((v >> 8) | (v << 8));
}
constexpr std::uint32_t SwapBytes(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}
constexpr std::uint64_t SwapBytes(std::uint64_t v) {
    return (std::uint64_t{SwapBytes(static_cast<std::uint32_t>(v))} << 32) |
           SwapBytes(static_cast<std::uint32_t>(v >> 32));
}

// True when a sample stored in order O has to be swapped to read it natively.
template <Order O>
constexpr bool kSwapped = (O == Order::MSB) == (std::endian::native == std::endian::little);

template <int N, Order O>
UIntOf<N> LoadBits(const std::byte* p) {
    if constexpr (N == 3) {
        const auto byte = [p](int i) { return std::to_integer<std::uint32_t>(p[i]); };
        return O == Order::LSB ? byte(0) | byte(1) << 8 | byte(2) << 16
                               : byte(2) | byte(1) << 8 | byte(0) << 16;
    } else {
        UIntOf<N> bits;
        std::memcpy(&bits, p, N);
        return kSwapped<O> ? SwapBytes(bits) : bits;
    }
}

template <int N, Order O>
void StoreBits(std::byte* p, UIntOf<N> bits) {
    if constexpr (N == 3) {
        for (int i = 0; i < 3; ++i) {
            p[O == Order::LSB ? i : 2 - i] = static_cast<std::byte>(bits >> (8 * i));
        }
    } else {
        if constexpr (kSwapped<O>) {
            bits = SwapBytes(bits);
        }
        std::memcpy(p, &bits, N);
    }
}

// Two's complement integer of N bytes, sign-extended.
template <int N, Order O>
std::int32_t LoadInt(const std::byte* p) {
    constexpr int unused = 32 - 8 * N;
    const auto raw = static_cast<std::uint32_t>(LoadBits<N, O>(p));
    return static_cast<std::int32_t>(raw << unused) >> unused;
}

template <int N>
void ReverseSamples(void* buffer, int count) {
    auto* p = static_cast<std::byte*>(buffer);
    for (int k = 0; k < count; ++k, p += N) {
        StoreBits<N, Order::LSB>(p, LoadBits<N, Order::MSB>(p));
    }
}

// ---------------------------------------------------------------------------------------------
// Plain converters. Integer samples scale by their factor in extended precision and round
// to the nearest integer, ties to even.

struct TIntLayout {
    int bytes;              // bytes per sample in the driver buffer
    int bits;               // width of the value the sample holds
    long double inFactor;   // input: value * inFactor
    long double outFactor;  // output: round(x * outFactor)
    int inShift = 0;        // input: value moved up this many bits before scaling
};

constexpr TIntLayout kInt16{2, 16, 1.0f / 32767.0f, 32767};
constexpr TIntLayout kInt24{3, 24, 1.0 / 8388607, 8388607};
// 24-bit samples read into the top of a 32-bit integer, for the LSB type's 32-bit input only.
constexpr TIntLayout kInt24High{3, 24, 1.0 / 2147483647, 8388607, 8};
constexpr TIntLayout kInt32{4, 32, 1.0 / 2147483647, 2147483647};
constexpr TIntLayout kInt32In16{4, 16, 1.0f / 32767.0f, 32767};
constexpr TIntLayout kInt32In18{4, 18, 1.0 / 131071, 131071};
constexpr TIntLayout kInt32In20{4, 20, 1.0 / 524287, 524287};
constexpr TIntLayout kInt32In24{4, 24, 1.0 / 8388607, 8388607};

template <TIntLayout L, Order O, typename T>
void IntIn(void* buffer, T* out, int count) {
    const long double factor = L.inFactor;
    const auto* p = static_cast<const std::byte*>(buffer);
    for (int k = 0; k < count; ++k, p += L.bytes) {
        const auto value = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(LoadInt<L.bytes, O>(p)) << L.inShift);
        out[k] = static_cast<T>(static_cast<long double>(value) * factor);
    }
}

// Values beyond the type's range saturate; NaN has no meaningful sample and becomes silence.
template <int Bits>
std::int32_t RoundSaturated(long double v) {
    constexpr auto kHigh = static_cast<std::int32_t>((std::int64_t{1} << (Bits - 1)) - 1);
    constexpr auto kLow = static_cast<std::int32_t>(-(std::int64_t{1} << (Bits - 1)));
    if (v >= kHigh) {
        return kHigh;
    }
    if (v > kLow) {
        return static_cast<std::int32_t>(std::lrint(v));
    }
    return v <= kLow ? kLow : 0;
}

struct NoDither {
    static constexpr bool kActive = false;
};

// Works on a private copy of DitherSeed for one call and hands it back at the end.
template <double (*Draw)(std::uint32_t&)>
class TDitherStream {
public:
    static constexpr bool kActive = true;
    TDitherStream() : seed_(DitherSeed.load(std::memory_order_relaxed)) {}
    ~TDitherStream() { DitherSeed.store(seed_, std::memory_order_relaxed); }
    TDitherStream(const TDitherStream&) = delete;
    TDitherStream& operator=(const TDitherStream&) = delete;
    long double Next() { return Draw(seed_); }

private:
    std::uint32_t seed_;
};

using UniformStream = TDitherStream<&UniformDither>;
using TriangularStream = TDitherStream<&TriangularDither>;

template <TIntLayout L, Order O, typename Dither, typename T>
void IntOut(const T* in, void* buffer, int count) {
    const long double factor = L.outFactor;
    [[maybe_unused]] Dither dither;
    auto* p = static_cast<std::byte*>(buffer);
    for (int k = 0; k < count; ++k, p += L.bytes) {
        long double v = static_cast<long double>(in[k]) * factor;
        if constexpr (Dither::kActive) {
            v += dither.Next();
        }
        StoreBits<L.bytes, O>(p, static_cast<UIntOf<L.bytes>>(RoundSaturated<L.bits>(v)));
    }
}

template <typename Stored>
using BitsOf = UIntOf<sizeof(Stored)>;

template <typename Stored, Order O, typename T>
void FloatIn(void* buffer, T* out, int count) {
    const auto* p = static_cast<const std::byte*>(buffer);
    for (int k = 0; k < count; ++k, p += sizeof(Stored)) {
        out[k] = static_cast<T>(std::bit_cast<Stored>(LoadBits<sizeof(Stored), O>(p)));
    }
}

template <typename Stored, Order O, typename T>
void FloatOut(const T* in, void* buffer, int count) {
    auto* p = static_cast<std::byte*>(buffer);
    for (int k = 0; k < count; ++k, p += sizeof(Stored)) {
        StoreBits<sizeof(Stored), O>(p, std::bit_cast<BitsOf<Stored>>(static_cast<Stored>(in[k])));
    }
}

// Big-endian input that turns the driver's buffer into its little-endian twin, then reads that.
template <int N, auto Convert, typename T>
void ReversedInPlace(void* buffer, T* out, int count) {
    ReverseSamples<N>(buffer, count);
    Convert(buffer, out, count);
}

template <TIntLayout L32, TIntLayout L64>
constexpr TInConverter IntInLSB() {
    return {&IntIn<L32, Order::LSB, float>, &IntIn<L64, Order::LSB, double>};
}

template <TIntLayout L>
constexpr TInConverter IntInMSBInPlace() {
    return {&ReversedInPlace<L.bytes, &IntIn<L, Order::LSB, float>, float>,
            &ReversedInPlace<L.bytes, &IntIn<L, Order::LSB, double>, double>};
}

template <TIntLayout L, Order O, typename Dither = NoDither>
constexpr TOutConverter IntOutPair() {
    return {&IntOut<L, O, Dither, float>, &IntOut<L, O, Dither, double>};
}

template <typename Stored, Order O>
constexpr TOutConverter FloatOutPair() {
    return {&FloatOut<Stored, O, float>, &FloatOut<Stored, O, double>};
}

struct TTypeRoutines {
    TASIOSampleType type;
    TInConverter in;
    TOutConverter out;
};

constexpr TTypeRoutines kPlainRoutines[] = {
    {ASIOSTInt16LSB, IntInLSB<kInt16, kInt16>(), IntOutPair<kInt16, Order::LSB>()},
    {ASIOSTInt24LSB, IntInLSB<kInt24High, kInt24>(), IntOutPair<kInt24, Order::LSB>()},
    {ASIOSTInt32LSB, IntInLSB<kInt32, kInt32>(), IntOutPair<kInt32, Order::LSB>()},
    {ASIOSTFloat32LSB,
     {&FloatIn<float, Order::LSB, float>, &FloatIn<float, Order::LSB, double>},
     FloatOutPair<float, Order::LSB>()},
    {ASIOSTFloat64LSB,
     {&FloatIn<double, Order::LSB, float>, &FloatIn<double, Order::LSB, double>},
     FloatOutPair<double, Order::LSB>()},
    {ASIOSTInt32LSB16, IntInLSB<kInt32In16, kInt32In16>(), IntOutPair<kInt32In16, Order::LSB>()},
    {ASIOSTInt32LSB18, IntInLSB<kInt32In18, kInt32In18>(), IntOutPair<kInt32In18, Order::LSB>()},
    {ASIOSTInt32LSB20, IntInLSB<kInt32In20, kInt32In20>(), IntOutPair<kInt32In20, Order::LSB>()},
    {ASIOSTInt32LSB24, IntInLSB<kInt32In24, kInt32In24>(), IntOutPair<kInt32In24, Order::LSB>()},

    {ASIOSTInt16MSB, IntInMSBInPlace<kInt16>(), IntOutPair<kInt16, Order::MSB>()},
    {ASIOSTInt24MSB,
     {&IntIn<kInt24, Order::MSB, float>, &IntIn<kInt24, Order::MSB, double>},
     IntOutPair<kInt24, Order::MSB>()},
    {ASIOSTInt32MSB, IntInMSBInPlace<kInt32>(), IntOutPair<kInt32, Order::MSB>()},
    {ASIOSTFloat32MSB,
     {&FloatIn<float, Order::MSB, float>, &FloatIn<float, Order::MSB, double>},
     FloatOutPair<float, Order::MSB>()},
    {ASIOSTFloat64MSB,
     {&ReversedInPlace<8, &FloatIn<double, Order::LSB, float>, float>,
      &FloatIn<double, Order::MSB, double>},
     FloatOutPair<double, Order::MSB>()},
    {ASIOSTInt32MSB16, IntInMSBInPlace<kInt32In16>(), IntOutPair<kInt32In16, Order::MSB>()},
    {ASIOSTInt32MSB18, IntInMSBInPlace<kInt32In18>(), IntOutPair<kInt32In18, Order::MSB>()},
    {ASIOSTInt32MSB20, IntInMSBInPlace<kInt32In20>(), IntOutPair<kInt32In20, Order::MSB>()},
    {ASIOSTInt32MSB24, IntInMSBInPlace<kInt32In24>(), IntOutPair<kInt32In24, Order::MSB>()},
};

template <typename Stream>
constexpr TTypeRoutines kDitheredRoutines[] = {
    {ASIOSTInt16LSB, {}, IntOutPair<kInt16, Order::LSB, Stream>()},
    {ASIOSTInt24LSB, {}, IntOutPair<kInt24, Order::LSB, Stream>()},
    {ASIOSTInt32LSB16, {}, IntOutPair<kInt32In16, Order::LSB, Stream>()},
    {ASIOSTInt32LSB18, {}, IntOutPair<kInt32In18, Order::LSB, Stream>()},
    {ASIOSTInt32LSB20, {}, IntOutPair<kInt32In20, Order::LSB, Stream>()},
    {ASIOSTInt32LSB24, {}, IntOutPair<kInt32In24, Order::LSB, Stream>()},
};

// ---------------------------------------------------------------------------------------------
// Clipping, plain.

constexpr std::uint32_t kSignBit = 0x80000000u;
constexpr std::uint32_t kOneBits = 0x3F800000u;  // 1.0f

// Compares magnitude bit patterns, so infinities and NaN clip to 1.0 with their sign as well.
void ClipDigital32(float* samples, int count) {
    for (int k = 0; k < count; ++k) {
        const auto bits = std::bit_cast<std::uint32_t>(samples[k]);
        if ((bits & ~kSignBit) > kOneBits) {
            samples[k] = std::bit_cast<float>((bits & kSignBit) | kOneBits);
        }
    }
}

double LimitDigital(double x) {
    // The difference form limits ordinary values without a branch, but collapses to 0 once
    // x +- 1 round to x, and to NaN for infinities; those and NaN take 1.0 with their sign,
    // like the 32-bit routine.
    if (std::fabs(x) < 2.0) {
        return 0.5 * (std::fabs(x + 1.0) - std::fabs(x - 1.0));
    }
    return std::copysign(1.0, x);
}

void ClipDigital64(double* samples, int count) {
    for (int k = 0; k < count; ++k) {
        samples[k] = LimitDigital(samples[k]);
    }
}

// Soft limiter: slope 1 at 0, 0.8 at 1.0, tending to +-2. The operation order is shared with
// the vector variant so both give identical results.
template <typename T>
T AnalogCurve(T x) {
    const T a = std::fabs(x);
    const T t = T(3) + a;
    const T y = T(2) * x * t / (T(6) + a * t);
    // Huge magnitudes overflow numerator and denominator alike; the curve is at its limit there.
    if (std::isnan(y) && !std::isnan(x)) {
        return std::copysign(T(2), x);
    }
    return y;
}

template <typename T>
void ClipAnalogPlain(T* samples, int count) {
    for (int k = 0; k < count; ++k) {
        samples[k] = AnalogCurve(samples[k]);
    }
}

constexpr TClipPair kPlainClipDigital{&ClipDigital32, &ClipDigital64};
constexpr TClipPair kPlainClipAnalog{&ClipAnalogPlain<float>, &ClipAnalogPlain<double>};

// ---------------------------------------------------------------------------------------------
// SSE clipping: blocks of 16 and of 4, remainders by the plain routines.

void ClipDigital32SSE(float* samples, int count) {
    int k = 0;
#if defined(__SSE2__)
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 sign = _mm_set1_ps(-0.0f);
    for (; k + 16 <= count; k += 16) {
        for (int j = k; j < k + 16; j += 4) {
            const __m128 x = _mm_loadu_ps(samples + j);
            // MINPS answers its second operand when unordered, so a NaN magnitude becomes 1.0.
            const __m128 magnitude = _mm_min_ps(_mm_andnot_ps(sign, x), one);
            _mm_storeu_ps(samples + j, _mm_or_ps(magnitude, _mm_and_ps(x, sign)));
        }
    }
#endif
    ClipDigital32(samples + k, count - k);
}

void ClipAnalog32SSE(float* samples, int count) {
    int k = 0;
#if defined(__SSE2__)
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128 two = _mm_set1_ps(2.0f);
    const __m128 three = _mm_set1_ps(3.0f);
    const __m128 six = _mm_set1_ps(6.0f);
    for (; k + 4 <= count; k += 4) {
        const __m128 x = _mm_loadu_ps(samples + k);
        const __m128 a = _mm_andnot_ps(sign, x);
        const __m128 t = _mm_add_ps(three, a);
        __m128 y = _mm_div_ps(_mm_mul_ps(_mm_mul_ps(two, x), t), _mm_add_ps(six, _mm_mul_ps(a, t)));
        const __m128 overflow = _mm_andnot_ps(_mm_cmpunord_ps(x, x), _mm_cmpunord_ps(y, y));
        const __m128 limit = _mm_or_ps(two, _mm_and_ps(x, sign));
        y = _mm_or_ps(_mm_andnot_ps(overflow, y), _mm_and_ps(overflow, limit));
        _mm_storeu_ps(samples + k, y);
    }
#endif
    ClipAnalogPlain(samples + k, count - k);
}

// ---------------------------------------------------------------------------------------------
// "3DNow!" converters for 32-bit integer types and 32-bit floats: single precision with
// single-precision factors, output truncated toward zero and saturated at the 32-bit limits.
// Blocks of 8; the remainder follows the same rules one sample at a time.

std::int32_t TruncateSaturated(float v) {
    if (v >= 0x1p31f) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (v >= -0x1p31f) {
        return static_cast<std::int32_t>(v);
    }
    return std::isnan(v) ? 0 : std::numeric_limits<std::int32_t>::min();
}

template <float Factor>
void Int32InSingle(void* buffer, float* out, int count) {
    const auto* p = static_cast<const std::byte*>(buffer);
    int k = 0;
#if defined(__SSE2__)
    const __m128 factor = _mm_set1_ps(Factor);
    for (; k + 8 <= count; k += 8) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * k));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * k + 16));
        _mm_storeu_ps(out + k, _mm_mul_ps(_mm_cvtepi32_ps(lo), factor));
        _mm_storeu_ps(out + k + 4, _mm_mul_ps(_mm_cvtepi32_ps(hi), factor));
    }
#endif
    for (; k < count; ++k) {
        out[k] = static_cast<float>(LoadInt<4, Order::LSB>(p + 4 * k)) * Factor;
    }
}

template <float Factor>
void Int32OutSingle(const float* in, void* buffer, int count) {
    auto* p = static_cast<std::byte*>(buffer);
    int k = 0;
#if defined(__SSE2__)
    const __m128 factor = _mm_set1_ps(Factor);
    const __m128 limit = _mm_set1_ps(0x1p31f);
    for (; k + 8 <= count; k += 8) {
        for (int j = k; j < k + 8; j += 4) {
            const __m128 v = _mm_mul_ps(_mm_loadu_ps(in + j), factor);
            // CVTTPS2DQ gives 0x80000000 for anything out of range: flip it to 0x7FFFFFFF
            // above the range, and to 0 for NaN.
            __m128i n = _mm_cvttps_epi32(v);
            n = _mm_xor_si128(n, _mm_castps_si128(_mm_cmpge_ps(v, limit)));
            n = _mm_and_si128(n, _mm_castps_si128(_mm_cmpord_ps(v, v)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4 * j), n);
        }
    }
#endif
    for (; k < count; ++k) {
        StoreBits<4, Order::LSB>(p + 4 * k,
                                 static_cast<std::uint32_t>(TruncateSaturated(in[k] * Factor)));
    }
}

struct TSingleVariant {
    TASIOSampleType type;
    TInConvert32 in;
    TOutConvert32 out;
};

constexpr TSingleVariant k3DNowRoutines[] = {
    {ASIOSTInt32LSB, &Int32InSingle<0x1p-31f>, &Int32OutSingle<0x1p31f>},
    {ASIOSTInt32LSB16, &Int32InSingle<1.0f / 32767.0f>, &Int32OutSingle<32767.0f>},
    {ASIOSTInt32LSB18, &Int32InSingle<1.0f / 131071.0f>, &Int32OutSingle<131071.0f>},
    {ASIOSTInt32LSB20, &Int32InSingle<1.0f / 524287.0f>, &Int32OutSingle<524287.0f>},
    {ASIOSTInt32LSB24, &Int32InSingle<1.0f / 8388607.0f>, &Int32OutSingle<8388607.0f>},
};

// ---------------------------------------------------------------------------------------------
// Installing routine sets.

void InstallPlain() {
    for (const TTypeRoutines& r : kPlainRoutines) {
        InputConverters.Set(r.type, r.in);
        OutputConverters.Set(r.type, r.out);
    }
    ClipDigital.Store(kPlainClipDigital);
    ClipAnalog.Store(kPlainClipAnalog);
}

void InstallSSE() {
    ClipDigital.Store({&ClipDigital32SSE, kPlainClipDigital.Cb64});
    ClipAnalog.Store({&ClipAnalog32SSE, kPlainClipAnalog.Cb64});
}

void Install3DNow() {
    for (const TSingleVariant& v : k3DNowRoutines) {
        TInConverter in = InputConverters[v.type];
        in.Ic32 = v.in;
        InputConverters.Set(v.type, in);
        TOutConverter out = OutputConverters[v.type];
        out.Oc32 = v.out;
        OutputConverters.Set(v.type, out);
    }
}

template <typename Stream>
void InstallDither() {
    for (const TTypeRoutines& r : kDitheredRoutines<Stream>) {
        OutputConverters.Set(r.type, r.out);
    }
}

void InstallLevel(TProcessorLevel level) {
    InstallPlain();
    if (level == plSSE) {
        InstallSSE();
    } else if (level == pl3DNow) {
        Install3DNow();
    }
}

std::int32_t DitherStep(std::uint32_t& seed) {
    seed = seed * 134775813u + 1u;
    return static_cast<std::int32_t>(seed);
}

// The unit sets itself up before the program's main block runs.
[[maybe_unused]] const bool g_startedUp = [] {
    SetupConverters(platform::ProbeCpuFeatures());
    return true;
}();

}  // namespace

TProcessorLevel ProcessorLevel() {
    return g_processorLevel.load(std::memory_order_relaxed);
}

void SetupConverters(const platform::CpuFeatures& features) {
    TProcessorLevel level = plPlain;
    InstallPlain();
    if (features.sse) {
        level = plSSE;
        InstallSSE();
    }
    if (features.highestExtendedLeaf > 0x80000000u && features.amd3DNow) {
        level = pl3DNow;
        Install3DNow();
    }
    g_processorLevel.store(level, std::memory_order_relaxed);
}

void UseConverters(TProcessorLevel level) {
    InstallLevel(level);
}

void ApplyConvertOptimizations(TConvertOptimizations optimizations) {
    const TProcessorLevel level = ProcessorLevel();
    if ((level == plSSE && optimizations.Contains(coSSE)) ||
        (level == pl3DNow && optimizations.Contains(co3DNow))) {
        InstallLevel(level);
    } else {
        InstallPlain();
    }
}

void ApplyOutputDither(TASIOOutputDither dither, TConvertOptimizations optimizations) {
    if (dither == odNone) {
        ApplyConvertOptimizations(optimizations);
        return;
    }
    InstallPlain();
    DitherSeed.store(platform::TickCount(), std::memory_order_relaxed);
    if (dither == odUDF) {
        InstallDither<UniformStream>();
    } else {
        InstallDither<TriangularStream>();
    }
}

double UniformDither(std::uint32_t& seed) {
    return DitherStep(seed) * 0x1p-32;
}

double TriangularDither(std::uint32_t& seed) {
    const std::int64_t first = DitherStep(seed);
    const std::int64_t second = DitherStep(seed);
    return static_cast<double>(first + second) * 0x1p-33;
}

void TConverterOptions::SetConvertOptimizations(TConvertOptimizations value) {
    ApplyConvertOptimizations(value);
    optimizations_ = value;
}

void TConverterOptions::SetOutputDither(TASIOOutputDither value) {
    if (value == dither_) {
        return;
    }
    dither_ = value;
    ApplyOutputDither(value, optimizations_);
}

}  // namespace spectrino
