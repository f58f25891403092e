#include "recurrence.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace tonebank {
namespace {

// Independent chains per block; two vectors of four doubles.
constexpr uint32_t kLanes = 8;
// The most lanes any form of the loop runs.
constexpr uint32_t kMaxLanes = 16;
// Below this length the serial loop is as fast and needs no joining.
constexpr uint32_t kMinSplitLength = 128;

#if defined(__GNUC__)
typedef double v4d __attribute__((vector_size(32)));
#define TONEBANK_HAVE_VECTORS 1
#endif

#if defined(TONEBANK_HAVE_VECTORS) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
// AVX2 where the processor has it, chosen when the library is loaded.
#define TONEBANK_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define TONEBANK_CLONES
#endif

#if defined(TONEBANK_HAVE_VECTORS)
// Runs the kLanes chains in lock step. Chain j covers x[off[j] .. off[j] + length); chain 0
// starts `lead` steps late (its first samples would lie before the block), which is the same
// as feeding it zeros from a zero state.
TONEBANK_CLONES
void run_lanes(const float* x, const double* w, const ptrdiff_t* off, uint32_t length,
               uint32_t lead, double coefficient, double* s1_out, double* s2_out) {
    const v4d c = {coefficient, coefficient, coefficient, coefficient};
    v4d lo1 = {0, 0, 0, 0}, lo2 = lo1, hi1 = lo1, hi2 = lo1;
    uint32_t t = 0;
    for (; t < lead; ++t) {
        const ptrdiff_t i1 = off[1] + t, i2 = off[2] + t, i3 = off[3] + t;
        const ptrdiff_t i4 = off[4] + t, i5 = off[5] + t, i6 = off[6] + t, i7 = off[7] + t;
        const v4d ylo = {0.0, x[i1] * w[i1], x[i2] * w[i2], x[i3] * w[i3]};
        const v4d yhi = {x[i4] * w[i4], x[i5] * w[i5], x[i6] * w[i6], x[i7] * w[i7]};
        const v4d lo = ylo + c * lo1 - lo2;
        const v4d hi = yhi + c * hi1 - hi2;
        lo2 = lo1;
        lo1 = lo;
        hi2 = hi1;
        hi1 = hi;
    }
    for (; t < length; ++t) {
        const ptrdiff_t i0 = off[0] + t, i1 = off[1] + t, i2 = off[2] + t, i3 = off[3] + t;
        const ptrdiff_t i4 = off[4] + t, i5 = off[5] + t, i6 = off[6] + t, i7 = off[7] + t;
        const v4d ylo = {x[i0] * w[i0], x[i1] * w[i1], x[i2] * w[i2], x[i3] * w[i3]};
        const v4d yhi = {x[i4] * w[i4], x[i5] * w[i5], x[i6] * w[i6], x[i7] * w[i7]};
        const v4d lo = ylo + c * lo1 - lo2;
        const v4d hi = yhi + c * hi1 - hi2;
        lo2 = lo1;
        lo1 = lo;
        hi2 = hi1;
        hi1 = hi;
    }
    for (int j = 0; j < 4; ++j) {
        s1_out[j] = lo1[j];
        s2_out[j] = lo2[j];
        s1_out[4 + j] = hi1[j];
        s2_out[4 + j] = hi2[j];
    }
}
#else
void run_lanes(const float* x, const double* w, const ptrdiff_t* off, uint32_t length,
               uint32_t lead, double coefficient, double* s1_out, double* s2_out) {
    for (uint32_t j = 0; j < kLanes; ++j) {
        const uint32_t start = j == 0 ? lead : 0;
        const GoertzelState s = goertzel_run_serial(x + off[j] + start, w + off[j] + start,
                                                    length - start, coefficient);
        s1_out[j] = s.s1;
        s2_out[j] = s.s2;
    }
}
#endif

// Window generators: each produces the entries of one lane (double) or of four lanes (v4d)
// side by side, `stride` entries further along the window at every call. Seeds give each
// lane's first entry; a lane may start before the window (a negative index), the formulas
// carry on.
struct LaneSeeds {
    double first[kMaxLanes];   // cosine: cos of the first angle; Gaussian: the first entry
    double second[kMaxLanes];  // cosine: its sine; Gaussian: ratio of the next entry to it
};

// Seeds for lanes whose first indices are first_index + j * spacing and which move on by
// `stride` entries at every step.
LaneSeeds SeedLanes(const WindowShape& shape, double first_index, double spacing, double stride,
                    uint32_t lanes) {
    LaneSeeds seeds{};
    if (shape.kind == WindowShape::Kind::kCosine) {
        // Each lane's angle is the previous lane's turned by spacing * step.
        const double angle = (first_index + shape.offset) * shape.step;
        const double turn = spacing * shape.step;
        const double tc = std::cos(turn), ts = std::sin(turn);
        double c = std::cos(angle), s = std::sin(angle);
        for (uint32_t j = 0; j < lanes; ++j) {
            seeds.first[j] = c;
            seeds.second[j] = s;
            const double next = c * tc - s * ts;
            s = s * tc + c * ts;
            c = next;
        }
    } else if (shape.kind == WindowShape::Kind::kGaussian) {
        // With d = 2i - m the entry is exp(g d^2), and the ratios between neighbours, of
        // entries or of lanes, change by constant factors.
        const double g = shape.g;
        const double d = 2.0 * first_index - shape.m;
        const double l = spacing;
        const double st = stride;
        double w = std::exp(g * d * d);
        double r = std::exp(g * (4.0 * st * d + 4.0 * st * st));
        double lane_ratio = std::exp(g * (4.0 * l * d + 4.0 * l * l));
        const double lane_ratio_step = std::exp(8.0 * g * l * l);
        const double r_step = std::exp(8.0 * g * st * l);
        for (uint32_t j = 0; j < lanes; ++j) {
            seeds.first[j] = w;
            seeds.second[j] = r;
            w *= lane_ratio;
            lane_ratio *= lane_ratio_step;
            r *= r_step;
        }
    }
    return seeds;
}

[[maybe_unused]] inline void Gather(double& lanes, const double* p) {
    lanes = p[0];
}
#if defined(TONEBANK_HAVE_VECTORS)
[[maybe_unused]] inline void Gather(v4d& lanes, const double* p) {
    lanes = v4d{p[0], p[1], p[2], p[3]};
}

#endif

struct OnesGenerator {
    template <typename V>
    struct Lanes {
        Lanes() = default;
        Lanes(const WindowShape&, double, const double*, const double*) {}
        V Next() { return V{} + 1.0; }
    };
};

// cos((i + offset) step) by turning (cos, sin) one step at a time: exact to a few units of
// rounding per step taken. For short blocks, run one after the other.
struct RotatingCosineGenerator {
    template <typename V>
    struct Lanes {
        Lanes() = default;
        Lanes(const WindowShape& shape, double stride, const double* cos0, const double* sin0)
            : tc(std::cos(stride * shape.step)),
              ts(std::sin(stride * shape.step)),
              a0(shape.a[0]),
              a1(shape.a[1]),
              a2(shape.a[2]),
              a3(shape.a[3]) {
            Gather(c, cos0);
            Gather(s, sin0);
        }
        V Next() {
            const V w = ((a3 * c + a2) * c + a1) * c + a0;
            const V next = c * tc - s * ts;
            s = s * tc + c * ts;
            c = next;
            return w;
        }
        double tc = 0, ts = 0, a0 = 0, a1 = 0, a2 = 0, a3 = 0;
        V c{}, s{};
    };
};

// cos((i + offset) step) by the three-term recurrence c[t+1] = 2 cos(step) c[t] - c[t-1]: one
// multiply-add per entry. Its rounding grows with the square of the steps taken, which for
// the longest lane (a few thousand entries) stays near 1e-9, far below what the results
// resolve. The cubic of Degree (1 to 3) then gives the entry.
template <int Degree>
struct CosineGenerator {
    template <typename V>
    struct Lanes {
        Lanes() = default;
        Lanes(const WindowShape& shape, double stride, const double* cos0, const double* sin0)
            : k(2.0 * std::cos(stride * shape.step)),
              a0(shape.a[0]),
              a1(shape.a[1]),
              a2(shape.a[2]),
              a3(shape.a[3]) {
            V s;
            Gather(c, cos0);
            Gather(s, sin0);
            // cos of one step earlier.
            previous = c * std::cos(stride * shape.step) + s * std::sin(stride * shape.step);
            if constexpr (Degree == 3) {
                const double scale = std::cbrt(shape.a[3]);
                c = c * scale;
                previous = previous * scale;
                a2 = shape.a[2] / (scale * scale);
                a1 = shape.a[1] / scale;
            }
        }
        V Next() {
            V w;
            if constexpr (Degree == 1) {
                w = a1 * c + a0;
            } else if constexpr (Degree == 2) {
                w = (a2 * c + a1) * c + a0;
            } else {
                // The state carries the cube root of a3, which leaves the cubic monic and
                // saves a register on the way.
                w = ((c + a2) * c + a1) * c + a0;
            }
            const V next = k * c - previous;
            previous = c;
            c = next;
            return w;
        }
        double k = 0, a0 = 0, a1 = 0, a2 = 0, a3 = 0;
        V c{}, previous{};
    };
};

struct GaussianGenerator {
    template <typename V>
    struct Lanes {
        Lanes() = default;
        Lanes(const WindowShape& shape, double stride, const double* w0, const double* r0)
            : q(std::exp(8.0 * shape.g * stride * stride)) {
            Gather(w, w0);
            Gather(r, r0);
        }
        V Next() {
            const V out = w;
            w = w * r;
            r = r * q;
            return out;
        }
        double q = 0;
        V w{}, r{};
    };
};

template <typename Generator>
GoertzelState RunSerialShaped(const float* x, const WindowShape& shape, uint32_t n, double c) {
    const LaneSeeds seeds = SeedLanes(shape, 0.0, 0.0, 1.0, 1);
    typename Generator::template Lanes<double> window(shape, 1.0, seeds.first, seeds.second);
    double s1 = 0.0, s2 = 0.0;
    for (uint32_t j = 0; j < n; ++j) {
        const double s = x[j] * window.Next() + c * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return {s1, s2};
}

// Lane offsets: equal chains of `length` samples, the first one short by `lead`.
struct Split {
    uint32_t lanes;
    uint32_t length;
    uint32_t lead;
    ptrdiff_t off[kMaxLanes];
};

Split SplitBlock(uint32_t n, uint32_t lanes) {
    Split split{};
    split.lanes = lanes;
    split.length = (n + lanes - 1) / lanes;
    split.lead = lanes * split.length - n;
    for (uint32_t j = 0; j < lanes; ++j) {
        split.off[j] = static_cast<ptrdiff_t>(j) * split.length - split.lead;
    }
    return split;
}

// Shaped blocks run as kInterleave interleaved lanes: lane k takes every kInterleave-th sample
// starting at k, so one step reads kInterleave neighbouring samples in a single pass. Each lane
// is a Goertzel filter at kInterleave times the frequency; JoinInterleaved puts their transforms
// back together. The block is led by zeros up to a whole number of steps.
constexpr uint32_t kInterleave = 16;
// The other windows keep their generators in registers only with half as many.
constexpr uint32_t kShapedInterleave = 8;

#if defined(TONEBANK_HAVE_VECTORS)
inline __attribute__((always_inline)) v4d LoadFour(const float* p) {
    return v4d{p[0], p[1], p[2], p[3]};
}

template <typename Generator, uint32_t kLanesRun>
inline __attribute__((always_inline)) void RunInterleaved(const float* x, const WindowShape& shape,
                                                          uint32_t steps, uint32_t lead,
                                                          double coefficient, double* s1_out,
                                                          double* s2_out) {
    constexpr int kGroups = kLanesRun / 4;
    const LaneSeeds seeds = SeedLanes(shape, -static_cast<double>(lead), 1.0, kLanesRun, kLanesRun);
    using Window = typename Generator::template Lanes<v4d>;
    Window window[kGroups] = {};
#pragma GCC unroll 4
    for (int g = 0; g < kGroups; ++g) {
        window[g] = Window(shape, kLanesRun, seeds.first + 4 * g, seeds.second + 4 * g);
    }
    const v4d c = {coefficient, coefficient, coefficient, coefficient};
    v4d s1[kGroups], s2[kGroups];
#pragma GCC unroll 4
    for (int g = 0; g < kGroups; ++g) {
        s1[g] = v4d{0, 0, 0, 0};
        s2[g] = s1[g];
    }
    // The input and the older state are combined first, so that each step waits for the
    // previous one only through a single multiply-add.
    const auto step = [&](const float* in) {
#pragma GCC unroll 4
        for (int g = 0; g < kGroups; ++g) {
            const v4d u = LoadFour(in + 4 * g) * window[g].Next() - s2[g];
            s2[g] = s1[g];
            s1[g] = c * s1[g] + u;
        }
    };
    float first[kLanesRun] = {};
    std::memcpy(first + lead, x, sizeof(float) * (kLanesRun - lead));
    step(first);
    const float* in = x + (kLanesRun - lead);
    for (uint32_t m = 1; m < steps; ++m, in += kLanesRun) {
        step(in);
    }
#pragma GCC unroll 4
    for (int g = 0; g < kGroups; ++g) {
        for (int j = 0; j < 4; ++j) {
            s1_out[4 * g + j] = s1[g][j];
            s2_out[4 * g + j] = s2[g][j];
        }
    }
}
#else
template <typename Generator, uint32_t kLanesRun>
void RunInterleaved(const float* x, const WindowShape& shape, uint32_t steps, uint32_t lead,
                    double coefficient, double* s1_out, double* s2_out) {
    for (uint32_t k = 0; k < kLanesRun; ++k) {
        const LaneSeeds seeds = SeedLanes(shape, static_cast<double>(k) - lead, 0.0, kLanesRun, 1);
        typename Generator::template Lanes<double> window(shape, kLanesRun, seeds.first,
                                                          seeds.second);
        double s1 = 0.0, s2 = 0.0;
        for (uint32_t m = 0; m < steps; ++m) {
            const int64_t i = static_cast<int64_t>(m) * kLanesRun + k - lead;
            const double sample = i < 0 ? 0.0 : x[i];
            const double s = sample * window.Next() + coefficient * s1 - s2;
            s2 = s1;
            s1 = s;
        }
        s1_out[k] = s1;
        s2_out[k] = s2;
    }
}
#endif

// One clone set per window form.
TONEBANK_CLONES
void run_interleaved_ones(const float* x, const WindowShape& shape, uint32_t steps, uint32_t lead,
                          double c, double* s1, double* s2) {
    RunInterleaved<OnesGenerator, kInterleave>(x, shape, steps, lead, c, s1, s2);
}

TONEBANK_CLONES
void run_interleaved_cosine1(const float* x, const WindowShape& shape, uint32_t steps,
                             uint32_t lead, double c, double* s1, double* s2) {
    RunInterleaved<CosineGenerator<1>, kShapedInterleave>(x, shape, steps, lead, c, s1, s2);
}

TONEBANK_CLONES
void run_interleaved_cosine2(const float* x, const WindowShape& shape, uint32_t steps,
                             uint32_t lead, double c, double* s1, double* s2) {
    RunInterleaved<CosineGenerator<2>, kShapedInterleave>(x, shape, steps, lead, c, s1, s2);
}

TONEBANK_CLONES
void run_interleaved_cosine3(const float* x, const WindowShape& shape, uint32_t steps,
                             uint32_t lead, double c, double* s1, double* s2) {
    RunInterleaved<CosineGenerator<3>, kShapedInterleave>(x, shape, steps, lead, c, s1, s2);
}

TONEBANK_CLONES
void run_interleaved_gaussian(const float* x, const WindowShape& shape, uint32_t steps,
                              uint32_t lead, double c, double* s1, double* s2) {
    RunInterleaved<GaussianGenerator, kShapedInterleave>(x, shape, steps, lead, c, s1, s2);
}

// Lane k's transform is e^(-i omega k) (s1 - e^(-i phi) s2) with phi = lanes * omega, up to a
// phase common to all lanes.
double JoinInterleaved(const double* s1, const double* s2, uint32_t lanes, double omega) {
    const double phi = lanes * omega;
    const double cp = std::cos(phi), sp = std::sin(phi);
    const double tc = std::cos(omega), ts = -std::sin(omega);
    double pr = 1.0, pi = 0.0;
    double re = 0.0, im = 0.0;
    for (uint32_t k = 0; k < lanes; ++k) {
        const double zr = s1[k] - cp * s2[k];
        const double zi = sp * s2[k];
        re += zr * pr - zi * pi;
        im += zr * pi + zi * pr;
        const double next = pr * tc - pi * ts;
        pi = pi * tc + pr * ts;
        pr = next;
    }
    return re * re + im * im;
}

// s1 - e^(-i omega) s2 is a chain's transform up to a phase that depends only on where the
// chain starts; rotating each by its start and adding gives the whole block's transform,
// whose squared magnitude equals s1^2 + s2^2 - c s1 s2 of the single long chain. Short chains
// also keep the states small, which spares precision at low frequencies.
double JoinLanes(const double* s1, const double* s2, const Split& split, double c) {
    const uint32_t length = split.length;
    const double omega = std::acos(c / 2);
    const double cw = std::cos(omega), sw = std::sin(omega);
    // The phase -omega j length, turned one lane further each time.
    const double tc = std::cos(omega * length), ts = -std::sin(omega * length);
    double pr = 1.0, pi = 0.0;
    double re = 0.0, im = 0.0;
    for (uint32_t j = 0; j < split.lanes; ++j) {
        const double zr = s1[j] - cw * s2[j];
        const double zi = sw * s2[j];
        re += zr * pr - zi * pi;
        im += zr * pi + zi * pr;
        const double next = pr * tc - pi * ts;
        pi = pi * tc + pr * ts;
        pr = next;
    }
    return re * re + im * im;
}

}  // namespace

GoertzelState goertzel_run_serial(const float* x, const double* w, uint32_t n, double c) {
    double s1 = 0.0, s2 = 0.0;
    for (uint32_t j = 0; j < n; ++j) {
        const double s = x[j] * w[j] + c * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return {s1, s2};
}

double goertzel_block_power(const float* x, const double* w, uint32_t n, double c) {
    if (n < kMinSplitLength) {
        return goertzel_power(goertzel_run_serial(x, w, n, c), c);
    }
    const Split split = SplitBlock(n, kLanes);
    double s1[kLanes], s2[kLanes];
    run_lanes(x, w, split.off, split.length, split.lead, c, s1, s2);
    return JoinLanes(s1, s2, split, c);
}

double goertzel_block_power(const float* x, const WindowShape& w, uint32_t n, double c) {
    using Kind = WindowShape::Kind;
    if (n < kMinSplitLength) {
        GoertzelState state{};
        switch (w.kind) {
            case Kind::kOnes:
                state = RunSerialShaped<OnesGenerator>(x, w, n, c);
                break;
            case Kind::kCosine:
                state = RunSerialShaped<RotatingCosineGenerator>(x, w, n, c);
                break;
            case Kind::kGaussian:
                state = RunSerialShaped<GaussianGenerator>(x, w, n, c);
                break;
        }
        return goertzel_power(state, c);
    }
    const uint32_t lanes = w.kind == Kind::kOnes ? kInterleave : kShapedInterleave;
    const uint32_t steps = (n + lanes - 1) / lanes;
    const uint32_t lead = steps * lanes - n;
    // Each lane sees the tone turn `lanes` times as far per step.
    const double omega = std::acos(c / 2);
    const double lane_c = 2.0 * std::cos(lanes * omega);
    double s1[kInterleave], s2[kInterleave];
    switch (w.kind) {
        case Kind::kOnes:
            run_interleaved_ones(x, w, steps, lead, lane_c, s1, s2);
            break;
        case Kind::kCosine:
            if (w.a[3] != 0.0) {
                run_interleaved_cosine3(x, w, steps, lead, lane_c, s1, s2);
            } else if (w.a[2] != 0.0) {
                run_interleaved_cosine2(x, w, steps, lead, lane_c, s1, s2);
            } else {
                run_interleaved_cosine1(x, w, steps, lead, lane_c, s1, s2);
            }
            break;
        case Kind::kGaussian:
            run_interleaved_gaussian(x, w, steps, lead, lane_c, s1, s2);
            break;
    }
    return JoinInterleaved(s1, s2, lanes, omega);
}

}  // namespace tonebank
