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
// side by side, one step further along the window at every call. Seeds give each lane's
// first entry; a lane may start before the window (a negative index), the formulas carry on.
struct LaneSeeds {
    double first[kMaxLanes];   // cosine: cos of the first angle; Gaussian: the first entry
    double second[kMaxLanes];  // cosine: its sine; Gaussian: ratio of the next entry to it
};

// Seeds for lanes whose first indices are first_index + j * spacing.
LaneSeeds SeedLanes(const WindowShape& shape, double first_index, double spacing, uint32_t lanes) {
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
        double w = std::exp(g * d * d);
        double r = std::exp(g * (4.0 * d + 4.0));
        double lane_ratio = std::exp(g * (4.0 * l * d + 4.0 * l * l));
        const double lane_ratio_step = std::exp(8.0 * g * l * l);
        const double r_step = std::exp(8.0 * g * l);
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

typedef float v4f __attribute__((vector_size(16)));

// Four samples from each of four lanes, as four vectors of one sample per lane.
inline __attribute__((always_inline)) void Transpose(const float* a, const float* b, const float* c,
                                                     const float* d, v4d* out) {
    v4f ra, rb, rc, rd;
    std::memcpy(&ra, a, sizeof ra);
    std::memcpy(&rb, b, sizeof rb);
    std::memcpy(&rc, c, sizeof rc);
    std::memcpy(&rd, d, sizeof rd);
    const v4f ab01 = __builtin_shufflevector(ra, rb, 0, 4, 1, 5);
    const v4f cd01 = __builtin_shufflevector(rc, rd, 0, 4, 1, 5);
    const v4f ab23 = __builtin_shufflevector(ra, rb, 2, 6, 3, 7);
    const v4f cd23 = __builtin_shufflevector(rc, rd, 2, 6, 3, 7);
    out[0] = __builtin_convertvector(__builtin_shufflevector(ab01, cd01, 0, 1, 4, 5), v4d);
    out[1] = __builtin_convertvector(__builtin_shufflevector(ab01, cd01, 2, 3, 6, 7), v4d);
    out[2] = __builtin_convertvector(__builtin_shufflevector(ab23, cd23, 0, 1, 4, 5), v4d);
    out[3] = __builtin_convertvector(__builtin_shufflevector(ab23, cd23, 2, 3, 6, 7), v4d);
}
#endif

struct OnesGenerator {
    template <typename V>
    struct Lanes {
        Lanes() = default;
        Lanes(const WindowShape&, const double*, const double*) {}
        V Next() { return V{} + 1.0; }
    };
};

// cos((i + offset) step) by turning (cos, sin) one step at a time: exact to a few units of
// rounding per step taken. For short blocks, run one after the other.
struct RotatingCosineGenerator {
    template <typename V>
    struct Lanes {
        Lanes() = default;
        Lanes(const WindowShape& shape, const double* cos0, const double* sin0)
            : tc(std::cos(shape.step)),
              ts(std::sin(shape.step)),
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
        Lanes(const WindowShape& shape, const double* cos0, const double* sin0)
            : k(2.0 * std::cos(shape.step)),
              a0(shape.a[0]),
              a1(shape.a[1]),
              a2(shape.a[2]),
              a3(shape.a[3]) {
            V s;
            Gather(c, cos0);
            Gather(s, sin0);
            // cos of one step earlier.
            previous = c * std::cos(shape.step) + s * std::sin(shape.step);
        }
        V Next() {
            V w;
            if constexpr (Degree == 1) {
                w = a1 * c + a0;
            } else if constexpr (Degree == 2) {
                w = (a2 * c + a1) * c + a0;
            } else {
                w = ((a3 * c + a2) * c + a1) * c + a0;
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
        Lanes(const WindowShape& shape, const double* w0, const double* r0)
            : q(std::exp(8.0 * shape.g)) {
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
    const LaneSeeds seeds = SeedLanes(shape, 0.0, 0.0, 1);
    typename Generator::template Lanes<double> window(shape, seeds.first, seeds.second);
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

#if defined(TONEBANK_HAVE_VECTORS)

// As run_lanes, for 4 * Groups lanes and with the window made by the generator: only the
// samples are read.
template <typename Generator, int Groups>
inline __attribute__((always_inline)) void RunLanesShaped(const float* x, const WindowShape& shape,
                                                          const Split& split, double coefficient,
                                                          double* s1_out, double* s2_out) {
    const uint32_t length = split.length;
    const LaneSeeds seeds = SeedLanes(shape, static_cast<double>(split.off[0]),
                                      static_cast<double>(length), 4 * Groups);
    using Window = typename Generator::template Lanes<v4d>;
    Window window[Groups] = {};
#pragma GCC unroll 16
    for (int g = 0; g < Groups; ++g) {
        window[g] = Window(shape, seeds.first + 4 * g, seeds.second + 4 * g);
    }
    const v4d c = {coefficient, coefficient, coefficient, coefficient};
    v4d s1[Groups], s2[Groups];
    const float* lane[4 * Groups];
#pragma GCC unroll 16
    for (int g = 0; g < Groups; ++g) {
        s1[g] = v4d{0, 0, 0, 0};
        s2[g] = s1[g];
    }
#pragma GCC unroll 16
    for (int j = 0; j < 4 * Groups; ++j) {
        lane[j] = x + split.off[j];
    }
    // The input and the older state are combined first, so that each step waits for the
    // previous one only through a single multiply-add.
    const auto step = [&](const v4d* in) {
#pragma GCC unroll 16
        for (int g = 0; g < Groups; ++g) {
            const v4d u = in[g] * window[g].Next() - s2[g];
            s2[g] = s1[g];
            s1[g] = c * s1[g] + u;
        }
    };
    uint32_t t = 0;
    // The first lane starts late: its first samples would lie before the block.
    for (; t < split.lead; ++t) {
        v4d in[Groups] = {};
#pragma GCC unroll 16
        for (int g = 0; g < Groups; ++g) {
            const float* const* l = lane + 4 * g;
            in[g] = v4d{g == 0 ? 0.0 : l[0][t], l[1][t], l[2][t], l[3][t]};
        }
        step(in);
    }
    // Four steps at a time: four samples of each lane in one load, turned into four vectors
    // of one sample per lane, instead of single loads for every lane and step.
    for (; t + 4 <= length; t += 4) {
        v4d in[4][Groups];
#pragma GCC unroll 16
        for (int g = 0; g < Groups; ++g) {
            const float* const* l = lane + 4 * g;
            v4d group[4];
            Transpose(l[0] + t, l[1] + t, l[2] + t, l[3] + t, group);
#pragma GCC unroll 16
            for (int k = 0; k < 4; ++k) {
                in[k][g] = group[k];
            }
        }
#pragma GCC unroll 16
        for (int k = 0; k < 4; ++k) {
            step(in[k]);
        }
    }
    for (; t < length; ++t) {
        v4d in[Groups] = {};
#pragma GCC unroll 16
        for (int g = 0; g < Groups; ++g) {
            const float* const* l = lane + 4 * g;
            in[g] = v4d{l[0][t], l[1][t], l[2][t], l[3][t]};
        }
        step(in);
    }
#pragma GCC unroll 16
    for (int g = 0; g < Groups; ++g) {
#pragma GCC unroll 16
        for (int j = 0; j < 4; ++j) {
            s1_out[4 * g + j] = s1[g][j];
            s2_out[4 * g + j] = s2[g][j];
        }
    }
}
#define TONEBANK_LANES_BODY(Generator, Groups) \
    RunLanesShaped<Generator, Groups>(x, shape, split, c, s1, s2)
#else
// One lane after the other.
template <typename Generator, int Groups>
void RunLanesShaped(const float* x, const WindowShape& shape, const Split& split,
                    double coefficient, double* s1_out, double* s2_out) {
    for (uint32_t j = 0; j < split.lanes; ++j) {
        const uint32_t start = j == 0 ? split.lead : 0;
        const LaneSeeds seeds = SeedLanes(shape, static_cast<double>(split.off[j] + start), 0.0, 1);
        typename Generator::template Lanes<double> window(shape, seeds.first, seeds.second);
        const float* in = x + split.off[j] + start;
        double s1 = 0.0, s2 = 0.0;
        for (uint32_t t = 0; t < split.length - start; ++t) {
            const double s = in[t] * window.Next() + coefficient * s1 - s2;
            s2 = s1;
            s1 = s;
        }
        s1_out[j] = s1;
        s2_out[j] = s2;
    }
}
#define TONEBANK_LANES_BODY(Generator, Groups) \
    RunLanesShaped<Generator, Groups>(x, shape, split, c, s1, s2)
#endif

// One clone set per window form. The rectangular window waits only on the recurrence, so more
// lanes keep the processor busy; the others have enough work per step with eight.
constexpr uint32_t kOnesLanes = 16;
constexpr uint32_t kShapedLanes = 8;

TONEBANK_CLONES
void run_lanes_ones(const float* x, const WindowShape& shape, const Split& split, double c,
                    double* s1, double* s2) {
    TONEBANK_LANES_BODY(OnesGenerator, kOnesLanes / 4);
}

TONEBANK_CLONES
void run_lanes_ones_short(const float* x, const WindowShape& shape, const Split& split, double c,
                          double* s1, double* s2) {
    TONEBANK_LANES_BODY(OnesGenerator, kShapedLanes / 4);
}

TONEBANK_CLONES
void run_lanes_cosine1(const float* x, const WindowShape& shape, const Split& split, double c,
                       double* s1, double* s2) {
    TONEBANK_LANES_BODY(CosineGenerator<1>, kShapedLanes / 4);
}

TONEBANK_CLONES
void run_lanes_cosine2(const float* x, const WindowShape& shape, const Split& split, double c,
                       double* s1, double* s2) {
    TONEBANK_LANES_BODY(CosineGenerator<2>, kShapedLanes / 4);
}

TONEBANK_CLONES
void run_lanes_cosine3(const float* x, const WindowShape& shape, const Split& split, double c,
                       double* s1, double* s2) {
    TONEBANK_LANES_BODY(CosineGenerator<3>, kShapedLanes / 4);
}

TONEBANK_CLONES
void run_lanes_gaussian(const float* x, const WindowShape& shape, const Split& split, double c,
                        double* s1, double* s2) {
    TONEBANK_LANES_BODY(GaussianGenerator, kShapedLanes / 4);
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
    // The first lane must not start later than its chain is long.
    const bool many = w.kind == Kind::kOnes && n >= kOnesLanes * kOnesLanes;
    const Split split = SplitBlock(n, many ? kOnesLanes : kShapedLanes);
    double s1[kMaxLanes], s2[kMaxLanes];
    switch (w.kind) {
        case Kind::kOnes:
            if (many) {
                run_lanes_ones(x, w, split, c, s1, s2);
            } else {
                run_lanes_ones_short(x, w, split, c, s1, s2);
            }
            break;
        case Kind::kCosine:
            if (w.a[3] != 0.0) {
                run_lanes_cosine3(x, w, split, c, s1, s2);
            } else if (w.a[2] != 0.0) {
                run_lanes_cosine2(x, w, split, c, s1, s2);
            } else {
                run_lanes_cosine1(x, w, split, c, s1, s2);
            }
            break;
        case Kind::kGaussian:
            run_lanes_gaussian(x, w, split, c, s1, s2);
            break;
    }
    return JoinLanes(s1, s2, split, c);
}

}  // namespace tonebank
