// Reconstruction of quantised coefficients and the subtractive dither.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "format/Dequantiser.h"
#include "format/DitherTable.h"

using namespace Lumetra;

TEST(Dequantiser, reconstructsAtSixHundredthsAboveTheStep) {
    EXPECT_FLOAT_EQ(dequantisedValue(1, 1.0f), 1.06f);
    EXPECT_FLOAT_EQ(dequantisedValue(-2, 1.0f), -2.06f);
    EXPECT_FLOAT_EQ(dequantisedValue(0, 3.0f), 0.0f);
    // Beyond the tabulated range the same formula applies.
    const int32_t q[3] = {46, -46, 45};
    float out[3];
    dequantise(q, 3, 3, 1, 1.0f, DitherSetting(), out, 3);
    EXPECT_FLOAT_EQ(out[0], 46.06f);
    EXPECT_FLOAT_EQ(out[1], -46.06f);
    EXPECT_FLOAT_EQ(out[2], 45.06f);
    // The form without a branch gives the same values, bit for bit.
    for (const float step : {1.0f, 0.37f, -2.5f, 1e-3f})
        for (int32_t v = -70000; v <= 70000; v += 7) {
            const float a = dequantisedValue(v, step), b = quickDequantisedValue(v, step);
            ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << v << " " << step;
        }
    // A zero step gives zeros even with the dither on.
    DitherSetting on;
    on.on = true;
    dequantise(q, 3, 3, 1, 0.0f, on, out, 3);
    EXPECT_EQ(out[0], 0.0f);
}

TEST(Dequantiser, ditherIsIndexedByRegionCornerPlusSubbandOffsets) {
    const int W = 131;
    std::vector<int32_t> q(W * 2, 0);
    q[0] = 3;
    std::vector<float> out(W * 2);
    DitherSetting d;
    d.on = true;
    d.d0 = 5;
    d.d1 = 3;
    const float D = 2.0f;
    dequantise(q.data(), W, W, 2, D, d, out.data(), W);
    const float* T = ditherTable();
    EXPECT_EQ(out[0], dequantisedValue(3, D) - D * T[3 * 128 + 5]);
    EXPECT_EQ(out[130], 0.0f - D * T[3 * 128 + 7]);    // column (5 + 130) mod 128
    EXPECT_EQ(out[W + 1], 0.0f - D * T[4 * 128 + 6]);  // next row
    // A region whose corner is at (126, 125) wraps both indices.
    d.x0 = 126;
    d.y0 = 125;
    dequantise(q.data(), W, 1, 1, D, d, out.data(), W);
    EXPECT_EQ(out[0], dequantisedValue(3, D) - D * T[0 * 128 + 3]);
}
