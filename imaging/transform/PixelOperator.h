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

#include "core/CpuFeatures.h"
#include "core/Exception.h"
#include "imaging/pixels/ImageBufferInfo.h"
#include "imaging/pixels/SampleRange.h"

#if defined(WAVRA_X86_AVX2)
// Rows of 8-bit pixels are also converted by a kernel for AVX2.
#include <immintrin.h>
#endif

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

        // For 8-bit destinations, whose results lie in 0 .. 255: the values
        // of convert(a, ...), stored as n bytes.
        void convertToBytes(const float* a, int n, unsigned char* out) const {
            if (plain())
                bytes<true>(a, n, out);
            else
                bytes<false>(a, n, out);
        }
        // n pixels of three formulas a + u * b + v * c, each pair (u, v)
        // giving one byte of a pixel: the values of three convert calls,
        // stored as byte triples.
        void convertToByteTriples(const float* a, const float* b, const float* c, const float (&u)[3],
                                  const float (&v)[3], int n, unsigned char* out) const {
            if (plain())
                byteTriples<true>(a, b, c, u, v, n, out);
            else
                byteTriples<false>(a, b, c, u, v, n, out);
        }

    private:
        template <bool kPlain>
        void bytes(const float* a, int n, unsigned char* out) const {
            int k = 0;
#if defined(__SSE2__)
            const Lanes l(*this, 0.0f, 0.0f);
            for (; k + 16 <= n; k += 16) {
                const __m128i low = _mm_packs_epi32(l.template result<false, kPlain>(a + k, a, a),
                                                    l.template result<false, kPlain>(a + k + 4, a, a));
                const __m128i high = _mm_packs_epi32(l.template result<false, kPlain>(a + k + 8, a, a),
                                                     l.template result<false, kPlain>(a + k + 12, a, a));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(low, high));
            }
#endif
            for (; k < n; ++k)
                out[k] = static_cast<unsigned char>(scalar<false>(a[k], 0.0f, 0.0f, 0.0f, 0.0f));
        }
#if defined(WAVRA_X86_AVX2)
        // The first pixels of byteTriples, eight at a time, for as many as
        // leave two after them (each store writes four bytes beyond its
        // pixels); returns how many it did. The operations of Lanes::result,
        // eight wide.
        template <bool kPlain>
        __attribute__((target("avx2"))) int byteTriplesAvx2(const float* a, const float* b, const float* c,
                                                            const float (&u)[3], const float (&v)[3], int n,
                                                            unsigned char* out) const {
            const __m256 smin = _mm256_set1_ps(sourceMin), sc = _mm256_set1_ps(scale),
                         dmin = _mm256_set1_ps(destinationMin), ro = _mm256_set1_ps(rounding),
                         vlo = _mm256_set1_ps(lo), vhi = _mm256_set1_ps(hi);
            const __m256 vu[3] = {_mm256_set1_ps(u[0]), _mm256_set1_ps(u[1]), _mm256_set1_ps(u[2])};
            const __m256 vv[3] = {_mm256_set1_ps(v[0]), _mm256_set1_ps(v[1]), _mm256_set1_ps(v[2])};
            // Each 128-bit half: four words 0x00ccbbaa packed into 12 bytes.
            const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                                  1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
            int k = 0;
            for (; k + 10 <= n; k += 8) {
                const __m256 x = _mm256_loadu_ps(a + k), y = _mm256_loadu_ps(b + k),
                             z = _mm256_loadu_ps(c + k);
                __m256i words = _mm256_setzero_si256();
                for (int j = 0; j < 3; ++j) {
                    __m256 t =
                        _mm256_add_ps(_mm256_add_ps(x, _mm256_mul_ps(vu[j], y)), _mm256_mul_ps(vv[j], z));
                    t = kPlain ? _mm256_add_ps(t, ro)
                               : _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(t, smin), sc), dmin),
                                               ro);
                    t = _mm256_min_ps(_mm256_max_ps(t, vlo), vhi);
                    words = _mm256_or_si256(words, _mm256_slli_epi32(_mm256_cvttps_epi32(t), 8 * j));
                }
                const __m256i packed = _mm256_shuffle_epi8(words, pack);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * k), _mm256_castsi256_si128(packed));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * k + 12),
                                 _mm256_extracti128_si256(packed, 1));
            }
            return k;
        }
#endif
        // The range mapping changes no value (see Lanes::result).
        bool plain() const { return sourceMin == 0.0f && scale == 1.0f && destinationMin == 0.0f; }

        template <bool kPlain>
        void byteTriples(const float* a, const float* b, const float* c, const float (&u)[3],
                         const float (&v)[3], int n, unsigned char* out) const {
            int k = 0;
#if defined(WAVRA_X86_AVX2)
            if (hasAvx2()) k = byteTriplesAvx2<kPlain>(a, b, c, u, v, n, out);
#endif
#if defined(__SSE2__)
            const Lanes first(*this, u[0], v[0]), second(*this, u[1], v[1]), third(*this, u[2], v[2]);
            // Per 64-bit half: the first pixel's word, and the second's
            // bytes once shifted down by one byte.
            const __m128i firstWord = _mm_set_epi32(0, -1, 0, -1);
            const __m128i secondWord = _mm_set_epi32(-1, int32_t(0xFF000000u), -1, int32_t(0xFF000000u));
            // Four pixels a store: their 32-bit words 0x00ccbbaa packed into
            // 12 bytes; the store's last four bytes are rewritten by the next
            // pixels, so it runs while two pixels follow.
            for (; k + 6 <= n; k += 4) {
                const __m128i words = _mm_or_si128(
                    _mm_or_si128(
                        first.template result<true, kPlain>(a + k, b + k, c + k),
                        _mm_slli_epi32(second.template result<true, kPlain>(a + k, b + k, c + k), 8)),
                    _mm_slli_epi32(third.template result<true, kPlain>(a + k, b + k, c + k), 16));
                // Each half's two pixels as six bytes, then the halves together.
                const __m128i halves = _mm_or_si128(_mm_and_si128(words, firstWord),
                                                    _mm_and_si128(_mm_srli_epi64(words, 8), secondWord));
                const __m128i packed = _mm_or_si128(_mm_and_si128(halves, _mm_set_epi32(0, 0, -1, -1)),
                                                    _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * k), packed);
            }
#endif
            for (; k < n; ++k)
                for (int j = 0; j < 3; ++j)
                    out[3 * k + j] = static_cast<unsigned char>(scalar<true>(a[k], b[k], c[k], u[j], v[j]));
        }

        template <bool kSum>
        int32_t scalar(float a, float b, float c, float u, float v) const {
            float x = kSum ? a + u * b + v * c : a;
            x = (x - sourceMin) * scale + destinationMin + rounding;
            x = x > lo ? x : lo;
            x = x < hi ? x : hi;
            return int32_t(x);
        }
#if defined(__SSE2__)
        // The mapping's constants in vector registers, for one pair (u, v).
        struct Lanes {
            __m128 smin, sc, dmin, ro, vlo, vhi, vu, vv;
            Lanes(const RowMapping& m, float u, float v)
                : smin(_mm_set1_ps(m.sourceMin)),
                  sc(_mm_set1_ps(m.scale)),
                  dmin(_mm_set1_ps(m.destinationMin)),
                  ro(_mm_set1_ps(m.rounding)),
                  vlo(_mm_set1_ps(m.lo)),
                  vhi(_mm_set1_ps(m.hi)),
                  vu(_mm_set1_ps(u)),
                  vv(_mm_set1_ps(v)) {}
            // Four results of scalar(), from a[0..3] (and b, c with kSum).
            // kPlain: the mapping is known to be (x - 0) * 1 + 0, which
            // changes no value but the sign of a zero, which adding the
            // rounding then drops: x + rounding gives the same results.
            template <bool kSum, bool kPlain = false>
            __m128i result(const float* a, const float* b, const float* c) const {
                __m128 x = _mm_loadu_ps(a);
                if (kSum)
                    x = _mm_add_ps(_mm_add_ps(x, _mm_mul_ps(vu, _mm_loadu_ps(b))),
                                   _mm_mul_ps(vv, _mm_loadu_ps(c)));
                x = kPlain ? _mm_add_ps(x, ro)
                           : _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(x, smin), sc), dmin), ro);
                // max and min answer their second operand for NaN and ties,
                // as the selects of scalar() and store() do.
                x = _mm_min_ps(_mm_max_ps(x, vlo), vhi);
                return _mm_cvttps_epi32(x);
            }
        };
#endif
        template <bool kSum>
        void convertRow(const float* a, const float* b, const float* c, float u, float v, int n,
                        int32_t* out) const {
            int k = 0;
#if defined(__SSE2__)
            const Lanes l(*this, u, v);
            for (; k + 4 <= n; k += 4)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                                 l.template result<kSum>(a + k, b + k, c + k));
#endif
            for (; k < n; ++k) out[k] = scalar<kSum>(a[k], b[k], c[k], u, v);
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
