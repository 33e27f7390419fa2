// The block-wise analysis against a whole-image decomposition.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>

#include "AnalysisReference.h"
#include "core/Error.h"
#include "encoder/codec/BitAllocation.h"
#include "encoder/codec/WaveletAnalyzer.h"

using namespace analysis_test;

namespace {

struct Case {
    int levels, columns, rows, bands;
    bool smooth;
};

// Image size giving the wanted grid with a partial last block both ways.
void gridImage(int levels, int columns, int rows, int& width, int& height, int& blockSize) {
    const int m = blockMargin(levels);
    blockSize = m + 6;
    width = (columns - 1) * blockSize + (columns > 1 ? m + 3 : blockSize - 2);
    height = (rows - 1) * blockSize + (rows > 1 ? m + 2 : blockSize - 1);
}

std::string describe(const Case& c) {
    return "L=" + std::to_string(c.levels) + " grid " + std::to_string(c.columns) + "x" +
           std::to_string(c.rows) + " bands " + std::to_string(c.bands) + (c.smooth ? " smooth" : " random");
}

// Runs one case and checks every leaf against the reference, position by
// position, plus the statistics and the grid of pieces.
void checkCase(const Case& c) {
    SCOPED_TRACE(describe(c));
    int width = 0, height = 0, blockSize = 0;
    gridImage(c.levels, c.columns, c.rows, width, height, blockSize);
    MemorySource source(width, height, c.bands, c.smooth, uint32_t(c.levels * 100 + c.columns * 10 + c.rows));
    WaveletAnalyzer analyzer(source, c.levels, blockSize);
    ASSERT_EQ(analyzer.grid().columns(), c.columns);
    ASSERT_EQ(analyzer.grid().rows(), c.rows);
    RecordingSink sink;
    analyzer.run(sink);

    const int subbands = 3 * c.levels + 1;
    std::vector<std::vector<Plane>> ref;  // [band][subband]
    for (int b = 0; b < c.bands; ++b) ref.push_back(analyseImage(source.plane(b), c.levels));

    std::vector<std::vector<int>> hits(static_cast<size_t>(subbands));
    for (int s = 0; s < subbands; ++s) hits[size_t(s)].assign(ref[0][size_t(s)].v.size(), 0);

    std::vector<std::vector<LeafStatistics>> markedBySubband(
        size_t(subbands), std::vector<LeafStatistics>(size_t(subbands * c.bands)));
    double worst = 0.0;
    for (const auto& w : sink.written) {
        const SubbandPiece& p = w.piece;
        ASSERT_GE(p.subband, 0);
        ASSERT_LT(p.subband, subbands);
        ASSERT_EQ(p.depth, subband_depth(p.subband, c.levels));
        ASSERT_EQ(p.bands, c.bands);
        ASSERT_EQ(p.data.size(), size_t(p.width()) * size_t(p.height()) * size_t(c.bands));
        const Plane& r0 = ref[0][size_t(p.subband)];
        ASSERT_GE(p.x0, 0);
        ASSERT_GE(p.y0, 0);
        ASSERT_LT(p.x1, r0.width);
        ASSERT_LT(p.y1, r0.height);
        for (int b = 0; b < c.bands; ++b) {
            const Plane& r = ref[size_t(b)][size_t(p.subband)];
            LeafStatistics own;
            for (int y = p.y0; y <= p.y1; ++y) {
                for (int x = p.x0; x <= p.x1; ++x) {
                    const float v = p.band(b)[size_t(y - p.y0) * size_t(p.width()) + size_t(x - p.x0)];
                    worst = std::max(worst, double(std::fabs(v - r.at(x, y))));
                    if (b == 0) ++hits[size_t(p.subband)][size_t(y) * size_t(r.width) + size_t(x)];
                    own.count += 1;
                    own.sum += v;
                    own.sumSquares += double(v) * v;
                }
            }
            // The piece's own subband in its marked statistics is the piece itself.
            const LeafStatistics& m = w.marked[size_t(p.subband * c.bands + b)];
            EXPECT_EQ(m.count, own.count);
            EXPECT_NEAR(m.sum, own.sum, 1e-6 * (1.0 + std::fabs(own.sum)) + 1e-3);
            EXPECT_NEAR(m.sumSquares, own.sumSquares, 1e-6 * own.sumSquares + 1e-3);
        }
        for (size_t j = 0; j < w.marked.size(); ++j) markedBySubband[size_t(p.subband)][j].add(w.marked[j]);
    }
    EXPECT_LT(worst, 1e-3 * 255.0) << "largest deviation from the whole-image analysis";

    for (int s = 0; s < subbands; ++s) {
        const auto& h = hits[size_t(s)];
        EXPECT_TRUE(std::all_of(h.begin(), h.end(), [](int n) { return n == 1; }))
            << "subband " << s << ": a coefficient was delivered " << *std::max_element(h.begin(), h.end())
            << " or " << *std::min_element(h.begin(), h.end()) << " times";
    }

    // Statistics: the whole-image leaf's, in the totals and summed over the
    // pieces of every subband (each block is marked once per subband).
    for (int s = 0; s < subbands; ++s) {
        for (int b = 0; b < c.bands; ++b) {
            const Plane& r = ref[size_t(b)][size_t(s)];
            double sum = 0, sq = 0;
            for (float v : r.v) {
                sum += v;
                sq += double(v) * v;
            }
            const size_t j = size_t(s * c.bands + b);
            const LeafStatistics& t = analyzer.totalStatistics()[j];
            EXPECT_EQ(t.count, double(r.v.size()));
            const double tolSum = 1e-3 * 255.0 * std::pow(1.33, c.levels) * double(r.v.size());
            EXPECT_NEAR(t.sum, sum, tolSum);
            EXPECT_NEAR(t.sumSquares, sq, 1e-4 * sq + 1.0);
            for (int s2 = 0; s2 < subbands; ++s2) {
                const LeafStatistics& m = markedBySubband[size_t(s2)][j];
                EXPECT_EQ(m.count, t.count) << "marked blocks of subband " << s2 << " miss or repeat blocks";
                EXPECT_NEAR(m.sum, t.sum, 1e-6 * std::fabs(t.sum) + 1e-3);
            }
        }
    }

    // The pieces of each subband form a grid: their distinct column ranges
    // tile the width, their row ranges the height, one piece per cell.
    for (int s = 0; s < subbands; ++s) {
        std::set<std::pair<int, int>> xs, ys;
        int pieces = 0;
        for (const auto& w : sink.written) {
            if (w.piece.subband != s) continue;
            xs.insert({w.piece.x0, w.piece.x1});
            ys.insert({w.piece.y0, w.piece.y1});
            ++pieces;
        }
        auto tiles = [](const std::set<std::pair<int, int>>& r, int length) {
            int next = 0;
            for (const auto& iv : r) {
                if (iv.first != next) return false;
                next = iv.second + 1;
            }
            return next == length;
        };
        EXPECT_TRUE(tiles(xs, ref[0][size_t(s)].width))
            << "subband " << s << ": column ranges overlap or leave gaps";
        EXPECT_TRUE(tiles(ys, ref[0][size_t(s)].height))
            << "subband " << s << ": row ranges overlap or leave gaps";
        EXPECT_EQ(size_t(pieces), xs.size() * ys.size()) << "subband " << s << ": pieces do not form a grid";
    }
}

}  // namespace

TEST(WaveletAnalysis, blockwiseCoefficientsEqualWholeImageAnalysisForSmallLevels) {
    const int grids[][2] = {{1, 1}, {2, 1}, {1, 3}, {3, 2}, {5, 4}};
    for (int levels = 1; levels <= 3; ++levels)
        for (const auto& g : grids)
            for (int bands : {1, 3}) checkCase({levels, g[0], g[1], bands, bands == 3});
    checkCase({2, 3, 2, 1, true});
    checkCase({3, 2, 3, 3, false});
}

TEST(WaveletAnalysis, blockwiseCoefficientsEqualWholeImageAnalysisForDeepLevels) {
    checkCase({4, 1, 1, 1, false});
    checkCase({4, 2, 1, 3, false});
    checkCase({4, 3, 2, 1, true});
    checkCase({5, 1, 1, 3, true});
    checkCase({5, 2, 1, 1, false});
    checkCase({5, 1, 3, 1, true});
    checkCase({6, 2, 1, 1, false});
}
