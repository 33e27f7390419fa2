// Pixel blocks: conversion to floats and the forward colour transforms.

#include <gtest/gtest.h>

#include <cstring>

#include "RawImageScratch.h"
#include "core/Exception.h"
#include "encoder/rawimage/PixelData.h"

namespace {

double D(float coefficient) { return double(coefficient); }

PixelData rgb(std::vector<unsigned char> pixelsPlanar, int width) {
    return PixelData(std::move(pixelsPlanar), width, 1, 1, 3);
}

TEST(PixelDataTest, convertsOnceAndKeepsEverySampleExact) {
    PixelData bytes(std::vector<unsigned char>{0, 1, 127, 255, 9, 8}, 3, 1, 1, 2);
    EXPECT_FALSE(bytes.convert2float());
    EXPECT_EQ(bytes.sampleType(), PixelData::kFloat);
    EXPECT_TRUE(bytes.convert2float());
    EXPECT_EQ(std::vector<float>(bytes.floats(), bytes.floats() + 6),
              (std::vector<float>{0, 1, 127, 255, 9, 8}));

    PixelData shorts(std::vector<unsigned short>{0, 65535, 40000, 7}, 2, 2, 0, 1);
    EXPECT_FALSE(shorts.convert2float());
    EXPECT_EQ(std::vector<float>(shorts.floats(), shorts.floats() + 4),
              (std::vector<float>{0, 65535, 40000, 7}));
    EXPECT_TRUE(shorts.convert2float());
}

TEST(PixelDataTest, yiqMapsWhiteToLuminanceAndBlackToZero) {
    // Planes: R = {255, 0, 10}, G = {255, 0, 20}, B = {255, 0, 30}.
    PixelData p = rgb({255, 0, 10, 255, 0, 20, 255, 0, 30}, 3);
    p.yiq();
    ASSERT_EQ(p.sampleType(), PixelData::kFloat);
    EXPECT_NEAR(p.plane(0)[0], 255.0f, 1e-4);
    EXPECT_NEAR(p.plane(1)[0], 0.0f, 1e-4);
    EXPECT_NEAR(p.plane(2)[0], 0.0f, 1e-4);
    for (int b = 0; b < 3; ++b) EXPECT_EQ(p.plane(b)[1], 0.0f);
    // Each plane is computed from the original R, G, B, not from planes
    // already overwritten; the sums are rounded to float once.
    EXPECT_FLOAT_EQ(p.plane(0)[2], float(D(0.3f) * 10 + D(0.6f) * 20 + D(0.1f) * 30));
    EXPECT_FLOAT_EQ(p.plane(1)[2], float(D(0.6f) * 10 - D(0.28f) * 20 - D(0.32f) * 30));
    EXPECT_FLOAT_EQ(p.plane(2)[2], float(D(0.21f) * 10 - D(0.53f) * 20 + D(0.32f) * 30));
}

TEST(PixelDataTest, yiqkTransformsCmykAndKeepsTheSmallestInk) {
    PixelData p(std::vector<unsigned char>{0, 10, 0, 20, 0, 30, 0, 40}, 2, 1, 1, 4);
    p.yiqk();
    EXPECT_EQ(p.plane(0)[0], 255.0f);
    EXPECT_EQ(p.plane(1)[0], 0.0f);
    EXPECT_EQ(p.plane(2)[0], 0.0f);
    EXPECT_EQ(p.plane(3)[0], 0.0f);
    EXPECT_FLOAT_EQ(p.plane(0)[1],
                    float(255.0 - D(0.5f) * 40 - D(0.15f) * 10 - D(0.3f) * 20 - D(0.05f) * 30));
    EXPECT_FLOAT_EQ(p.plane(1)[1], float(D(0.16f) * 30 + D(0.14f) * 20 - D(0.3f) * 10));
    EXPECT_FLOAT_EQ(p.plane(2)[1], float(D(0.265f) * 20 - D(0.105f) * 10 - D(0.16f) * 30));
    EXPECT_EQ(p.plane(3)[1], 10.0f);
}

TEST(PixelDataTest, transformsRefuseUnsuitableBlocksWithoutTouchingThem) {
    PixelData grey(std::vector<unsigned char>{5, 6}, 2, 1, 0, 1);
    grey.yiq();
    EXPECT_EQ(grey.sampleType(), PixelData::kUInt8) << "a single-band block is left as it is";

    PixelData odd(std::vector<unsigned char>{1, 2, 3}, 1, 1, 2, 3);
    EXPECT_EQ(thrownMessage<Error>([&] { odd.yiq(); }),
              "Error: unsupported band structure in PixelData::yiq.");
    EXPECT_EQ(odd.sampleType(), PixelData::kUInt8);
    // A colour block with too few planes to read three from.
    PixelData thin(std::vector<unsigned char>{1, 2}, 1, 1, 1, 2);
    EXPECT_EQ(thrownMessage<Error>([&] { thin.yiq(); }),
              "Error: unsupported band structure in PixelData::yiq.");

    PixelData three(std::vector<unsigned char>{1, 2, 3}, 1, 1, 1, 3);
    EXPECT_EQ(thrownMessage<Error>([&] { three.yiqk(); }), "Error: yiqk transform requires 4 bands::yiqk.");
    PixelData oddK(std::vector<unsigned char>{1, 2, 3, 4}, 1, 1, 5, 4);
    EXPECT_EQ(thrownMessage<Error>([&] { oddK.yiqk(); }),
              "Error: unsupported band structure in PixelData::yiqk.");
    EXPECT_EQ(oddK.sampleType(), PixelData::kUInt8);

    EXPECT_EQ(thrownMessage<Error>([] { PixelData p(std::vector<float>(5), 2, 1, 1, 3); }),
              "Error: pixel buffer smaller than its planes in PixelData.");
}

TEST(PixelDataTest, codedRowsMatchTheCodedPlanesBitForBit) {
    // Rows 1 .. 2 of a 7 x 4 block: the odd width runs the vector path and
    // its tail; a fourth colour band is copied as it stands.
    const int w = 7, h = 4;
    std::vector<unsigned char> samples(size_t(w * h * 4));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<unsigned char>(i * 37 % 251);
    for (int colour : {1, 0}) {
        const PixelData block(samples, w, h, colour, 4);
        ASSERT_TRUE(block.codesByBand(false));
        std::vector<float> planes(samples.size());
        block.codedPlanes(planes.data(), false);
        for (int band = 0; band < 4; ++band) {
            std::vector<float> rows(size_t(2 * w));
            block.codedRows(band, 1, 2, rows.data(), false);
            const float* want = planes.data() + size_t(band * w * h + w);
            EXPECT_EQ(0, std::memcmp(rows.data(), want, rows.size() * sizeof(float))) << colour << " " << band;
        }
        EXPECT_THROW(block.codedRows(0, 3, 2, planes.data(), false), Lumetra::Exception);
    }
    EXPECT_FALSE(PixelData(samples, w, h, 1, 4).codesByBand(true)) << "CMYK goes through the whole block";
}

}  // namespace
