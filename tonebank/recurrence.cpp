#include "recurrence.h"

#include <cmath>
#include <cstddef>

namespace tonebank {
namespace {

// Independent chains per block; two vectors of four doubles.
constexpr uint32_t kLanes = 8;
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
    // Equal chains of `length` samples; the first one is short by `lead`.
    const uint32_t length = (n + kLanes - 1) / kLanes;
    const uint32_t lead = kLanes * length - n;
    ptrdiff_t off[kLanes];
    for (uint32_t j = 0; j < kLanes; ++j) {
        off[j] = static_cast<ptrdiff_t>(j) * length - lead;
    }
    double s1[kLanes], s2[kLanes];
    run_lanes(x, w, off, length, lead, c, s1, s2);

    // s1 - e^(-i omega) s2 is the chain's transform up to a phase that depends only on where
    // the chain starts; rotating each by its start and adding gives the whole block's transform,
    // whose squared magnitude equals s1^2 + s2^2 - c s1 s2 of the single long chain. Short
    // chains also keep the states small, which spares precision at low frequencies.
    const double omega = std::acos(c / 2);
    const double cw = std::cos(omega), sw = std::sin(omega);
    double re = 0.0, im = 0.0;
    for (uint32_t j = 0; j < kLanes; ++j) {
        const double zr = s1[j] - cw * s2[j];
        const double zi = sw * s2[j];
        const double phase = -omega * static_cast<double>(j) * length;
        const double pr = std::cos(phase), pi = std::sin(phase);
        re += zr * pr - zi * pi;
        im += zr * pi + zi * pr;
    }
    return re * re + im * im;
}

}  // namespace tonebank
