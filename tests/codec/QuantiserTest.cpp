#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "encoder/codec/Quantiser.h"
#include "format/Dequantiser.h"

namespace {

std::vector<int16_t> quantise(const std::vector<float>& c, float step, float* used = nullptr) {
    std::vector<int16_t> q(c.size());
    const float s = sq(c.data(), int(c.size()), 1, c.size(), step, nullptr, 0, 0, q.data());
    if (used) *used = s;
    return q;
}

TEST(Quantiser, halfStepBoundariesRoundAwayFromZero) {
    const std::vector<int16_t> q = quantise({0.49f, 0.5f, 1.49f, -0.5f, -1.5f, -0.49f, 2.5f}, 1.0f);
    EXPECT_EQ(q, (std::vector<int16_t>{0, 1, 1, -1, -2, 0, 3}));
}

TEST(Quantiser, zeroStepCodesNothingAndReconstructsZeros) {
    float used = -1.0f;
    EXPECT_EQ(quantise({5.0f, -7.0f}, 0.0f, &used), (std::vector<int16_t>{0, 0}));
    EXPECT_EQ(used, 0.0f);
    const int16_t q[2] = {3, -3};
    float v[2] = {1.0f, 1.0f};
    sq_inv(q, 2, 1, 0.0f, nullptr, 0, 0, v);
    EXPECT_EQ(v[0], 0.0f);
    EXPECT_EQ(v[1], 0.0f);
}

TEST(Quantiser, hugeRangeEnlargesStepSoIndicesFitSixteenBits) {
    float used = 0.0f;
    const std::vector<int16_t> q = quantise({1000000.0f, -1000000.0f, 0.0f, 12345.0f}, 1.0f, &used);
    EXPECT_NEAR(used, 30.525f, 0.01f);
    EXPECT_LE(q[0], 32760);
    EXPECT_GE(q[1], -32760);
    EXPECT_EQ(q[0], -q[1]);
    EXPECT_GT(q[0], 32000);
    // A range that fits keeps the step.
    quantise({30000.0f, -30000.0f}, 1.0f, &used);
    EXPECT_EQ(used, 1.0f);
}

TEST(Quantiser, reconstructionSitsPointFortyFourBelowTheUpperBoundary) {
    const int16_t q[4] = {1, -1, 46, -46};
    float v[4];
    sq_inv(q, 4, 1, 2.0f, nullptr, 0, 0, v);
    EXPECT_FLOAT_EQ(v[0], 2.12f);
    EXPECT_FLOAT_EQ(v[1], -2.12f);
    EXPECT_EQ(v[2], Lumetra::dequantisedValue(46, 2.0f));  // beyond the tabulated range
    EXPECT_EQ(v[3], -Lumetra::dequantisedValue(46, 2.0f));
}

// The dither that sq adds at subband position (x0 + column, y0 + row) must
// come off again in sq_inv at the same position, for blocks anywhere in the
// subband; removing it at the block-relative position leaves errors up to
// half a step larger.
TEST(Quantiser, ditherAddedBySqIsRemovedBySqInvAtSubbandPositions) {
    const int w = 150, h = 140, x0 = 300, y0 = 77;
    const float step = 4.0f;
    std::vector<float> c(size_t(w) * h);
    std::srand(7);
    for (float& v : c) v = float(std::rand() % 2000) / 10.0f - 100.0f;
    const DitherOffsets dither{5, 3};
    std::vector<int16_t> q(c.size());
    ASSERT_EQ(sq(c.data(), w, h, size_t(w), step, &dither, x0, y0, q.data()), step);
    std::vector<float> back(c.size()), wrong(c.size());
    sq_inv(q.data(), w, h, step, &dither, x0, y0, back.data());
    sq_inv(q.data(), w, h, step, &dither, 0, 0, wrong.data());
    float worst = 0.0f, worstWrong = 0.0f;
    for (size_t i = 0; i < c.size(); ++i) {
        worst = std::max(worst, std::fabs(back[i] - c[i]));
        worstWrong = std::max(worstWrong, std::fabs(wrong[i] - c[i]));
    }
    EXPECT_LE(worst, 0.5601f * step);
    EXPECT_GT(worstWrong, 0.6f * step);
}

TEST(Quantiser, stridedInputIsReadRowByRow) {
    const float c[2][4] = {{1.0f, 2.0f, 99.0f, 99.0f}, {-1.0f, -2.0f, 99.0f, 99.0f}};
    int16_t q[4];
    sq(&c[0][0], 2, 2, 4, 1.0f, nullptr, 0, 0, q);
    EXPECT_EQ(q[0], 1);
    EXPECT_EQ(q[1], 2);
    EXPECT_EQ(q[2], -1);
    EXPECT_EQ(q[3], -2);
}

}  // namespace
