// Eight samples per step: AVX converts four floats to four doubles in one instruction, which is
// the limit of this routine. Built with -mavx for this file only and run only when the processor
// and operating system support it; the compiler ends each function with vzeroupper.
#include <immintrin.h>

#include "gain_kernel.h"

namespace {

inline __m128 times(__m128 x, __m256d g) {
    return _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(x), g));
}

} // namespace

void gain_kernel_avx(const float* in_l, const float* in_r, const float* gain, float* out_l,
                     float* out_r, int32_t count, double factor) {
    const __m256d f = _mm256_set1_pd(factor);
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256d g0 = _mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(gain + i)), f);
        const __m256d g1 = _mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(gain + i + 4)), f);
        // Out L is stored before In R is loaded: Out L may be In R's buffer.
        const __m128 l0 = times(_mm_loadu_ps(in_l + i), g0);
        const __m128 l1 = times(_mm_loadu_ps(in_l + i + 4), g1);
        _mm_storeu_ps(out_l + i, l0);
        _mm_storeu_ps(out_l + i + 4, l1);
        const __m128 r0 = times(_mm_loadu_ps(in_r + i), g0);
        const __m128 r1 = times(_mm_loadu_ps(in_r + i + 4), g1);
        _mm_storeu_ps(out_r + i, r0);
        _mm_storeu_ps(out_r + i + 4, r1);
    }
    for (; i + 4 <= count; i += 4) {
        const __m256d g = _mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(gain + i)), f);
        _mm_storeu_ps(out_l + i, times(_mm_loadu_ps(in_l + i), g));
        _mm_storeu_ps(out_r + i, times(_mm_loadu_ps(in_r + i), g));
    }
    gain_scalar(in_l + i, in_r + i, gain + i, out_l + i, out_r + i, count - i, factor);
}
