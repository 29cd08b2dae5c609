// Four samples per step in two pairs of doubles: SSE2 converts two floats per instruction.
#include <emmintrin.h>

#include "gain_kernel.h"

namespace {

// Four floats times four exact doubles, each product rounded once to float.
inline __m128 times(__m128 x, __m128d g_low, __m128d g_high) {
    const __m128 low = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(x), g_low));
    const __m128 high = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(x, x)), g_high));
    return _mm_movelh_ps(low, high);
}

} // namespace

void gain_kernel_sse2(const float* in_l, const float* in_r, const float* gain, float* out_l,
                      float* out_r, int32_t count, double factor) {
    const __m128d f = _mm_set1_pd(factor);
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 g = _mm_loadu_ps(gain + i);
        const __m128d g_low = _mm_mul_pd(_mm_cvtps_pd(g), f);
        const __m128d g_high = _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(g, g)), f);
        // Out L is stored before In R is loaded: Out L may be In R's buffer.
        _mm_storeu_ps(out_l + i, times(_mm_loadu_ps(in_l + i), g_low, g_high));
        _mm_storeu_ps(out_r + i, times(_mm_loadu_ps(in_r + i), g_low, g_high));
    }
    gain_scalar(in_l + i, in_r + i, gain + i, out_l + i, out_r + i, count - i, factor);
}
