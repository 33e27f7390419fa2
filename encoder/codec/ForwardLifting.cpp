#include "encoder/codec/ForwardLifting.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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
        for (int p = first; p <= p1 - margin; p += 2) {
            float* x = row(p);
            const float* a = row(p - 1);
            const float* b = row(p + 1);
            if (subtract)
                for (int l = 0; l < lanes; ++l) x[l] = x[l] - c * (a[l] + b[l]);
            else
                for (int l = 0; l < lanes; ++l) x[l] = x[l] + c * (a[l] + b[l]);
        }
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

void emit(const float* buf, int p0, int lanes, const LiftingOutputs& out) {
    for (int i = 0; i < out.lowCount; ++i) {
        const float* s = buf + size_t(2 * (out.lowStart + i) - p0) * size_t(lanes);
        float* d = out.low + size_t(i) * size_t(lanes);
        for (int l = 0; l < lanes; ++l) d[l] = K * s[l];
    }
    for (int i = 0; i < out.highCount; ++i) {
        const float* s = buf + size_t(2 * (out.highStart + i) + 1 - p0) * size_t(lanes);
        float* d = out.high + size_t(i) * size_t(lanes);
        for (int l = 0; l < lanes; ++l) d[l] = invK * s[l];
    }
}

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

int conv_ds_lanes(const float* rows, int lanes, int start, int count, int fullLength,
                  const LiftingOutputs& out, std::vector<float>& scratch) {
    if (checkEdges(start, count, fullLength) != 0) return 1;
    int p0 = 0, p1 = 0;
    if (!dependencySpan(out, p0, p1) || lanes <= 0) return 0;
    grow(scratch, size_t(p1 - p0 + 1) * size_t(lanes));
    fill(scratch.data(), p0, p1, rows, lanes, start, count, fullLength);
    lift(scratch.data(), p0, p1, lanes);
    emit(scratch.data(), p0, lanes, out);
    return 0;
}
