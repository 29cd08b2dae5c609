// Choosing the kernel once, when the library loads: a processing call then costs one indirect
// call through g_gain_kernel and no test of the processor.
#include "gain_kernel.h"

#include <cpuid.h>

namespace {

// Bits of XCR0: which register state the operating system saves on a context switch.
constexpr uint32_t kXcr0Sse = 1u << 1;
constexpr uint32_t kXcr0Avx = 1u << 2;
constexpr uint32_t kXcr0Opmask = 1u << 5;
constexpr uint32_t kXcr0ZmmHi256 = 1u << 6;
constexpr uint32_t kXcr0Hi16Zmm = 1u << 7;

// xgetbv through its encoding: the intrinsic needs -mxsave, which would let the compiler use
// XSAVE anywhere in this file.
uint32_t read_xcr0() {
    uint32_t low = 0;
    uint32_t high = 0;
    __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(low), "=d"(high) : "c"(0));
    return low;
}

struct CpuFeatures {
    bool avx = false;
    bool avx512f = false;
};

CpuFeatures detect() {
    CpuFeatures features;
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        return features;
    }
    const bool osxsave = (ecx & bit_OSXSAVE) != 0;
    const bool avx_cpu = (ecx & bit_AVX) != 0;
    if (!osxsave || !avx_cpu) {
        return features;
    }
    const uint32_t xcr0 = read_xcr0();
    features.avx = (xcr0 & (kXcr0Sse | kXcr0Avx)) == (kXcr0Sse | kXcr0Avx);
    if (features.avx && __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) {
        const uint32_t zmm = kXcr0Opmask | kXcr0ZmmHi256 | kXcr0Hi16Zmm;
        features.avx512f = (ebx & bit_AVX512F) != 0 && (xcr0 & zmm) == zmm;
    }
    return features;
}

const CpuFeatures kFeatures = detect();

constexpr GainKernelFn kKernels[GAIN_ISA_COUNT] = {gain_kernel_scalar, gain_kernel_sse2,
                                                   gain_kernel_avx, gain_kernel_avx512};

#ifndef SE_GAIN_ISA_CAP
// AVX-512 measured slower than AVX here (the conversions, not the vector width, are the limit),
// so the shipped libraries stop at AVX. The benchmark builds copies capped at each path.
#define SE_GAIN_ISA_CAP GAIN_ISA_AVX
#endif

// The best path up to the cap that this processor and operating system support.
GainIsa preferred_isa() {
    GainIsa isa = static_cast<GainIsa>(SE_GAIN_ISA_CAP);
    while (!gain_isa_supported(isa)) {
        isa = static_cast<GainIsa>(isa - 1);
    }
    return isa;
}

GainIsa g_active = GAIN_ISA_SCALAR;

GainKernelFn select_at_load() {
    g_active = preferred_isa();
    return kKernels[g_active];
}

} // namespace

GainKernelFn g_gain_kernel = select_at_load();

bool gain_isa_supported(GainIsa isa) {
    switch (isa) {
    case GAIN_ISA_SCALAR:
    case GAIN_ISA_SSE2:
        return true;
    case GAIN_ISA_AVX:
        return kFeatures.avx;
    case GAIN_ISA_AVX512:
        return kFeatures.avx512f;
    default:
        return false;
    }
}

GainIsa gain_isa_active() {
    return g_active;
}

bool gain_kernel_force(GainIsa isa) {
    if (!gain_isa_supported(isa)) {
        return false;
    }
    g_active = isa;
    g_gain_kernel = kKernels[isa];
    return true;
}

void gain_kernel_scalar(const float* in_l, const float* in_r, const float* gain, float* out_l,
                        float* out_r, int32_t count, double factor) {
    gain_scalar(in_l, in_r, gain, out_l, out_r, count, factor);
}
