// Sixteen samples per step in zmm registers. Built with -mavx512f for this file only and run
// only when the processor and operating system support it.
#include <immintrin.h>

#include "gain_kernel.h"

namespace {

inline __m256 times(__m256 x, __m512d g) {
    return _mm512_cvtpd_ps(_mm512_mul_pd(_mm512_cvtps_pd(x), g));
}

} // namespace

void gain_kernel_avx512(const float* in_l, const float* in_r, const float* gain, float* out_l,
                        float* out_r, int32_t count, double factor) {
    const __m512d f = _mm512_set1_pd(factor);
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m512d g0 = _mm512_mul_pd(_mm512_cvtps_pd(_mm256_loadu_ps(gain + i)), f);
        const __m512d g1 = _mm512_mul_pd(_mm512_cvtps_pd(_mm256_loadu_ps(gain + i + 8)), f);
        // Out L is stored before In R is loaded: Out L may be In R's buffer.
        const __m256 l0 = times(_mm256_loadu_ps(in_l + i), g0);
        const __m256 l1 = times(_mm256_loadu_ps(in_l + i + 8), g1);
        _mm256_storeu_ps(out_l + i, l0);
        _mm256_storeu_ps(out_l + i + 8, l1);
        const __m256 r0 = times(_mm256_loadu_ps(in_r + i), g0);
        const __m256 r1 = times(_mm256_loadu_ps(in_r + i + 8), g1);
        _mm256_storeu_ps(out_r + i, r0);
        _mm256_storeu_ps(out_r + i + 8, r1);
    }
    for (; i + 8 <= count; i += 8) {
        const __m512d g = _mm512_mul_pd(_mm512_cvtps_pd(_mm256_loadu_ps(gain + i)), f);
        _mm256_storeu_ps(out_l + i, times(_mm256_loadu_ps(in_l + i), g));
        _mm256_storeu_ps(out_r + i, times(_mm256_loadu_ps(in_r + i), g));
    }
    gain_scalar(in_l + i, in_r + i, gain + i, out_l + i, out_r + i, count - i, factor);
}
