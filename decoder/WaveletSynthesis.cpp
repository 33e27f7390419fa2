#include "decoder/WaveletSynthesis.h"

#include <algorithm>
#include <cstring>

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

// The four lifting steps over band indices held at k = 0..m-1; each step is
// valid one index further in from the ends than the one before.
void lift(float* __restrict s, float* __restrict d, int m) {
    for (int k = 1; k < m; ++k) s[k] = s[k] - delta * (d[k - 1] + d[k]);
    for (int k = 1; k < m - 1; ++k) d[k] = d[k] - gamma * (s[k] + s[k + 1]);
    for (int k = 2; k < m - 1; ++k) s[k] = s[k] + beta * (d[k - 1] + d[k]);
    for (int k = 2; k < m - 2; ++k) d[k] = d[k] + alpha * (s[k] + s[k + 1]);
}

// Rows of samples a..b from parallel lines: the first two lifting steps read
// the inputs in place, so no input row is copied.
void synthesizeRows(int a, int b, int i0, int m, int n, const SynthesisInput& low, const SynthesisInput& high,
                    float* out, std::ptrdiff_t outStep, std::size_t L, std::vector<float>& scratch) {
    const std::size_t need = std::size_t(2 * m + 1) * L;
    if (scratch.capacity() < need) scratch.clear();  // grows without copying what it held
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
    for (int k = 1; k < m; ++k) {
        float* sk = s + k * L;
        const float* src = sp[k];
        const float* dm = dp[k - 1];
        const float* dk = dp[k];
        for (std::size_t c = 0; c < L; ++c) sk[c] = src[c] - delta * (dm[c] + dk[c]);
    }
    for (int k = 1; k < m - 1; ++k) {
        float* dk = d + k * L;
        const float* src = dp[k];
        const float* sk = s + k * L;
        const float* sn = s + (k + 1) * L;
        for (std::size_t c = 0; c < L; ++c) dk[c] = src[c] - gamma * (sk[c] + sn[c]);
    }
    for (int k = 2; k < m - 1; ++k) {
        float* sk = s + k * L;
        const float* dm = d + (k - 1) * L;
        const float* dk = d + k * L;
        for (std::size_t c = 0; c < L; ++c) sk[c] = sk[c] + beta * (dm[c] + dk[c]);
    }
    for (int k = 2; k < m - 2; ++k) {
        float* dk = d + k * L;
        const float* sk = s + k * L;
        const float* sn = s + (k + 1) * L;
        for (std::size_t c = 0; c < L; ++c) dk[c] = dk[c] + alpha * (sk[c] + sn[c]);
    }
    for (int x = a; x <= b; ++x) {
        const int i = floorDiv2(x);
        const float* src = ((x - 2 * i) ? d : s) + std::size_t(i - i0) * L;
        std::memcpy(out + std::ptrdiff_t(x - a) * outStep, src, sizeof(float) * L);
    }
}

}  // namespace

void synthesizeLines(int a, int b, const SynthesisInput& low, const SynthesisInput& high, float* out,
                     std::ptrdiff_t outStep, int lanes, std::vector<float>& scratch) {
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
    scratch.resize(std::size_t(2) * m);
    float* s = scratch.data();
    float* d = s + m;
    gather(s, i0, m, 0, n, low);
    gather(d, i0, m, 1, n, high);
    lift(s, d, m);
    int x = a;
    float* dst = out;
    if (x & 1) {  // starts on a high-pass sample
        *dst = d[floorDiv2(x) - i0];
        dst += outStep;
        ++x;
    }
    for (int k = floorDiv2(x) - i0; x + 1 <= b; x += 2, ++k) {
        dst[0] = s[k];
        dst[outStep] = d[k];
        dst += 2 * outStep;
    }
    if (x == b) *dst = s[floorDiv2(x) - i0];
}

}  // namespace Lumetra
