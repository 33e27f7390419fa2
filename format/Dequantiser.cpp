#include "format/Dequantiser.h"

#include "format/DitherTable.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Lumetra {

namespace {
constexpr int kTabulated = 45;

#if defined(__SSE2__)
// Four indices as 32-bit integers.
inline __m128i fourIndices(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i fourIndices(const int16_t* p) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
}
#endif
}  // namespace

float dequantisedValue(int32_t q, float step) {
    const float half = step * 0.5f;
    if (q == 0) return 0.0f;
    if (q > 0) return half + (float(q) - 0.44f) * step;
    return (float(q) + 0.44f) * step - half;
}

template <class Index>
void dequantise(const Index* q, std::ptrdiff_t qStride, int width, int height, float step,
                const DitherSetting& dither, float* out, std::ptrdiff_t outStride) {
    if (step == 0.0f) {
        for (int i = 0; i < height; ++i)
            for (int j = 0; j < width; ++j) out[i * outStride + j] = 0.0f;
        return;
    }
#if !defined(__SSE2__)
    float table[2 * kTabulated + 1];
    for (int v = -kTabulated; v <= kTabulated; ++v) table[v + kTabulated] = dequantisedValue(v, step);
#endif

#if defined(__SSE2__)
    const __m128 vstep = _mm_set1_ps(step), vhalf = _mm_set1_ps(step * 0.5f), offset = _mm_set1_ps(0.44f);
#endif
    for (int i = 0; i < height; ++i) {
        const Index* src = q + i * qStride;
        float* dst = out + i * outStride;
        int j = 0;
#if defined(__SSE2__)
        // dequantisedValue four at a time: the same float operations, each
        // side's result chosen by the sign of the index.
        for (; j + 4 <= width; j += 4) {
            const __m128i v = fourIndices(src + j);
            const __m128 f = _mm_cvtepi32_ps(v);
            const __m128 up = _mm_add_ps(vhalf, _mm_mul_ps(_mm_sub_ps(f, offset), vstep));
            const __m128 down = _mm_sub_ps(_mm_mul_ps(_mm_add_ps(f, offset), vstep), vhalf);
            const __m128 positive = _mm_castsi128_ps(_mm_cmpgt_epi32(v, _mm_setzero_si128()));
            const __m128 negative = _mm_castsi128_ps(_mm_cmplt_epi32(v, _mm_setzero_si128()));
            _mm_storeu_ps(dst + j, _mm_or_ps(_mm_and_ps(positive, up), _mm_and_ps(negative, down)));
        }
        for (; j < width; ++j) dst[j] = dequantisedValue(src[j], step);
#else
        for (; j < width; ++j) {
            const int32_t v = src[j];
            dst[j] =
                (v >= -kTabulated && v <= kTabulated) ? table[v + kTabulated] : dequantisedValue(v, step);
        }
#endif
    }
    subtractDither(dither, width, height, step, out, outStride);
}

void subtractDither(const DitherSetting& dither, int width, int height, float step, float* out,
                    std::ptrdiff_t outStride) {
    if (!dither.on) return;
    const float* t = ditherTable();
    const int e = ((dither.x0 + dither.d0) % kDitherSize + kDitherSize) % kDitherSize;
    const int f = ((dither.y0 + dither.d1) % kDitherSize + kDitherSize) % kDitherSize;
#if defined(__SSE2__)
    const __m128 vstep = _mm_set1_ps(step);
#endif
    for (int i = 0; i < height; ++i) {
        // Four samples at a time where SSE2 is there (the same operations
        // as the scalar form).
        float* dst = out + i * outStride;
        const float* row = t + ((f + i) & (kDitherSize - 1)) * kDitherSize;
        forEachDitherRun(row, e, width, [&](int x, const float* r, int n) {
            float* d = dst + x;
            int k = 0;
#if defined(__SSE2__)
            for (; k + 4 <= n; k += 4)
                _mm_storeu_ps(d + k, _mm_sub_ps(_mm_loadu_ps(d + k), _mm_mul_ps(vstep, _mm_loadu_ps(r + k))));
#endif
            for (; k < n; ++k) d[k] = d[k] - step * r[k];
        });
    }
}

template void dequantise(const int16_t*, std::ptrdiff_t, int, int, float, const DitherSetting&, float*,
                         std::ptrdiff_t);
template void dequantise(const int32_t*, std::ptrdiff_t, int, int, float, const DitherSetting&, float*,
                         std::ptrdiff_t);

}  // namespace Lumetra
