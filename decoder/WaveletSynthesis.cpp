#include "decoder/WaveletSynthesis.h"

#include <algorithm>
#include <cstring>

namespace Lumetra {

namespace {

int floorDiv2(int v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }

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

void gather(float* dst, int i0, int m, int odd, int n, const SynthesisInput& in, int lanes) {
    for (int k = 0; k < m; ++k) {
        const int src = sourceIndex(i0 + k, odd, n, in);
        float* d = dst + std::size_t(k) * lanes;
        if (src < 0) {
            std::fill(d, d + lanes, 0.0f);
        } else if (lanes == 1) {
            d[0] = in.data[src * in.step];
        } else {
            std::memcpy(d, in.data + src * in.step, sizeof(float) * std::size_t(lanes));
        }
    }
}

// The four lifting steps over band indices held at k = 0..m-1; each step is
// valid one index further in from the ends than the one before.
template <int FixedLanes>
void lift(float* s, float* d, int m, std::size_t lanes) {
    const std::size_t L = FixedLanes ? std::size_t(FixedLanes) : lanes;
    for (int k = 1; k < m; ++k) {
        float* sk = s + k * L;
        const float* dm = d + (k - 1) * L;
        const float* dk = d + k * L;
        for (std::size_t c = 0; c < L; ++c) sk[c] = sk[c] - kLiftDelta * (dm[c] + dk[c]);
    }
    for (int k = 1; k < m - 1; ++k) {
        float* dk = d + k * L;
        const float* sk = s + k * L;
        const float* sn = s + (k + 1) * L;
        for (std::size_t c = 0; c < L; ++c) dk[c] = dk[c] - kLiftGamma * (sk[c] + sn[c]);
    }
    for (int k = 2; k < m - 1; ++k) {
        float* sk = s + k * L;
        const float* dm = d + (k - 1) * L;
        const float* dk = d + k * L;
        for (std::size_t c = 0; c < L; ++c) sk[c] = sk[c] + kLiftBeta * (dm[c] + dk[c]);
    }
    for (int k = 2; k < m - 2; ++k) {
        float* dk = d + k * L;
        const float* sk = s + k * L;
        const float* sn = s + (k + 1) * L;
        for (std::size_t c = 0; c < L; ++c) dk[c] = dk[c] + kLiftAlpha * (sk[c] + sn[c]);
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
    scratch.resize(std::size_t(2) * m * lanes);
    float* s = scratch.data();
    float* d = s + std::size_t(m) * lanes;
    gather(s, i0, m, 0, n, low, lanes);
    gather(d, i0, m, 1, n, high, lanes);

    const std::size_t L = std::size_t(lanes);
    if (lanes == 1)
        lift<1>(s, d, m, 1);
    else
        lift<0>(s, d, m, L);
    for (int x = a; x <= b; ++x) {
        const int i = floorDiv2(x);
        const float* src = ((x - 2 * i) ? d : s) + std::size_t(i - i0) * L;
        float* dst = out + std::ptrdiff_t(x - a) * outStep;
        if (lanes == 1)
            dst[0] = src[0];
        else
            std::memcpy(dst, src, sizeof(float) * L);
    }
}

}  // namespace Lumetra
