#include "format/Dequantiser.h"

#include "format/DitherTable.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Lumetra {

namespace {
constexpr int kTabulated = 45;
}

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
    float table[2 * kTabulated + 1];
    for (int v = -kTabulated; v <= kTabulated; ++v) table[v + kTabulated] = dequantisedValue(v, step);

    const float* t = ditherTable();
    const int e = ((dither.x0 + dither.d0) % kDitherSize + kDitherSize) % kDitherSize;
    const int f = ((dither.y0 + dither.d1) % kDitherSize + kDitherSize) % kDitherSize;
    for (int i = 0; i < height; ++i) {
        const Index* src = q + i * qStride;
        float* dst = out + i * outStride;
        for (int j = 0; j < width; ++j) {
            const int32_t v = src[j];
            dst[j] =
                (v >= -kTabulated && v <= kTabulated) ? table[v + kTabulated] : dequantisedValue(v, step);
        }
        if (dither.on) {
            // The table's row, from column e on and around again: in runs
            // that do not wrap, four samples at a time where SSE2 is there
            // (the same operations as the scalar form).
            const float* row = t + ((f + i) & (kDitherSize - 1)) * kDitherSize;
            int c = e;
            for (int j = 0; j < width;) {
                const int run = std::min(width - j, kDitherSize - c);
                float* d = dst + j;
                const float* r = row + c;
                int k = 0;
#if defined(__SSE2__)
                const __m128 vstep = _mm_set1_ps(step);
                for (; k + 4 <= run; k += 4)
                    _mm_storeu_ps(d + k, _mm_sub_ps(_mm_loadu_ps(d + k), _mm_mul_ps(vstep, _mm_loadu_ps(r + k))));
#endif
                for (; k < run; ++k) d[k] = d[k] - step * r[k];
                j += run;
                c = 0;
            }
        }
    }
}

template void dequantise(const int16_t*, std::ptrdiff_t, int, int, float, const DitherSetting&, float*,
                         std::ptrdiff_t);
template void dequantise(const int32_t*, std::ptrdiff_t, int, int, float, const DitherSetting&, float*,
                         std::ptrdiff_t);

}  // namespace Lumetra
