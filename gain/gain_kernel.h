// The arithmetic of the running routine: Out = In x Gain aspect x gain_factor for both channels,
// rounded once to single precision, with vector kernels chosen once per library load.
//
// Exactness: a float has a 24-bit significand and every gain_factor of the variant table has at
// most 5 significant bits, so in * gain * factor needs at most 53 bits and a double holds it
// exactly in any order of multiplication (the exponents stay far inside the double range, also
// for denormal floats). The kernels therefore form gain * factor once per sample and share it
// between the channels; the one rounding, to float on the store, gives the same bits as the
// sample-by-sample loop for every input that is not a NaN.
#pragma once

#include <cstdint>

// One stretch: the five positions are already advanced by the buffer offset; count > 0.
using GainKernelFn = void (*)(const float* in_l, const float* in_r, const float* gain, float* out_l,
                              float* out_r, int32_t count, double factor);

// The instruction-set paths, ordered by preference; GAIN_ISA_COUNT is not a path.
enum GainIsa : int32_t {
    GAIN_ISA_SCALAR = 0, // the sample-by-sample loop
    GAIN_ISA_SSE2 = 1,   // the baseline every supported processor has
    GAIN_ISA_AVX = 2,    // when the processor has AVX and the operating system saves ymm state
    GAIN_ISA_AVX512 = 3, // AVX-512F with zmm state saved; benchmark builds only
    GAIN_ISA_COUNT = 4,
};

void gain_kernel_scalar(const float* in_l, const float* in_r, const float* gain, float* out_l,
                        float* out_r, int32_t count, double factor);
void gain_kernel_sse2(const float* in_l, const float* in_r, const float* gain, float* out_l,
                      float* out_r, int32_t count, double factor);
void gain_kernel_avx(const float* in_l, const float* in_r, const float* gain, float* out_l,
                     float* out_r, int32_t count, double factor);
void gain_kernel_avx512(const float* in_l, const float* in_r, const float* gain, float* out_l,
                        float* out_r, int32_t count, double factor);

// The kernel for buffers that pass gain_vector_safe, chosen when the library loads: the best
// path up to AVX that the processor and operating system support (a build may lower the cap
// with SE_GAIN_ISA_CAP; the benchmark's copies do).
extern GainKernelFn g_gain_kernel;

// Whether this processor and operating system can run a path (SCALAR and SSE2 always can).
bool gain_isa_supported(GainIsa isa);
// The path g_gain_kernel runs.
GainIsa gain_isa_active();
// Test hook: makes `isa` the active path if it is supported and says whether it did. Not for the
// library's own use: a host may run several instances of one library on several threads.
bool gain_kernel_force(GainIsa isa);

// The helpers below are static, not plain inline: the AVX files include them too, and the linker
// must never pick their AVX-encoded copy for the baseline code.

// The sample-by-sample order, correct for every overlap of the five buffers: each left result
// is stored before the right channel's samples of the same position are read.
static inline void gain_scalar(const float* in_l, const float* in_r, const float* gain,
                               float* out_l, float* out_r, int32_t count, double factor) {
    for (int32_t i = 0; i < count; ++i) {
        const double g = gain[i];
        out_l[i] = static_cast<float>(static_cast<double>(in_l[i]) * g * factor);
        out_r[i] = static_cast<float>(static_cast<double>(in_r[i]) * g * factor);
    }
}

// True when `a` and `b`, each `bytes` long, overlap without being the same range. Computed with
// unsigned differences and no branch: d = a - b is bad when it lies in [1, bytes - 1] or in
// [-(bytes - 1), -1].
static inline bool gain_partial_overlap(const void* a, const void* b, uintptr_t bytes) {
    const uintptr_t d = reinterpret_cast<uintptr_t>(a) - reinterpret_cast<uintptr_t>(b);
    return (d - 1u < bytes - 1u) | (0u - d - 1u < bytes - 1u);
}

// True when `a` and `b`, each `bytes` long, share any byte.
static inline bool gain_any_overlap(const void* a, const void* b, uintptr_t bytes) {
    const uintptr_t d = reinterpret_cast<uintptr_t>(a) - reinterpret_cast<uintptr_t>(b);
    return d + (bytes - 1u) < 2u * bytes - 1u;
}

// The vector kernels read a whole group of samples of a stream before they store the group's
// results, which equals the sample order only when every output is the same range as an input
// or the other output, or disjoint from it. Out L must be disjoint from the gain: the scalar
// order may read the gain sample after Out L's store. count > 0.
static inline bool gain_vector_safe(const float* in_l, const float* in_r, const float* gain,
                                    const float* out_l, const float* out_r, int32_t count) {
    const uintptr_t bytes = static_cast<uintptr_t>(count) * sizeof(float);
    const bool bad =
        gain_partial_overlap(out_l, in_l, bytes) | gain_partial_overlap(out_l, in_r, bytes) |
        gain_any_overlap(out_l, gain, bytes) | gain_partial_overlap(out_l, out_r, bytes) |
        gain_partial_overlap(out_r, in_l, bytes) | gain_partial_overlap(out_r, in_r, bytes) |
        gain_partial_overlap(out_r, gain, bytes);
    return !bad;
}

// One stretch of the running routine: the selected kernel when the layout allows it, else the
// sample-by-sample loop. A count of zero or less writes nothing.
static inline void gain_process(const float* in_l, const float* in_r, const float* gain,
                                float* out_l, float* out_r, int32_t count, double factor) {
    if (count <= 0) {
        return;
    }
    if (gain_vector_safe(in_l, in_r, gain, out_l, out_r, count)) {
        g_gain_kernel(in_l, in_r, gain, out_l, out_r, count, factor);
    } else {
        gain_scalar(in_l, in_r, gain, out_l, out_r, count, factor);
    }
}
