#pragma once
// Test helpers for the wavelet analysis: a whole-image decomposition written
// straight from the lifting formulas, an in-memory pixel source and a sink
// that records every piece.

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "encoder/codec/BlockPixelSource.h"
#include "encoder/codec/SubbandSink.h"

namespace analysis_test {

// One band of one leaf of the whole-image decomposition.
struct Plane {
    int width = 0, height = 0;
    std::vector<float> v;
    float& at(int x, int y) { return v[size_t(y) * size_t(width) + size_t(x)]; }
    float at(int x, int y) const { return v[size_t(y) * size_t(width) + size_t(x)]; }
};

// Whole-line analysis with symmetric extension at both ends, each lifting
// step read through mirrored indices.
inline void analyseLine(const std::vector<float>& x, std::vector<float>& low, std::vector<float>& high) {
    const int n = int(x.size());
    auto m = [n](int p) { return p < 0 ? -p : (p >= n ? 2 * (n - 1) - p : p); };
    const float a = 1.586134f, b = 0.05298f, g = 0.882911f, d = 0.443507f, K = 1.149604f, iK = 0.86986476f;
    std::vector<float> v1(x), v2, v3, v4;
    for (int p = 1; p < n; p += 2)
        v1[size_t(p)] = x[size_t(p)] - a * (x[size_t(m(p - 1))] + x[size_t(m(p + 1))]);
    v2 = v1;
    for (int p = 0; p < n; p += 2)
        v2[size_t(p)] = v1[size_t(p)] - b * (v1[size_t(m(p - 1))] + v1[size_t(m(p + 1))]);
    v3 = v2;
    for (int p = 1; p < n; p += 2)
        v3[size_t(p)] = v2[size_t(p)] + g * (v2[size_t(m(p - 1))] + v2[size_t(m(p + 1))]);
    v4 = v3;
    for (int p = 0; p < n; p += 2)
        v4[size_t(p)] = v3[size_t(p)] + d * (v3[size_t(m(p - 1))] + v3[size_t(m(p + 1))]);
    low.assign(size_t((n + 1) / 2), 0.0f);
    high.assign(size_t(n / 2), 0.0f);
    for (int i = 0; i < (n + 1) / 2; ++i) low[size_t(i)] = K * v4[size_t(2 * i)];
    for (int i = 0; i < n / 2; ++i) high[size_t(i)] = iK * v4[size_t(2 * i + 1)];
}

// L-level dyadic decomposition of one band; leaves in leaf order
// (0 = final low-pass, then HL, LH, HH from the coarsest depth).
inline std::vector<Plane> analyseImage(const Plane& image, int levels) {
    std::vector<Plane> leaves(size_t(3 * levels + 1));
    Plane cur = image;
    for (int depth = 1; depth <= levels; ++depth) {
        const int w = cur.width, h = cur.height, lw = (w + 1) / 2, hw = w / 2, lh = (h + 1) / 2, hh = h / 2;
        Plane L{lw, h, std::vector<float>(size_t(lw) * size_t(h))},
            H{hw, h, std::vector<float>(size_t(hw) * size_t(h))};
        std::vector<float> line, lo, hi;
        for (int y = 0; y < h; ++y) {
            line.assign(cur.v.begin() + y * w, cur.v.begin() + (y + 1) * w);
            analyseLine(line, lo, hi);
            for (int x = 0; x < lw; ++x) L.at(x, y) = lo[size_t(x)];
            for (int x = 0; x < hw; ++x) H.at(x, y) = hi[size_t(x)];
        }
        auto columns = [&](const Plane& src, Plane& low, Plane& high) {
            low = Plane{src.width, lh, std::vector<float>(size_t(src.width) * size_t(lh))};
            high = Plane{src.width, hh, std::vector<float>(size_t(src.width) * size_t(hh))};
            for (int x = 0; x < src.width; ++x) {
                line.resize(size_t(h));
                for (int y = 0; y < h; ++y) line[size_t(y)] = src.at(x, y);
                analyseLine(line, lo, hi);
                for (int y = 0; y < lh; ++y) low.at(x, y) = lo[size_t(y)];
                for (int y = 0; y < hh; ++y) high.at(x, y) = hi[size_t(y)];
            }
        };
        Plane LL, LH, HL, HH;
        columns(L, LL, LH);
        columns(H, HL, HH);
        const size_t base = size_t(1 + 3 * (levels - depth));
        leaves[base] = HL;
        leaves[base + 1] = LH;
        leaves[base + 2] = HH;
        cur = LL;
    }
    leaves[0] = cur;
    return leaves;
}

// Planes held in memory; pixels either random or a smooth ramp.
class MemorySource : public BlockPixelSource {
public:
    MemorySource(int width, int height, int bands, bool smooth, uint32_t seed = 1)
        : w_(width), h_(height), bands_(bands) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> u(0.0f, 255.0f);
        planes_.resize(size_t(bands));
        for (int b = 0; b < bands; ++b) {
            Plane& p = planes_[size_t(b)];
            p.width = width;
            p.height = height;
            p.v.resize(size_t(width) * size_t(height));
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    p.at(x, y) =
                        smooth ? 127.5f + 100.0f * float(std::sin(0.013 * (x + 7 * b) + 0.021 * y)) : u(rng);
        }
    }
    int width() const override { return w_; }
    int height() const override { return h_; }
    int bands() const override { return bands_; }
    int readBlock(int x0, int x1, int y0, int y1, float* out) override {
        ++reads;
        for (int b = 0; b < bands_; ++b)
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) *out++ = planes_[size_t(b)].at(x, y);
        return 0;
    }
    const Plane& plane(int band) const { return planes_[size_t(band)]; }
    int reads = 0;

private:
    int w_, h_, bands_;
    std::vector<Plane> planes_;
};

// Records every piece and the order of the calls.
class RecordingSink : public SubbandSink {
public:
    struct Written {
        SubbandPiece piece;
        std::vector<LeafStatistics> marked;
        int afterIndex = -1;  // the index being handled, -1 once all are done
    };
    int writePiece(const SubbandPiece& piece, const std::vector<LeafStatistics>& marked) override {
        written.push_back({piece, marked, current});
        return failWrite;
    }
    int blockStarting(int index, int count) override {
        started.push_back(index);
        current = index;
        this->count = count;
        return 0;
    }
    int blockDone(int index, int) override {
        done.push_back(index);
        if (index == count - 1) current = -1;
        return index == interruptAfter ? 1 : 0;
    }
    int pollInterrupt() override { return ++polls == interruptAtPoll ? 1 : 0; }

    std::vector<Written> written;
    std::vector<int> started, done;
    int current = -1, count = 0, polls = 0;
    int failWrite = 0, interruptAfter = -1, interruptAtPoll = -1;
};

}  // namespace analysis_test
