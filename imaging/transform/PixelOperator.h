#pragma once
// The base of every per-pixel conversion: the two value ranges, the scale
// between them, the rounding offset and the store that clamps into the
// destination range. Kinds add an inline, non-virtual apply(D*, const S*).

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/Exception.h"
#include "imaging/pixels/ImageBufferInfo.h"
#include "imaging/pixels/SampleRange.h"

namespace Lumetra {

template <class D, class S>
class PixelOperator {
public:
    using Destination = D;
    using Source = S;
    static constexpr bool kIntegerSource = std::is_integral<S>::value;
    static constexpr bool kIntegerDestination = std::is_integral<D>::value;

    PixelOperator() = default;
    virtual ~PixelOperator() = default;

    // Checks both sample sizes and takes the ranges 0 .. 2^bits - 1 from the
    // two formats. Throws Exception "PixelOperator: source buffer properties
    // mismatch" / "PixelOperator: destination buffer properties mismatch".
    virtual void init(const ImageBufferInfo& destination, const ImageBufferInfo& source) {
        if (source.bytesPerSample() != int(sizeof(S)))
            throw Exception("PixelOperator: source buffer properties mismatch");
        sourceInfo = source;
        sourceRange.set(S(0), rangeTop<S>(source.bitsPerSample));
        if (destination.bytesPerSample() != int(sizeof(D)))
            throw Exception("PixelOperator: destination buffer properties mismatch");
        destinationInfo = destination;
        destinationRange.set(D(0), rangeTop<D>(destination.bitsPerSample));
        updateScale();
    }

    // scale = (dstMax - dstMin + 1) / (srcMax - srcMin + 1).
    void updateScale() { scale = float(destinationRange.width() / sourceRange.width()); }

    // Maps a formula result in source units into destination units (integer
    // sources first truncate the result toward zero) and stores it.
    template <class X>
    void put(D* out, X x) const {
        store(out, map(x));
    }
    template <class X>
    X map(X x) const {
        if constexpr (kIntegerSource) x = X(int32_t(x));
        return (x - X(sourceRange.min)) * X(scale) + X(destinationRange.min) + X(roundingOffset);
    }
    // Clamps into the destination range (NaN gives the minimum) and writes,
    // truncating toward zero for integer destinations.
    template <class X>
    void store(D* out, X v) const {
        // Written as selects so that they compile to branch-free min/max.
        const X lo = X(destinationRange.min), hi = X(destinationRange.max);
        v = v > lo ? v : lo;  // below the range, or NaN
        v = v < hi ? v : hi;
        *out = D(v);
    }
    // put() for a float formula a + u * b + v * c over rows of samples,
    // with the range constants taken once: the same operations in the same
    // order, so the same values. Results are clamped and truncated to
    // integers (for integer destinations).
    struct RowMapping {
        float sourceMin, scale, destinationMin, rounding, lo, hi;

        void convert(const float* a, const float* b, const float* c, float u, float v, int n,
                     int32_t* out) const {
            convertRow<true>(a, b, c, u, v, n, out);
        }
        // The same for the formula a alone.
        void convert(const float* a, int n, int32_t* out) const {
            convertRow<false>(a, a, a, 0.0f, 0.0f, n, out);
        }

    private:
        template <bool kSum>
        void convertRow(const float* a, const float* b, const float* c, float u, float v, int n,
                        int32_t* out) const {
            int k = 0;
#if defined(__SSE2__)
            const __m128 smin = _mm_set1_ps(sourceMin), sc = _mm_set1_ps(scale);
            const __m128 dmin = _mm_set1_ps(destinationMin), ro = _mm_set1_ps(rounding);
            const __m128 vlo = _mm_set1_ps(lo), vhi = _mm_set1_ps(hi);
            const __m128 vu = _mm_set1_ps(u), vv = _mm_set1_ps(v);
            for (; k + 4 <= n; k += 4) {
                __m128 x = _mm_loadu_ps(a + k);
                if (kSum)
                    x = _mm_add_ps(_mm_add_ps(x, _mm_mul_ps(vu, _mm_loadu_ps(b + k))),
                                   _mm_mul_ps(vv, _mm_loadu_ps(c + k)));
                x = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(x, smin), sc), dmin), ro);
                // max and min answer their second operand for NaN and ties,
                // as the selects of store() do.
                x = _mm_min_ps(_mm_max_ps(x, vlo), vhi);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_cvttps_epi32(x));
            }
#endif
            for (; k < n; ++k) {
                float x = kSum ? a[k] + u * b[k] + v * c[k] : a[k];
                x = (x - sourceMin) * scale + destinationMin + rounding;
                x = x > lo ? x : lo;
                x = x < hi ? x : hi;
                out[k] = int32_t(x);
            }
        }
    };
    RowMapping rowMapping() const {
        return RowMapping{float(sourceRange.min), scale, float(destinationRange.min), roundingOffset,
                          float(destinationRange.min), float(destinationRange.max)};
    }
    static constexpr int kRowChunk = 256;

    // dstMax as a number (the "full scale" of the colour formulas).
    float fullScale() const { return float(destinationRange.max); }

    SampleRange<D> destinationRange;
    SampleRange<S> sourceRange;
    float scale = 1.0f;
    float roundingOffset = (!kIntegerSource && kIntegerDestination) ? 0.5f : 0.0f;
    ImageBufferInfo destinationInfo;
    ImageBufferInfo sourceInfo;

protected:
    // 2^bits - 1 in T; integer types keep the largest value they hold.
    // Negative bit counts are refused like an inverted range.
    template <class T>
    static T rangeTop(int bits) {
        if (bits < 0) throw InvalidArgumentException("Attempt to set range with min > max.");
        const double top = std::ldexp(1.0, bits > 200 ? 200 : bits) - 1.0;
        const double most = double(std::numeric_limits<T>::max());
        return T(top > most ? most : top);
    }
    // Copies n band positions of `info` (identity where its map is short).
    static void bandPositions(const ImageBufferInfo& info, int* out, int n) {
        for (int i = 0; i < n; ++i) out[i] = i < int(info.bandMap.size()) ? info.bandMap[i] : i;
    }
};

}  // namespace Lumetra
