#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

#include "encoder/codec/BitAllocation.h"
#include "encoder/codec/SubbandSink.h"

namespace {

AllocationParameters params(int levels, int bands, float rate) {
    AllocationParameters p;
    p.levels = levels;
    p.bands = bands;
    p.rate = rate;
    return p;
}

// Variances that fall off with depth like those of a natural image, large
// enough that every entry stays coded at moderate rates.
std::vector<double> natural(int levels, int bands, double scale = 1.0) {
    std::vector<double> v;
    for (int s = 0; s <= 3 * levels; ++s)
        for (int k = 0; k < bands; ++k)
            v.push_back(scale * 100.0 * std::pow(4.0, subband_depth(s, levels)) / (k == 0 ? 1.0 : 4.0));
    return v;
}

TEST(LeafStatistics, flatCoefficientsGetTheVarianceFloorAndNoCoefficientsGetZero) {
    LeafStatistics flat;
    flat.count = 4;
    flat.sum = 8;
    flat.sumSquares = 16;
    EXPECT_EQ(flat.variance(), 1e-9);
    EXPECT_EQ(LeafStatistics().variance(), 0.0);
}

TEST(BitAllocation, subbandDepthsFollowTheDecoderNumbering) {
    EXPECT_EQ(subband_depth(0, 4), 4);
    EXPECT_EQ(subband_depth(1, 4), 4);
    EXPECT_EQ(subband_depth(3, 4), 4);
    EXPECT_EQ(subband_depth(4, 4), 3);
    EXPECT_EQ(subband_depth(12, 4), 1);
}

TEST(BitAllocation, eachExtraBitPerSampleHalvesEveryStep) {
    const std::vector<double> v = natural(4, 1, 1000.0);
    for (int s : {0, 1, 7, 12}) {
        const float a = bit_allocation_steps(params(4, 1, 1.0f), v, s)[0];
        const float b = bit_allocation_steps(params(4, 1, 2.0f), v, s)[0];
        ASSERT_GT(b, 0.0f) << s;
        EXPECT_NEAR(a / b, 2.0f, 1e-4f) << s;
    }
    EXPECT_NEAR(
        bit_allocation_estimate(params(4, 1, 2.0f), v) - bit_allocation_estimate(params(4, 1, 1.0f), v), 1.0f,
        1e-4f);
}

TEST(BitAllocation, deeperSubbandsAndLuminanceGetFinerSteps) {
    const std::vector<double> v = natural(3, 3, 1000.0);
    const AllocationParameters p = params(3, 3, 2.0f);
    const std::vector<float> coarse = bit_allocation_steps(p, v, 1);  // depth 3
    const std::vector<float> fine = bit_allocation_steps(p, v, 7);    // depth 1
    EXPECT_NEAR(fine[0] / coarse[0], 4.0f, 1e-3f);                    // gamma^2
    EXPECT_NEAR(coarse[1] / coarse[0], 4.0f, 1e-3f);                  // weight of band 0
}

TEST(BitAllocation, chromaOfTheSixFinestSubbandsIsNeverCoded) {
    const std::vector<double> v = natural(4, 3, 1e6);
    const AllocationParameters p = params(4, 3, 8.0f);
    for (int s = 0; s <= 12; ++s) {
        const std::vector<float> steps = bit_allocation_steps(p, v, s);
        EXPECT_GT(steps[0], 0.0f) << s;
        const bool fine = s >= 7;
        EXPECT_EQ(steps[1] == 0.0f, fine) << s;
        EXPECT_EQ(steps[2] == 0.0f, fine) << s;
    }
    // Grey and one-level colour images code everything.
    EXPECT_GT(bit_allocation_steps(params(1, 3, 8.0f), natural(1, 3, 1e6), 3)[1], 0.0f);
}

TEST(BitAllocation, quietDetailIsDroppedButTheLowPassBandIsAlwaysCoded) {
    std::vector<double> v = natural(2, 1);
    v[0] = 1e-9;  // a flat low-pass band
    v[6] = 1e-9;  // a flat finest HH band
    const AllocationParameters p = params(2, 1, 0.5f);
    EXPECT_GT(bit_allocation_steps(p, v, 0)[0], 0.0f);
    EXPECT_EQ(bit_allocation_steps(p, v, 6)[0], 0.0f);
    EXPECT_GT(bit_allocation_steps(p, v, 1)[0], 0.0f);
}

TEST(BitAllocation, thumbnailPassGivesEveryEntryAStep) {
    std::vector<double> v = natural(2, 3);
    v[6 * 3 + 2] = 1e-9;
    AllocationParameters p = params(2, 3, 0.5f);
    p.thumbnailPass = true;
    for (int s = 0; s <= 6; ++s)
        for (float step : bit_allocation_steps(p, v, s)) EXPECT_GT(step, 0.0f) << s;
}

TEST(BitAllocation, entryWithoutCoefficientsDoesNotSilenceTheOthers) {
    std::vector<double> v = natural(2, 1);
    v[4] = 0.0;  // no coefficients of subband 4 among the marked blocks
    const AllocationParameters p = params(2, 1, 1.0f);
    EXPECT_GT(bit_allocation_steps(p, v, 0)[0], 0.0f);
    EXPECT_GT(bit_allocation_steps(p, v, 5)[0], 0.0f);
    EXPECT_EQ(bit_allocation_steps(p, v, 4)[0], 0.0f);
}

}  // namespace
