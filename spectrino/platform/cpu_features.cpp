#include "cpu_features.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#define SPECTRINO_CPUID_GNU 1
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#define SPECTRINO_CPUID_MSVC 1
#endif

namespace spectrino::platform {
namespace {

struct Registers {
    std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// False when the leaf is beyond what the processor answers (or there is no identification).
[[maybe_unused]] bool QueryLeaf(std::uint32_t leaf, Registers& out) {
#if defined(SPECTRINO_CPUID_GNU)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(leaf, &a, &b, &c, &d) == 0) {
        return false;
    }
    out = {a, b, c, d};
    return true;
#elif defined(SPECTRINO_CPUID_MSVC)
    int highest[4] = {};
    __cpuid(highest, static_cast<int>(leaf & 0x80000000u));
    if (static_cast<std::uint32_t>(highest[0]) < leaf) {
        return false;
    }
    int r[4] = {};
    __cpuid(r, static_cast<int>(leaf));
    out = {static_cast<std::uint32_t>(r[0]), static_cast<std::uint32_t>(r[1]),
           static_cast<std::uint32_t>(r[2]), static_cast<std::uint32_t>(r[3])};
    return true;
#else
    (void)leaf;
    (void)out;
    return false;
#endif
}

}  // namespace

CpuFeatures ProbeCpuFeatures() {
    CpuFeatures features;
    Registers r;
    if (QueryLeaf(1, r)) {
        features.sse = (r.edx & (1u << 25)) != 0;
    }
    if (QueryLeaf(0x80000000u, r)) {
        features.highestExtendedLeaf = r.eax;
    }
    if (features.highestExtendedLeaf >= 0x80000001u && QueryLeaf(0x80000001u, r)) {
        features.amd3DNow = (r.edx & (1u << 31)) != 0;
    }
    return features;
}

}  // namespace spectrino::platform
