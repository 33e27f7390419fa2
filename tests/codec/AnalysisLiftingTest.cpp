// The one-dimensional analysis and its overlap-add property.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "AnalysisReference.h"
#include "encoder/codec/ForwardLifting.h"
#include "encoder/codec/SubbandTree.h"
#include "support/DiagnosticCapture.h"

using namespace analysis_test;

namespace {

std::vector<float> randomLine(int n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 255.0f);
    std::vector<float> x(static_cast<size_t>(n));
    for (float& v : x) v = u(rng);
    return x;
}

// Whole-line analysis through conv_ds.
void convWhole(const std::vector<float>& x, std::vector<float>& low, std::vector<float>& high) {
    const int n = int(x.size());
    low.assign(size_t((n + 1) / 2), 0.0f);
    high.assign(size_t(n / 2), 0.0f);
    LiftingOutputs out;
    out.low = low.data();
    out.lowCount = int(low.size());
    out.high = high.data();
    out.highCount = int(high.size());
    std::vector<float> scratch;
    ASSERT_EQ(conv_ds(x.data(), 0, n, n, out, scratch), 0);
}

}  // namespace

TEST(ForwardLifting, wholeLineMatchesTheLiftingFormulasBitForBit) {
    for (int n = 6; n <= 41; ++n) {
        const std::vector<float> x = randomLine(n, uint32_t(n));
        std::vector<float> lo, hi, rlo, rhi;
        convWhole(x, lo, hi);
        analyseLine(x, rlo, rhi);
        EXPECT_EQ(lo, rlo) << "length " << n;
        EXPECT_EQ(hi, rhi) << "length " << n;
    }
}

TEST(ForwardLifting, segmentsSumToTheWholeLineAndVanishOutsideTheirExtendedRange) {
    // Cut a line into segments as blocks do; each segment's contribution is
    // computed over the whole output and must be zero outside the extended
    // range, and the contributions must add up to the whole-line analysis.
    for (int n : {47, 64, 90}) {
        const std::vector<float> x = randomLine(n, uint32_t(n) * 3u);
        std::vector<float> lo, hi;
        convWhole(x, lo, hi);
        std::vector<double> sumLo(lo.size(), 0.0), sumHi(hi.size(), 0.0);
        const int cuts[] = {0, 17, 33, n};
        std::vector<float> scratch;
        for (int k = 0; k < 3; ++k) {
            const int a = cuts[k], b = cuts[k + 1] - 1;
            std::vector<float> cl(lo.size()), ch(hi.size());
            LiftingOutputs out;
            out.low = cl.data();
            out.lowCount = int(cl.size());
            out.high = ch.data();
            out.highCount = int(ch.size());
            ASSERT_EQ(conv_ds(x.data() + a, a, b - a + 1, n, out, scratch), 0);
            int l0 = 0, l1 = 0, h0 = 0, h1 = 0;
            childExtendedRange(a, b, LowPass, b == n - 1, int(lo.size()), l0, l1);
            childExtendedRange(a, b, HighPass, b == n - 1, int(hi.size()), h0, h1);
            for (int i = 0; i < int(cl.size()); ++i) {
                if (i < l0 || i > l1) {
                    EXPECT_EQ(cl[size_t(i)], 0.0f) << "low " << i << " of segment " << k;
                }
                sumLo[size_t(i)] += cl[size_t(i)];
            }
            for (int i = 0; i < int(ch.size()); ++i) {
                if (i < h0 || i > h1) {
                    EXPECT_EQ(ch[size_t(i)], 0.0f) << "high " << i << " of segment " << k;
                }
                sumHi[size_t(i)] += ch[size_t(i)];
            }
        }
        for (size_t i = 0; i < lo.size(); ++i) EXPECT_NEAR(sumLo[i], lo[i], 1e-3) << i;
        for (size_t i = 0; i < hi.size(); ++i) EXPECT_NEAR(sumHi[i], hi[i], 1e-3) << i;
    }
}

TEST(ForwardLifting, parallelLanesGiveTheSameValuesAsSingleLines) {
    const int n = 23, lanes = 5;
    std::vector<float> rows;
    const std::vector<float> src = randomLine(n * lanes, 9);
    rows = src;
    std::vector<float> lo(size_t(8 * lanes)), hi(size_t(7 * lanes)), scratch;
    LiftingOutputs out;
    out.low = lo.data();
    out.lowStart = 2;
    out.lowCount = 8;
    out.high = hi.data();
    out.highStart = 3;
    out.highCount = 7;
    ASSERT_EQ(conv_ds_lanes(rows.data(), lanes, 4, n, 40, out, scratch), 0);
    for (int l = 0; l < lanes; ++l) {
        std::vector<float> line(static_cast<size_t>(n)), l1(8), h1(7);
        for (int i = 0; i < n; ++i) line[size_t(i)] = rows[size_t(i * lanes + l)];
        LiftingOutputs one = out;
        one.low = l1.data();
        one.high = h1.data();
        ASSERT_EQ(conv_ds(line.data(), 4, n, 40, one, scratch), 0);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(lo[size_t(i * lanes + l)], l1[size_t(i)]);
        for (int i = 0; i < 7; ++i) EXPECT_EQ(hi[size_t(i * lanes + l)], h1[size_t(i)]);
    }
}

// Lines lifted four at a time, with both image ends folded and a remainder
// of three lines, equal the single-line results bit for bit.
TEST(ForwardLifting, linesAnalysedTogetherGiveTheSameValuesAsOneByOne) {
    const int n = 31, rows = 7, lows = 16, highs = 15;
    const std::vector<float> src = randomLine(n * rows, 5);
    std::vector<float> lo(size_t(lows * rows)), hi(size_t(highs * rows)), scratch;
    LiftingOutputs out;
    out.low = lo.data();
    out.lowCount = lows;
    out.high = hi.data();
    out.highCount = highs;
    ASSERT_EQ(conv_ds_rows(src.data(), n, rows, 0, n, n, out, lows, highs, scratch), 0);
    for (int r = 0; r < rows; ++r) {
        std::vector<float> l1(static_cast<size_t>(lows)), h1(static_cast<size_t>(highs));
        LiftingOutputs one = out;
        one.low = l1.data();
        one.high = h1.data();
        ASSERT_EQ(conv_ds(src.data() + r * n, 0, n, n, one, scratch), 0);
        for (int i = 0; i < lows; ++i) EXPECT_EQ(lo[size_t(r * lows + i)], l1[size_t(i)]) << r;
        for (int i = 0; i < highs; ++i) EXPECT_EQ(hi[size_t(r * highs + i)], h1[size_t(i)]) << r;
    }
}

TEST(ForwardLifting, tooShortLinesAtAnImageEdgeFailWithTheirMessages) {
    testsupport::DiagnosticCapture diagnostics;
    std::vector<float> x(8, 1.0f), lo(4), hi(4), scratch;
    LiftingOutputs out;
    out.low = lo.data();
    out.lowCount = 2;
    out.high = hi.data();
    out.highCount = 2;
    diagnostics.take();
    EXPECT_NE(conv_ds(x.data(), 0, 4, 40, out, scratch), 0);
    EXPECT_EQ(diagnostics.take(), "Error 2 in subroutine conv_ds.\n");
    diagnostics.take();
    EXPECT_NE(conv_ds(x.data(), 35, 5, 40, out, scratch), 0);
    EXPECT_EQ(diagnostics.take(), "Error 1 in subroutine conv_ds.\n");
    // Five samples at the start edge and six at the end edge are enough.
    diagnostics.take();
    EXPECT_EQ(conv_ds(x.data(), 0, 5, 40, out, scratch), 0);
    out.lowStart = out.highStart = 17;
    EXPECT_EQ(conv_ds(x.data(), 34, 6, 40, out, scratch), 0);
    EXPECT_EQ(diagnostics.take(), "");
}
