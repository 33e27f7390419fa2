#include "decoder/WaveletSynthesis.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "format/Wavelet.h"

namespace Lumetra {

namespace {

using namespace Cdf97Synthesis;

// Index of the stored sample that stands for band index i (low band when
// odd == 0, high band when odd == 1) of a line of n samples, after whole-sample
// symmetric folding; clamped into the samples the caller provided. Returns
// -1 when the band has no samples at all.
inline int sourceIndex(int i, int odd, int n, const SynthesisInput& in) {
    if (in.count <= 0) return -1;
    if (i < 0 || i >= in.fullLength) {
        long long p = 2LL * i + odd;
        if (n <= 1) {
            p = 0;
        } else {
            const long long period = 2LL * (n - 1);
            p %= period;
            if (p < 0) p += period;
            if (p >= n) p = period - p;
        }
        if ((p & 1) != odd) return -1;  // only for degenerate lines
        i = int(p >> 1);
    }
    if (i < in.first) i = in.first;
    if (i > in.first + in.count - 1) i = in.first + in.count - 1;
    return i - in.first;
}

void gather(float* dst, int i0, int m, int odd, int n, const SynthesisInput& in) {
    // Indices that need neither folding nor clamping are copied directly;
    // only the few at the ends go through sourceIndex.
    const int lo = std::max(std::max(in.first, 0), i0);
    const int hi = std::min(std::min(in.first + in.count - 1, in.fullLength - 1), i0 + m - 1);
    auto folded = [&](int k) {
        const int src = sourceIndex(i0 + k, odd, n, in);
        dst[k] = src < 0 ? 0.0f : in.data[src * in.step];
    };
    if (lo > hi) {
        for (int k = 0; k < m; ++k) folded(k);
        return;
    }
    for (int k = 0; k < lo - i0; ++k) folded(k);
    const float* from = in.data + std::ptrdiff_t(lo - in.first) * in.step;
    float* to = dst + (lo - i0);
    const int inner = hi - lo + 1;
    if (in.step == 1) {
        std::memcpy(to, from, sizeof(float) * std::size_t(inner));
    } else {
        for (int k = 0; k < inner; ++k) to[k] = from[std::ptrdiff_t(k) * in.step];
    }
    for (int k = hi - i0 + 1; k < m; ++k) folded(k);
}

// The values of band indices i0..i0+m-1 as they lie in a line one sample
// apart, when none of them needs folding or clamping; otherwise null.
const float* inPlace(int i0, int m, const SynthesisInput& in) {
    if (in.count <= 0 || in.step != 1) return nullptr;
    if (i0 < std::max(in.first, 0) || i0 + m - 1 > std::min(in.first + in.count - 1, in.fullLength - 1))
        return nullptr;
    return in.data + (i0 - in.first);
}

// The four lifting steps over band indices k = 0..m-1, into s and d; each
// step is valid one index further in from the ends than the one before.
// The first two read the low values of k = 1.. from lowIn and the high ones
// of k = 0.. from highIn: the input lines themselves, or s + 1 and d.
WAVRA_AVX2_CLONES void lift(float* s, float* d, const float* lowIn, const float* highIn, int m) {
    liftStep(s + 1, lowIn, highIn, highIn + 1, delta, m - 1, true);
    liftStep(d + 1, highIn + 1, s + 1, s + 2, gamma, m - 2, true);
    liftStep(s + 2, s + 2, d + 1, d + 2, beta, m - 3, false);
    liftStep(d + 2, d + 2, s + 2, s + 3, alpha, m - 4, false);
}

// Rows of samples a..b from parallel lines: the first two lifting steps read
// the inputs in place, so no input row is copied.
WAVRA_AVX2_CLONES void synthesizeRows(int a, int b, int i0, int m, int n, const SynthesisInput& low,
                                      const SynthesisInput& high, float* out, std::ptrdiff_t outStep,
                                      std::size_t L, FloatBuffer& scratch) {
    const std::size_t need = std::size_t(2 * m + 1) * L;
    // Grows without copying what it held, and unfilled: every value is written before it is read.
    if (scratch.capacity() < need) scratch.clear();
    if (scratch.size() < need) scratch.resize(need);
    float* s = scratch.data();
    float* d = s + std::size_t(m) * L;
    float* zero = d + std::size_t(m) * L;
    std::fill(zero, zero + L, 0.0f);
    std::vector<const float*> rows(std::size_t(2) * m);
    const float** sp = rows.data();
    const float** dp = sp + m;
    for (int k = 0; k < m; ++k) {
        const int ls = sourceIndex(i0 + k, 0, n, low);
        const int hs = sourceIndex(i0 + k, 1, n, high);
        sp[k] = ls < 0 ? zero : low.data + ls * low.step;
        dp[k] = hs < 0 ? zero : high.data + hs * high.step;
    }
    // The last two steps write the rows of a..b straight into `out` (even
    // samples from the low band, odd ones from the high band) and the rest
    // into the scratch rows, which the last step reads as well.
    const auto sOut = [&](int k) {
        const int even = 2 * (i0 + k);
        return even >= a && even <= b ? out + std::ptrdiff_t(even - a) * outStep : s + k * L;
    };
    const auto dOut = [&](int k) {
        const int odd = 2 * (i0 + k) + 1;
        return odd >= a && odd <= b ? out + std::ptrdiff_t(odd - a) * outStep : d + k * L;
    };
    const int lanes = int(L);
    for (int k = 1; k < m; ++k) liftStep(s + k * L, sp[k], dp[k - 1], dp[k], delta, lanes, true);
    for (int k = 1; k < m - 1; ++k) liftStep(d + k * L, dp[k], s + k * L, s + (k + 1) * L, gamma, lanes, true);
    for (int k = 2; k < m - 1; ++k) liftStep(sOut(k), s + k * L, d + (k - 1) * L, d + k * L, beta, lanes, false);
    for (int k = 2; k < m - 2; ++k) liftStep(dOut(k), d + k * L, sOut(k), sOut(k + 1), alpha, lanes, false);
}

}  // namespace

void synthesizeLines(int a, int b, const SynthesisInput& low, const SynthesisInput& high, float* out,
                     std::ptrdiff_t outStep, int lanes, FloatBuffer& scratch) {
    if (b < a || lanes <= 0) return;
    const int n = low.fullLength + high.fullLength;
    // Band indices i0..i1 cover every lifting value that outputs a..b depend on.
    const int i0 = floorDiv2(a) - 2;
    const int i1 = floorDiv2(b) + 2;
    const int m = i1 - i0 + 1;
    if (lanes > 1) {
        synthesizeRows(a, b, i0, m, n, low, high, out, outStep, std::size_t(lanes), scratch);
        return;
    }
    // A line ending on a low-pass sample needs one band index less at its
    // end: the values it outputs are the same either way.
    const int rowM = m - ((b & 1) == 0);
    scratch.resize(std::size_t(2) * rowM);
    float* s = scratch.data();
    float* d = s + rowM;
    // The input lines are read where they lie when none of their values
    // needs folding; otherwise they are gathered first.
    const float* lowIn = inPlace(i0 + 1, rowM - 1, low);
    const float* highIn = inPlace(i0, rowM, high);
    if (!lowIn || !highIn) {
        gather(s, i0, rowM, 0, n, low);
        gather(d, i0, rowM, 1, n, high);
        lowIn = s + 1;
        highIn = d;
    }
    lift(s, d, lowIn, highIn, rowM);
    int x = a;
    float* dst = out;
    if (x & 1) {  // starts on a high-pass sample
        *dst = d[floorDiv2(x) - i0];
        dst += outStep;
        ++x;
    }
    int k = floorDiv2(x) - i0;
#if defined(__SSE2__)
    if (outStep == 1) {
        // Low and high values side by side, eight samples at a time.
        for (; x + 7 <= b; x += 8, k += 4, dst += 8) {
            const __m128 lows = _mm_loadu_ps(s + k), highs = _mm_loadu_ps(d + k);
            _mm_storeu_ps(dst, _mm_unpacklo_ps(lows, highs));
            _mm_storeu_ps(dst + 4, _mm_unpackhi_ps(lows, highs));
        }
    }
#endif
    for (; x + 1 <= b; x += 2, ++k) {
        dst[0] = s[k];
        dst[outStep] = d[k];
        dst += 2 * outStep;
    }
    if (x == b) *dst = s[floorDiv2(x) - i0];
}

}  // namespace Lumetra
