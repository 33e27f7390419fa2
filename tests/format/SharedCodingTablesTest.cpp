// The dither table and canonical Huffman codes shared with the encoder.
#include <gtest/gtest.h>

#include <cmath>

#include "format/DitherTable.h"
#include "format/HuffmanTable.h"

using namespace Lumetra;

TEST(DitherTable, generatedValuesMatchTheSharedCheckValues) {
    const float* t = ditherTable();
    EXPECT_EQ(t[8], 0.0796350837f);
    EXPECT_EQ(t[127 * 128 + 127], 0.12534976f);
    // The fixed row beginnings overwrite the generated values.
    EXPECT_EQ(t[0], -0.164586f);
    EXPECT_EQ(t[7], -0.065617f);
    EXPECT_EQ(t[128 + 3], -0.200255f);
}

TEST(DitherTable, valuesStayWithinAQuarterAndAverageNearZero) {
    const float* t = ditherTable();
    double sum = 0, sq = 0;
    for (int i = 0; i < 128 * 128; ++i) {
        ASSERT_LE(std::fabs(t[i]), 0.25f);
        sum += t[i];
        sq += double(t[i]) * t[i];
    }
    EXPECT_NEAR(sum / 16384, 0.0, 0.01);
    EXPECT_NEAR(sq / 16384, 1.0 / 48, 0.002);
}

TEST(HuffmanTable, canonicalCodesDoubleAfterIncrementWhenLengthGrows) {
    HuffmanTable t;
    t.counts[1] = 1;  // one code of length 2
    t.counts[2] = 3;  // three of length 3
    t.counts[3] = 2;  // two of length 4
    t.symbols = {10, 20, 30, 40, 50, 60};
    std::vector<CanonicalCode> codes;
    ASSERT_TRUE(canonicalCodes(t, codes));
    const uint16_t expectBits[] = {0b00, 0b010, 0b011, 0b100, 0b1010, 0b1011};
    const uint8_t expectLen[] = {2, 3, 3, 3, 4, 4};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(codes[k].bits, expectBits[k]) << k;
        EXPECT_EQ(codes[k].length, expectLen[k]) << k;
    }
    CanonicalCode bySymbol[256];
    ASSERT_TRUE(canonicalCodesBySymbol(t, bySymbol));
    EXPECT_EQ(bySymbol[40].bits, 0b100);
    EXPECT_EQ(bySymbol[41].length, 0);
}

TEST(HuffmanTable, overfullOrMismatchedDescriptionsAreRefused) {
    HuffmanTable over;
    over.counts[0] = 2;
    over.counts[1] = 1;  // three codes where only two lengths-1/2 codes fit
    over.symbols = {1, 2, 3};
    std::vector<CanonicalCode> codes;
    EXPECT_FALSE(canonicalCodes(over, codes));
    EXPECT_TRUE(codes.empty());

    HuffmanTable shortList;
    shortList.counts[0] = 2;
    shortList.symbols = {1};
    EXPECT_FALSE(shortList.isValid());

    HuffmanTable tooMany;
    tooMany.counts[15] = 255;
    tooMany.counts[14] = 2;
    tooMany.symbols.assign(257, 0);
    EXPECT_FALSE(tooMany.isValid());

    HuffmanTable full;  // 255 + 2 codes do not fit 8 bits; 255 alone do
    full.counts[7] = 255;
    full.counts[8] = 2;
    full.symbols.assign(257, 0);
    EXPECT_FALSE(full.isValid());
    full.counts[8] = 0;
    full.counts[7] = 255;
    full.symbols.assign(255, 0);
    EXPECT_TRUE(full.isValid());
}
