#include "encoder/codec/ForwardLifting.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

#include "format/Wavelet.h"
#include "wavra/diagnostics.h"

namespace {

using namespace Lumetra::Cdf97Analysis;

// Position p folded into 0 .. n-1 by whole-sample symmetric extension.
int reflect(int p, int n) {
    if (n <= 1) return 0;
    const int period = 2 * (n - 1);
    p %= period;
    if (p < 0) p += period;
    return p < n ? p : period - p;
}

int checkEdges(int start, int count, int fullLength) {
    if (start + count == fullLength && count < 6) {
        wavra::diagnostic("Error 1 in subroutine conv_ds.\n");
        return 1;
    }
    if (start == 0 && count < 5) {
        wavra::diagnostic("Error 2 in subroutine conv_ds.\n");
        return 1;
    }
    return 0;
}

// Span [p0, p1] of positions that the wanted outputs depend on.
bool dependencySpan(const LiftingOutputs& out, int& p0, int& p1) {
    bool any = false;
    if (out.lowCount > 0) {
        p0 = 2 * out.lowStart;
        p1 = 2 * (out.lowStart + out.lowCount - 1);
        any = true;
    }
    if (out.highCount > 0) {
        const int h0 = 2 * out.highStart + 1, h1 = 2 * (out.highStart + out.highCount - 1) + 1;
        p0 = any ? std::min(p0, h0) : h0;
        p1 = any ? std::max(p1, h1) : h1;
        any = true;
    }
    p0 -= 4;
    p1 += 4;
    return any;
}

// Lifting steps over buf, which holds positions p0 .. p1, `lanes` values per
// position. Each step only touches positions whose neighbours are present.
void lift(float* buf, int p0, int p1, int lanes) {
    auto row = [&](int p) { return buf + size_t(p - p0) * size_t(lanes); };
    auto step = [&](int parity, int margin, float c, bool subtract) {
        int first = p0 + margin;
        if (((first % 2) + 2) % 2 != parity) ++first;
        for (int p = first; p <= p1 - margin; p += 2)
            Lumetra::liftStep(row(p), row(p), row(p - 1), row(p + 1), c, lanes, subtract);
    };
    step(1, 1, alpha, true);
    step(0, 2, beta, true);
    step(1, 3, gamma, false);
    step(0, 4, delta, false);
}

// The same for a single line, without the lane loop.
void liftLine(float* x, int p0, int p1) {
    auto step = [&](int parity, int margin, float c, bool subtract) {
        int first = p0 + margin;
        if (((first % 2) + 2) % 2 != parity) ++first;
        float* v = x - p0;
        if (subtract)
            for (int p = first; p <= p1 - margin; p += 2) v[p] = v[p] - c * (v[p - 1] + v[p + 1]);
        else
            for (int p = first; p <= p1 - margin; p += 2) v[p] = v[p] + c * (v[p - 1] + v[p + 1]);
    };
    step(1, 1, alpha, true);
    step(0, 2, beta, true);
    step(1, 3, gamma, false);
    step(0, 4, delta, false);
}

// Copies the input into buf over p0 .. p1: zero outside the given samples,
// folded at the ends of the whole line.
void fill(float* buf, int p0, int p1, const float* in, int lanes, int start, int count, int fullLength) {
    const int end = start + count - 1;
    const size_t rowBytes = sizeof(float) * size_t(lanes);
    int p = p0;
    while (p <= p1) {
        float* dst = buf + size_t(p - p0) * size_t(lanes);
        if (p >= start && p <= end && p >= 0 && p < fullLength) {
            // A run of samples taken directly.
            const int runEnd = std::min(std::min(p1, end), fullLength - 1);
            std::memcpy(dst, in + size_t(p - start) * size_t(lanes), rowBytes * size_t(runEnd - p + 1));
            p = runEnd + 1;
            continue;
        }
        const int q = (p >= 0 && p < fullLength) ? p : reflect(p, fullLength);
        if (q >= start && q <= end)
            std::memcpy(dst, in + size_t(q - start) * size_t(lanes), rowBytes);
        else
            std::memset(dst, 0, rowBytes);
        ++p;
    }
}

// Scratch is only ever grown: shrinking and growing it again would zero the
// regrown part every time, and fill writes every value that is read.
void grow(std::vector<float>& scratch, size_t size) {
    if (scratch.size() < size) scratch.resize(size);
}

// d = k * s over n values.
inline void scale(float* d, const float* s, int n, float k) {
    int l = 0;
#if defined(__SSE2__)
    const __m128 vk = _mm_set1_ps(k);
    for (; l + 4 <= n; l += 4) _mm_storeu_ps(d + l, _mm_mul_ps(vk, _mm_loadu_ps(s + l)));
#endif
    for (; l < n; ++l) d[l] = k * s[l];
}

void emit(const float* buf, int p0, int lanes, const LiftingOutputs& out) {
    for (int i = 0; i < out.lowCount; ++i)
        scale(out.low + size_t(i) * size_t(lanes), buf + size_t(2 * (out.lowStart + i) - p0) * size_t(lanes),
              lanes, K);
    for (int i = 0; i < out.highCount; ++i)
        scale(out.high + size_t(i) * size_t(lanes),
              buf + size_t(2 * (out.highStart + i) + 1 - p0) * size_t(lanes), lanes, invK);
}

// Fills the positions of [p0, p1] outside the given samples of a buffer
// that holds positions first .. and the samples in place: zero, or the
// sample they fold onto at the ends of the whole line.
void fillAround(float* buf, int first, int p0, int p1, int lanes, int start, int count, int fullLength) {
    const int end = start + count - 1;
    const size_t rowBytes = sizeof(float) * size_t(lanes);
    for (int p = p0; p <= p1; ++p) {
        if (p >= start && p <= end && p >= 0 && p < fullLength) continue;
        float* dst = buf + size_t(p - first) * size_t(lanes);
        const int q = (p >= 0 && p < fullLength) ? p : reflect(p, fullLength);
        if (q >= start && q <= end)
            std::memcpy(dst, buf + size_t(q - first) * size_t(lanes), rowBytes);
        else
            std::memset(dst, 0, rowBytes);
    }
}

#if defined(__SSE2__)
// Four lines at once: the lines go into the four lanes of each position, so
// that every lifting operation runs on four lines with one instruction.
// Each line's values and operations are those of conv_ds.
void fillFour(float* buf, int p0, int p1, const float* in, size_t stride, int start, int count,
              int fullLength) {
    const int end = start + count - 1;
    const float* line[4] = {in, in + stride, in + 2 * stride, in + 3 * stride};
    int p = p0;
    while (p <= p1) {
        float* dst = buf + size_t(p - p0) * 4;
        if (p >= start && p <= end && p >= 0 && p < fullLength) {
            const int runEnd = std::min(std::min(p1, end), fullLength - 1);
            for (; p + 3 <= runEnd; p += 4, dst += 16) {
                const size_t at = size_t(p - start);
                __m128 a = _mm_loadu_ps(line[0] + at), b = _mm_loadu_ps(line[1] + at);
                __m128 c = _mm_loadu_ps(line[2] + at), d = _mm_loadu_ps(line[3] + at);
                _MM_TRANSPOSE4_PS(a, b, c, d);
                _mm_storeu_ps(dst, a);
                _mm_storeu_ps(dst + 4, b);
                _mm_storeu_ps(dst + 8, c);
                _mm_storeu_ps(dst + 12, d);
            }
            for (; p <= runEnd; ++p, dst += 4)
                for (int l = 0; l < 4; ++l) dst[l] = line[l][p - start];
            continue;
        }
        const int q = (p >= 0 && p < fullLength) ? p : reflect(p, fullLength);
        for (int l = 0; l < 4; ++l) dst[l] = q >= start && q <= end ? line[l][q - start] : 0.0f;
        ++p;
    }
}

// Outputs at positions first + 2i (i < n) of a four-lane buffer, times k,
// into four lines.
void emitFour(const float* buf, int p0, int first, int n, float k, float* out, size_t stride) {
    const __m128 vk = _mm_set1_ps(k);
    float* line[4] = {out, out + stride, out + 2 * stride, out + 3 * stride};
    const float* src = buf + size_t(first - p0) * 4;
    int i = 0;
    for (; i + 4 <= n; i += 4, src += 32) {
        __m128 a = _mm_mul_ps(vk, _mm_loadu_ps(src)), b = _mm_mul_ps(vk, _mm_loadu_ps(src + 8));
        __m128 c = _mm_mul_ps(vk, _mm_loadu_ps(src + 16)), d = _mm_mul_ps(vk, _mm_loadu_ps(src + 24));
        _MM_TRANSPOSE4_PS(a, b, c, d);
        _mm_storeu_ps(line[0] + i, a);
        _mm_storeu_ps(line[1] + i, b);
        _mm_storeu_ps(line[2] + i, c);
        _mm_storeu_ps(line[3] + i, d);
    }
    for (; i < n; ++i, src += 8)
        for (int l = 0; l < 4; ++l) line[l][i] = k * src[l];
}
#endif

}  // namespace

int conv_ds(const float* line, int start, int count, int fullLength, const LiftingOutputs& out,
            std::vector<float>& scratch) {
    if (checkEdges(start, count, fullLength) != 0) return 1;
    int p0 = 0, p1 = 0;
    if (!dependencySpan(out, p0, p1)) return 0;
    grow(scratch, size_t(p1 - p0 + 1));
    fill(scratch.data(), p0, p1, line, 1, start, count, fullLength);
    liftLine(scratch.data(), p0, p1);
    float* x = scratch.data() - p0;
    for (int i = 0; i < out.lowCount; ++i) out.low[i] = K * x[2 * (out.lowStart + i)];
    for (int i = 0; i < out.highCount; ++i) out.high[i] = invK * x[2 * (out.highStart + i) + 1];
    return 0;
}

int conv_ds_rows(const float* in, size_t inStride, int rows, int start, int count, int fullLength,
                 const LiftingOutputs& out, size_t lowStride, size_t highStride,
                 std::vector<float>& scratch) {
    int r = 0;
#if defined(__SSE2__)
    if (rows >= 4) {
        if (checkEdges(start, count, fullLength) != 0) return 1;
        int p0 = 0, p1 = 0;
        if (!dependencySpan(out, p0, p1)) return 0;
        grow(scratch, size_t(p1 - p0 + 1) * 4);
        for (; r + 4 <= rows; r += 4) {
            fillFour(scratch.data(), p0, p1, in + size_t(r) * inStride, inStride, start, count, fullLength);
            lift(scratch.data(), p0, p1, 4);
            emitFour(scratch.data(), p0, 2 * out.lowStart, out.lowCount, K, out.low + size_t(r) * lowStride,
                     lowStride);
            emitFour(scratch.data(), p0, 2 * out.highStart + 1, out.highCount, invK,
                     out.high + size_t(r) * highStride, highStride);
        }
    }
#endif
    for (; r < rows; ++r) {
        LiftingOutputs line = out;
        line.low = out.low + size_t(r) * lowStride;
        line.high = out.high + size_t(r) * highStride;
        if (conv_ds(in + size_t(r) * inStride, start, count, fullLength, line, scratch) != 0) return 1;
    }
    return 0;
}

LaneSpan laneSpan(int start, int count, const LiftingOutputs& out) {
    LaneSpan span{start, start + count - 1};
    int p0 = 0, p1 = 0;
    if (dependencySpan(out, p0, p1)) {
        span.first = std::min(span.first, p0);
        span.last = std::max(span.last, p1);
    }
    return span;
}

int conv_ds_lanes_in_place(float* buf, int lanes, LaneSpan span, int start, int count, int fullLength,
                           const LiftingOutputs& out) {
    if (checkEdges(start, count, fullLength) != 0) return 1;
    int p0 = 0, p1 = 0;
    if (!dependencySpan(out, p0, p1) || lanes <= 0) return 0;
    if (p0 < span.first || p1 > span.last || start < span.first || start + count - 1 > span.last) return 1;
    fillAround(buf, span.first, p0, p1, lanes, start, count, fullLength);
    float* lifted = buf + size_t(p0 - span.first) * size_t(lanes);
    lift(lifted, p0, p1, lanes);
    emit(lifted, p0, lanes, out);
    return 0;
}

int conv_ds_lanes(const float* rows, int lanes, int start, int count, int fullLength,
                  const LiftingOutputs& out, std::vector<float>& scratch) {
    if (checkEdges(start, count, fullLength) != 0) return 1;
    if (lanes <= 0 || count <= 0) return 0;
    const LaneSpan span = laneSpan(start, count, out);
    grow(scratch, size_t(span.last - span.first + 1) * size_t(lanes));
    std::memcpy(scratch.data() + size_t(start - span.first) * size_t(lanes), rows,
                sizeof(float) * size_t(count) * size_t(lanes));
    return conv_ds_lanes_in_place(scratch.data(), lanes, span, start, count, fullLength, out);
}
