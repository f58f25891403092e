// Every converter and clip routine at 4096 samples per call: the plain routines against the
// vector variants, plus the dithering converters.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "asio/DASIOConvert.h"

namespace {

using namespace spectrino;

constexpr int kCount = 4096;

struct Named {
    TASIOSampleType type;
    const char* name;
};

constexpr Named kTypes[] = {
    {ASIOSTInt16LSB, "Int16LSB"},     {ASIOSTInt24LSB, "Int24LSB"},
    {ASIOSTInt32LSB, "Int32LSB"},     {ASIOSTFloat32LSB, "Float32LSB"},
    {ASIOSTFloat64LSB, "Float64LSB"}, {ASIOSTInt32LSB16, "Int32LSB16"},
    {ASIOSTInt32LSB18, "Int32LSB18"}, {ASIOSTInt32LSB20, "Int32LSB20"},
    {ASIOSTInt32LSB24, "Int32LSB24"}, {ASIOSTInt16MSB, "Int16MSB"},
    {ASIOSTInt24MSB, "Int24MSB"},     {ASIOSTInt32MSB, "Int32MSB"},
    {ASIOSTFloat32MSB, "Float32MSB"}, {ASIOSTFloat64MSB, "Float64MSB"},
    {ASIOSTInt32MSB16, "Int32MSB16"}, {ASIOSTInt32MSB18, "Int32MSB18"},
    {ASIOSTInt32MSB20, "Int32MSB20"}, {ASIOSTInt32MSB24, "Int32MSB24"},
};

// The routines one table state holds.
struct Snapshot {
    std::array<TInConverter, kASIOSampleTypeLimit> in;
    std::array<TOutConverter, kASIOSampleTypeLimit> out;
    TClipPair digital, analog;
};

Snapshot Take() {
    Snapshot s;
    for (int type = 0; type < kASIOSampleTypeLimit; ++type) {
        s.in[type] = InputConverters[type];
        s.out[type] = OutputConverters[type];
    }
    s.digital = ClipDigital.Load();
    s.analog = ClipAnalog.Load();
    return s;
}

template <typename T>
std::vector<T> Samples(T spread) {
    std::mt19937 random(42);
    std::uniform_real_distribution<T> dist(-spread, spread);
    std::vector<T> samples(kCount);
    for (T& s : samples) {
        s = dist(random);
    }
    return samples;
}

template <typename T, typename In>
void BenchInput(benchmark::State& state, In convert, std::vector<std::uint8_t> buffer) {
    std::vector<T> samples(kCount);
    for (auto _ : state) {
        convert(buffer.data(), samples.data(), kCount);
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

template <typename T, typename Out>
void BenchOutput(benchmark::State& state, Out convert, int sampleSize) {
    const std::vector<T> samples = Samples<T>(T(1));
    std::vector<std::uint8_t> buffer(kCount * sampleSize);
    for (auto _ : state) {
        convert(samples.data(), buffer.data(), kCount);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

// Clips in place again and again; after the first pass the data is in range, as it mostly is
// in use.
template <typename T, typename Clip>
void BenchClip(benchmark::State& state, Clip clip) {
    std::vector<T> samples = Samples<T>(T(1.2));
    for (auto _ : state) {
        clip(samples.data(), kCount);
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

void RegisterInput(const std::string& name, TInConverter pair, TOutConverter writer, int size) {
    std::vector<std::uint8_t> buffer(kCount * size);
    writer.Oc64(Samples<double>(1.0).data(), buffer.data(), kCount);
    benchmark::RegisterBenchmark(("In32/" + name).c_str(), [=](benchmark::State& s) {
        BenchInput<float>(s, pair.Ic32, buffer);
    });
    benchmark::RegisterBenchmark(("In64/" + name).c_str(), [=](benchmark::State& s) {
        BenchInput<double>(s, pair.Ic64, buffer);
    });
}

void RegisterOutput(const std::string& name, TOutConverter pair, int size, bool wide = true) {
    benchmark::RegisterBenchmark(("Out32/" + name).c_str(), [=](benchmark::State& s) {
        BenchOutput<float>(s, pair.Oc32, size);
    });
    if (wide) {
        benchmark::RegisterBenchmark(("Out64/" + name).c_str(), [=](benchmark::State& s) {
            BenchOutput<double>(s, pair.Oc64, size);
        });
    }
}

void RegisterClips(const char* variant, const Snapshot& s, bool wide) {
    const std::string suffix = std::string("/") + variant;
    benchmark::RegisterBenchmark(("ClipDigital32" + suffix).c_str(), [=](benchmark::State& st) {
        BenchClip<float>(st, s.digital.Cb32);
    });
    benchmark::RegisterBenchmark(("ClipAnalog32" + suffix).c_str(), [=](benchmark::State& st) {
        BenchClip<float>(st, s.analog.Cb32);
    });
    if (wide) {
        benchmark::RegisterBenchmark(("ClipDigital64" + suffix).c_str(), [=](benchmark::State& st) {
            BenchClip<double>(st, s.digital.Cb64);
        });
        benchmark::RegisterBenchmark(("ClipAnalog64" + suffix).c_str(), [=](benchmark::State& st) {
            BenchClip<double>(st, s.analog.Cb64);
        });
    }
}

void RegisterAll() {
    UseConverters(plPlain);
    const Snapshot plain = Take();
    UseConverters(plSSE);
    const Snapshot sse = Take();
    UseConverters(pl3DNow);
    const Snapshot single = Take();
    ApplyOutputDither(odUDF, {});
    const Snapshot udf = Take();
    ApplyOutputDither(odTDF, {});
    const Snapshot tdf = Take();
    UseConverters(plPlain);

    for (const Named& t : kTypes) {
        const int size = ASIOSampleSize(t.type);
        const std::string name = t.name;
        RegisterInput(name + "/plain", plain.in[t.type], plain.out[t.type], size);
        RegisterOutput(name + "/plain", plain.out[t.type], size);
        if (single.in[t.type].Ic32 != plain.in[t.type].Ic32) {
            benchmark::RegisterBenchmark(("In32/" + name + "/3DNow").c_str(),
                                         [conv = single.in[t.type].Ic32, writer = plain.out[t.type],
                                          size](benchmark::State& s) {
                                             std::vector<std::uint8_t> buffer(kCount * size);
                                             writer.Oc64(Samples<double>(1.0).data(), buffer.data(),
                                                         kCount);
                                             BenchInput<float>(s, conv, buffer);
                                         });
            RegisterOutput(name + "/3DNow", single.out[t.type], size, false);
        }
        if (udf.out[t.type].Oc32 != plain.out[t.type].Oc32) {
            RegisterOutput(name + "/UDF", udf.out[t.type], size);
            RegisterOutput(name + "/TDF", tdf.out[t.type], size);
        }
    }
    RegisterClips("plain", plain, true);
    RegisterClips("SSE", sse, false);
}

}  // namespace

int main(int argc, char** argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
