#pragma once
// What the wavelet analysis (encoder) and synthesis (decoder) share: the
// CDF 9/7 lifting constants, one lifting step over a run of values, and the
// halving of indices toward minus infinity.

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/CpuFeatures.h"

namespace Lumetra {

// The two directions hold the constants at different single-precision
// values, and the coded files and decoded pixels depend on those exact
// floats: moving either side to the other's values changes its output. So
// both sets stay, side by side.
namespace Cdf97Analysis {
constexpr float alpha = 1.586134f;
constexpr float beta = 0.05298f;
constexpr float gamma = 0.882911f;
constexpr float delta = 0.443507f;
constexpr float K = 1.149604f;
constexpr float invK = 0.86986476f;  // its own stored constant, not 1 / K
}  // namespace Cdf97Analysis

namespace Cdf97Synthesis {
constexpr float alpha = 1.5861344f;
constexpr float beta = 0.052980117f;
constexpr float gamma = 0.8829111f;
constexpr float delta = 0.44350684f;
}  // namespace Cdf97Synthesis

// One lifting step over `count` values: out = in - k * (a + b) (`subtract`)
// or in + k * (a + b), each value with the operations of the scalar form in
// its order (the results are the same). Long runs go through a loop that the
// callers' files, compiled with -O3, vectorise: four values per instruction
// with SSE2, eight in a function compiled for AVX2 as well
// (WAVRA_AVX2_CLONES). Short runs and the rest take four at a time where
// SSE2 is there: the encoder's rows come four lanes wide. `out` may be `in`;
// otherwise it overlaps none of the inputs.
WAVRA_ALWAYS_INLINE void liftStep(float* out, const float* in, const float* a, const float* b, float k,
                                  int count, bool subtract) {
    int c = 0;
    if (count >= 16) {
        c = count & ~7;
        if (subtract) {
            WAVRA_INDEPENDENT_ITERATIONS
            for (int i = 0; i < c; ++i) out[i] = in[i] - k * (a[i] + b[i]);
        } else {
            WAVRA_INDEPENDENT_ITERATIONS
            for (int i = 0; i < c; ++i) out[i] = in[i] + k * (a[i] + b[i]);
        }
    }
#if defined(__SSE2__)
    const __m128 vk = _mm_set1_ps(k);
    for (; c + 4 <= count; c += 4) {
        const __m128 t = _mm_mul_ps(vk, _mm_add_ps(_mm_loadu_ps(a + c), _mm_loadu_ps(b + c)));
        const __m128 x = _mm_loadu_ps(in + c);
        _mm_storeu_ps(out + c, subtract ? _mm_sub_ps(x, t) : _mm_add_ps(x, t));
    }
#endif
    if (subtract)
        for (; c < count; ++c) out[c] = in[c] - k * (a[c] + b[c]);
    else
        for (; c < count; ++c) out[c] = in[c] + k * (a[c] + b[c]);
}

// floor(v / 2) and ceil(v / 2) for any sign of v.
template <class T>
constexpr T floorDiv2(T v) {
    return v >= 0 ? v / 2 : -((-v + 1) / 2);
}
template <class T>
constexpr T ceilDiv2(T v) {
    return -floorDiv2(-v);
}

}  // namespace Lumetra
