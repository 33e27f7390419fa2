#include "encoder/codec/Quantiser.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "format/Dequantiser.h"
#include "format/DitherTable.h"

namespace {

constexpr float kLargestIndex = 32760.0f;
constexpr float kEnlargement = 0.000030525032f;  // about 1 / 32760

// Step that keeps every index of coefficients up to `magnitude` within 16 bits.
float usable_step(float magnitude, float step) {
    const double half = double(step) * 0.5;
    const double top = (double(magnitude) - half) / double(step) + 1.0;
    if (top > 1e9 || std::trunc(top) > double(kLargestIndex)) return magnitude * kEnlargement;
    return step;
}

// |c| < half gives 0; otherwise the count of whole steps above half, plus
// one, with the sign of c.
inline int16_t index_of(float c, float step, float half) {
    const float a = std::fabs(c);
    const int q = a >= half ? int((a - half) / step) + 1 : 0;
    return int16_t(c < 0.0f ? -q : q);
}

// index_of of count values c[i] (plus step * d[i] when d is given) into
// out, four at a time where SSE2 is there: the same float operations, the
// same truncation to an int and to its low 16 bits.
void indices_of(const float* c, const float* d, size_t count, float step, float half, int16_t* out) {
    size_t x = 0;
#if defined(__SSE2__)
    const __m128 vstep = _mm_set1_ps(step), vhalf = _mm_set1_ps(half);
    const __m128 sign = _mm_set1_ps(-0.0f), zero = _mm_setzero_ps();
    const __m128i one = _mm_set1_epi32(1);
    for (; x + 4 <= count; x += 4) {
        __m128 v = _mm_loadu_ps(c + x);
        if (d) v = _mm_add_ps(v, _mm_mul_ps(vstep, _mm_loadu_ps(d + x)));
        const __m128 a = _mm_andnot_ps(sign, v);
        const __m128i whole = _mm_cvttps_epi32(_mm_div_ps(_mm_sub_ps(a, vhalf), vstep));
        const __m128i above = _mm_castps_si128(_mm_cmpge_ps(a, vhalf));
        __m128i q = _mm_and_si128(above, _mm_add_epi32(whole, one));
        const __m128i negative = _mm_castps_si128(_mm_cmplt_ps(v, zero));
        q = _mm_sub_epi32(_mm_xor_si128(q, negative), negative);  // -q where negative
        q = _mm_srai_epi32(_mm_slli_epi32(q, 16), 16);             // the low 16 bits, sign-extended
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packs_epi32(q, q));
    }
#endif
    for (; x < count; ++x) out[x] = index_of(d ? c[x] + step * d[x] : c[x], step, half);
}

}  // namespace

float sq(const float* coefficients, int width, int height, size_t stride, float step,
         const DitherOffsets* dither, int x0, int y0, int16_t* indices, float rounding) {
    const size_t w = size_t(std::max(width, 0));
    const size_t h = size_t(std::max(height, 0));
    if (step == 0.0f || w == 0 || h == 0) {
        std::fill(indices, indices + w * h, int16_t(0));
        return step;
    }
    float largest = 0.0f, smallest = 0.0f;
#if defined(__SSE2__)
    // Four running extremes at once: maxps(v, m) keeps m for a NaN as
    // std::max(m, v) does, and the extremes of a set do not depend on order.
    __m128 large4 = _mm_setzero_ps(), small4 = _mm_setzero_ps();
#endif
    for (size_t y = 0; y < h; ++y) {
        const float* row = coefficients + y * stride;
        size_t x = 0;
#if defined(__SSE2__)
        for (; x + 4 <= w; x += 4) {
            const __m128 v = _mm_loadu_ps(row + x);
            large4 = _mm_max_ps(v, large4);
            small4 = _mm_min_ps(v, small4);
        }
#endif
        for (; x < w; ++x) {
            largest = std::max(largest, row[x]);
            smallest = std::min(smallest, row[x]);
        }
    }
#if defined(__SSE2__)
    float lanes[8];
    _mm_storeu_ps(lanes, large4);
    _mm_storeu_ps(lanes + 4, small4);
    for (int k = 0; k < 4; ++k) {
        largest = std::max(largest, lanes[k]);
        smallest = std::min(smallest, lanes[4 + k]);
    }
#endif
    step = usable_step(std::max(largest, -smallest), step);
    if (step == 0.0f) {
        std::fill(indices, indices + w * h, int16_t(0));
        return step;
    }
    const float half = step * (1.0f - rounding);  // where index 1 starts
    const float* table = Lumetra::ditherTable();
    for (size_t y = 0; y < h; ++y) {
        const float* row = coefficients + y * stride;
        int16_t* out = indices + y * w;
        if (dither) {
            const float* ditherRow =
                table +
                size_t((y0 + int(y) + dither->row) & (Lumetra::kDitherSize - 1)) * Lumetra::kDitherSize;
            Lumetra::forEachDitherRun(ditherRow, (x0 + dither->column) & (Lumetra::kDitherSize - 1), int(w),
                                      [&](int x, const float* values, int n) {
                                          indices_of(row + x, values, size_t(n), step, half, out + x);
                                      });
        } else {
            indices_of(row, nullptr, w, step, half, out);
        }
    }
    return step;
}

void sq_inv(const int16_t* indices, int width, int height, float step, const DitherOffsets* dither, int x0,
            int y0, float* values) {
    Lumetra::DitherSetting setting;
    setting.on = dither != nullptr;
    setting.d0 = dither ? dither->column : 0;
    setting.d1 = dither ? dither->row : 0;
    setting.x0 = x0;
    setting.y0 = y0;
    const int w = std::max(width, 0);
    Lumetra::dequantise(indices, w, w, std::max(height, 0), step, setting, values, w);
}
