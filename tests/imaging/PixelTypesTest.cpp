// Sample formats, pixels, rasters, colour tables and sample ranges.
#include <gtest/gtest.h>

#include "imaging/pixels/Clut.h"
#include "imaging/pixels/ImageBufferInfo.h"
#include "imaging/pixels/Pixel.h"
#include "imaging/pixels/Raster.h"
#include "imaging/pixels/SampleRange.h"
#include "imaging/pixels/SharedBuffer.h"
#include "ImagingTestHelpers.h"

using namespace Lumetra;
using imagingtest::format;

TEST(ImageBufferInfo, defaultIsEightBitRgbBipWithIdentityMap) {
    ImageBufferInfo info;
    EXPECT_EQ(info.layout, 0);
    EXPECT_EQ(info.colorSpace, ImageBufferInfo::RGB);
    EXPECT_EQ(info.bands, 3);
    EXPECT_EQ(info.samplesPerPixel, 3);
    EXPECT_EQ(info.bitsPerSample, 8);
    EXPECT_EQ(info.sampleType, 0);
    EXPECT_EQ(info.rowAlignment, 1);
    EXPECT_EQ(info.bandMap, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(info.bytesPerSample(), 1);
}

TEST(ImageBufferInfo, colourSpaceChangeSetsBandsAndKeepsWiderPixels) {
    ImageBufferInfo grey;
    grey.setColorSpace(ImageBufferInfo::Grayscale);
    EXPECT_EQ(grey.bands, 1);
    EXPECT_EQ(grey.samplesPerPixel, 1);
    EXPECT_EQ(grey.bandMap, std::vector<int>{0});

    ImageBufferInfo padded;
    padded.setSamplesPerPixel(4);
    padded.setColorSpace(ImageBufferInfo::RGB);
    EXPECT_EQ(padded.bands, 3);
    EXPECT_EQ(padded.samplesPerPixel, 4);

    ImageBufferInfo cmyk;
    cmyk.setColorSpace(ImageBufferInfo::CMYK);
    EXPECT_EQ(cmyk.samplesPerPixel, 4);
    EXPECT_EQ(cmyk.bandMap, (std::vector<int>{0, 1, 2, 3}));

    ImageBufferInfo unknown;
    unknown.setColorSpace(7);
    EXPECT_EQ(unknown.bands, 0);
    EXPECT_TRUE(unknown.bandMap.empty());
}

TEST(ImageBufferInfo, bandAndSampleTablesCoverEveryNumber) {
    const int spaces[] = {0, 2, 3, 4, 10, 11, 1, 5, -1};
    const int bands[] = {3, 4, 1, 4, 3, 4, 0, 0, 0};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(bandsFor(spaces[i]), bands[i]) << spaces[i];
    const int types[] = {0, 1, 2, 10, 11, 3, -1};
    const int sizes[] = {1, 2, 4, 4, 8, 0, 0};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(sampleSize(types[i]), sizes[i]) << types[i];
}

TEST(Pixel, copiesAreDeepAndTypedPixelFollowsTheBandMap) {
    ImageBufferInfo info;
    const int reversed[] = {2, 1, 0};
    info.setBandMap(reversed);
    const unsigned char samples[] = {10, 20, 30};
    TypedPixel<unsigned char> p(samples, info);
    ASSERT_TRUE(p.hasValues());
    EXPECT_EQ(p.sample<unsigned char>(0), 30);
    EXPECT_EQ(p.sample<unsigned char>(2), 10);
    EXPECT_EQ(p.info().bandMap, (std::vector<int>{0, 1, 2}));

    Pixel copy = p;
    copy.values()[0] = 99;
    EXPECT_EQ(p.sample<unsigned char>(0), 30);

    Pixel empty;
    EXPECT_FALSE(empty.hasValues());
    Pixel zero(format(ImageBufferInfo::CMYK, ImageBufferInfo::UInt16));
    EXPECT_EQ(zero.valueBytes(), 8u);
}

TEST(Raster, fillWritesEveryBandOfEveryPixelOnlyInsideTheView) {
    // A 2 x 2 view inside 4-pixel rows, with a padding byte after each pixel.
    ImageBufferInfo info;
    info.samplesPerPixel = 4;
    std::vector<unsigned char> memory(2 * 16 + 4, 7);
    Raster<unsigned char> view(memory.data(), 2, 2, 16, info);
    const unsigned char rgb[] = {1, 2, 3};
    view.fill(TypedPixel<unsigned char>(rgb, format(ImageBufferInfo::RGB, 0)));
    const std::vector<unsigned char> row = {1, 2, 3, 7, 1, 2, 3, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    EXPECT_EQ(std::vector<unsigned char>(memory.begin(), memory.begin() + 16), row);
    EXPECT_EQ(std::vector<unsigned char>(memory.begin() + 16, memory.begin() + 32), row);
    EXPECT_EQ(memory[32], 7);

    view.fill(Pixel());  // no values: nothing happens
    EXPECT_EQ(memory[0], 1);
}

TEST(Raster, fillOfWholePixelsLeavesRowPaddingAlone) {
    ImageBufferInfo info;
    const int bgr[] = {2, 1, 0};
    info.setBandMap(bgr);
    std::vector<unsigned char> memory(3 * 8, 7);  // 2 pixels in 8-byte rows
    Raster<unsigned char> view(memory.data(), 2, 3, 8, info);
    const unsigned char rgb[] = {1, 2, 3};
    view.fill(TypedPixel<unsigned char>(rgb, format(ImageBufferInfo::RGB, 0)));
    const std::vector<unsigned char> row = {3, 2, 1, 3, 2, 1, 7, 7};
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(std::vector<unsigned char>(memory.begin() + 8 * y, memory.begin() + 8 * y + 8), row) << y;
}

TEST(Clut, nearestEntryPrefersLowestIndexAndEmptyGivesMinusOne) {
    const unsigned char entries[] = {0, 0, 0, 10, 10, 10, 20, 20, 20, 10, 10, 10};
    Clut table(ImageBufferInfo::RGB, 4, ImageBufferInfo::UInt8, entries);
    const unsigned char nearTen[] = {11, 9, 10};
    EXPECT_EQ(table.lookUp(nearTen), 1);
    const unsigned char midway[] = {5, 5, 5};
    EXPECT_EQ(table.lookUp(midway), 0);
    const unsigned char far[] = {255, 255, 255};
    EXPECT_EQ(table.lookUp(far), 2);

    EXPECT_EQ(Clut().lookUp(nearTen), -1);
    EXPECT_EQ(Clut(ImageBufferInfo::RGB, 0, ImageBufferInfo::UInt8, nullptr).lookUp(nearTen), -1);
}

TEST(Clut, copyKeepsWorkingAfterTheOriginalIsGone) {
    Clut copy;
    {
        const float entries[] = {0.f, 100.f, 200.f};
        Clut original(ImageBufferInfo::Grayscale, 3, ImageBufferInfo::Float32, entries);
        copy = original;
        const unsigned char grey[] = {7};
        Pixel p(format(ImageBufferInfo::Grayscale, 0));
        p.setValues(grey);
        original.setEntry(0, p);  // does not reach the copy
    }
    const float probe = 160.f;
    EXPECT_EQ(copy.lookUp(&probe), 2);
    ASSERT_NE(copy.entry<float>(0), nullptr);
    EXPECT_EQ(*copy.entry<float>(0), 0.f);
    EXPECT_EQ(copy.entry<float>(3), nullptr);
}

TEST(Clut, refusesUnsupportedSampleTypesAndNegativeCounts) {
    EXPECT_EQ(IMAGING_MESSAGE_OF(Clut(ImageBufferInfo::RGB, 2, ImageBufferInfo::Float64, nullptr)),
              "Illegal sample type");
    EXPECT_EQ(IMAGING_MESSAGE_OF(Clut(ImageBufferInfo::RGB, 2, ImageBufferInfo::Int32, nullptr)),
              "Illegal sample type");
    EXPECT_EQ(IMAGING_MESSAGE_OF(Clut(ImageBufferInfo::RGB, -1, ImageBufferInfo::UInt8, nullptr)),
              "Invalid argument passed to function: Colour table entry count out of range");
}

TEST(SampleRange, invertedRangeThrowsAndLeavesTheRangeAlone) {
    SampleRange<unsigned char> r;
    EXPECT_EQ(IMAGING_MESSAGE_OF(r.set(5, 4)),
              "Invalid argument passed to function: Attempt to set range with min > max.");
    EXPECT_EQ(r.max, 255);
    EXPECT_EQ(r.min, 0);
    r.set(4, 4);
    EXPECT_EQ(r.min, 4);
    EXPECT_EQ(r.max, 4);
}

TEST(SampleRange, windowAndLevelMoveTheRangeAsIntegersOrReals) {
    SampleRange<float> f(255.f, 0.f);
    f.setWindow(256.f);  // already that wide
    EXPECT_EQ(f.min, 0.f);
    EXPECT_EQ(f.max, 255.f);
    f.setLevel(128.f);
    EXPECT_EQ(f.min, 1.f);
    EXPECT_EQ(f.max, 256.f);

    SampleRange<float> g(255.f, 0.f);
    g.setWindow(100.f);
    EXPECT_EQ(g.min, 77.5f);
    EXPECT_EQ(g.max, 176.5f);

    SampleRange<unsigned char> b(255, 0);
    b.setWindow(100.9f);  // truncated to 100, centre 127
    EXPECT_EQ(b.min, 77);
    EXPECT_EQ(b.max, 176);
    b.setLevel(50.7f);
    EXPECT_EQ(b.min, 1);
    EXPECT_EQ(b.max, 100);

    SampleRange<unsigned char> full(255, 0);
    full.setWindow(256.f);  // 0 as 8 bits: would leave an empty range
    EXPECT_EQ(full.min, 0);
    EXPECT_EQ(full.max, 255);
}

TEST(SharedBuffer, copiesShareAndTheLastOwnerFrees) {
    SharedBuffer<unsigned char> a;
    a.allocate(16);
    EXPECT_EQ(a.size(), 16u);
    SharedBuffer<unsigned char> b = a;
    EXPECT_EQ(a.data(), b.data());
    EXPECT_EQ(a.useCount(), 2);
    a.allocate(4);
    EXPECT_NE(a.data(), b.data());
    EXPECT_EQ(b.useCount(), 1);
    // Hundreds of copies do not wrap the count.
    std::vector<SharedBuffer<unsigned char>> copies(300, b);
    EXPECT_EQ(b.useCount(), 301);
    copies.clear();
    EXPECT_EQ(b.useCount(), 1);
    b.adopt(new unsigned char[3], 3);
    EXPECT_EQ(b.size(), 3u);
}
