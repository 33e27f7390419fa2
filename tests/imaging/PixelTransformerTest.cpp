// Exact results of the per-pixel conversions and their format checks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "imaging/transform/PixelTransformers.h"
#include "ImagingTestHelpers.h"

using namespace Lumetra;
using imagingtest::asInts;
using imagingtest::convertPixel;
using imagingtest::format;
using namespace imagingtest::formats;

namespace {

std::vector<int> fromFloat(const std::vector<float>& in, int sourceSpace, int destinationSpace) {
    return asInts(
        convertPixel<unsigned char, float>(in, format(sourceSpace, F32), format(destinationSpace, U8)));
}
std::vector<int> fromBytes(const std::vector<unsigned char>& in, int sourceSpace, int destinationSpace) {
    return asInts(convertPixel<unsigned char, unsigned char>(in, format(sourceSpace, U8),
                                                             format(destinationSpace, U8)));
}
}  // namespace

TEST(PixelConversion, floatToByteRoundsHalfUpAndClampsOverflow) {
    EXPECT_EQ(fromFloat({0.f, 127.4f, 255.6f}, RGB, RGB), (std::vector<int>{0, 127, 255}));
    EXPECT_EQ(fromFloat({-3.f, 126.5f, 1e30f}, RGB, RGB), (std::vector<int>{0, 127, 255}));
}

TEST(PixelConversion, redToGreyTruncatesByteSourcesBeforeMapping) {
    EXPECT_EQ(fromFloat({255.f, 0.f, 0.f}, RGB, GREY), std::vector<int>{77});
    EXPECT_EQ(fromBytes({255, 0, 0}, RGB, GREY), std::vector<int>{76});
    EXPECT_EQ(fromBytes({255, 255, 255}, RGB, GREY), std::vector<int>{255});
}

TEST(PixelConversion, cmykToRgbAveragesTwoEstimates) {
    EXPECT_EQ(fromBytes({0, 0, 0, 0}, CMYK, RGB), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(fromBytes({255, 255, 255, 255}, CMYK, RGB), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(fromBytes({0, 0, 0, 255}, CMYK, RGB), (std::vector<int>{63, 63, 63}));
    // ((255 - 50) + (255 - 100)) / 2 = 180 for C = 100, K = 0.
    EXPECT_EQ(fromBytes({100, 0, 0, 0}, CMYK, RGB), (std::vector<int>{180, 255, 255}));
    EXPECT_EQ(fromBytes({0, 0, 0, 0}, CMYK, RGBK), (std::vector<int>{255, 255, 255, 0}));
    EXPECT_EQ(fromBytes({40, 60, 80, 20}, CMYK, RGBK), (std::vector<int>{225, 215, 205, 40}));
}

TEST(PixelConversion, rgbToCmykMovesTheCommonInkToBlack) {
    EXPECT_EQ(fromBytes({255, 255, 255}, RGB, CMYK), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(fromBytes({0, 0, 0}, RGB, CMYK), (std::vector<int>{0, 0, 0, 255}));
    EXPECT_EQ(fromBytes({255, 128, 0}, RGB, CMYK), (std::vector<int>{0, 127, 255, 0}));
}

TEST(PixelConversion, rgbToYiqIntoBytesLosesNegativeChrominance) {
    EXPECT_EQ(fromBytes({255, 0, 0}, RGB, YIQ), (std::vector<int>{76, 153, 53}));
    EXPECT_EQ(fromBytes({0, 255, 0}, RGB, YIQ), (std::vector<int>{153, 0, 0}));
    EXPECT_EQ(fromBytes({0, 0, 255}, RGB, YIQ), (std::vector<int>{25, 0, 81}));
}

TEST(PixelConversion, yiqToRgbUsesTheInverseMatrix) {
    // R = 100 + 18.904 - 6.327, G = 100 - 5.787 + 6.019, B = 100 - 21.991 - 17.130.
    EXPECT_EQ(fromFloat({100.f, 20.f, -10.f}, YIQ, RGB), (std::vector<int>{113, 100, 61}));
    EXPECT_EQ(fromFloat({200.f, 0.f, 0.f}, YIQ, RGB), (std::vector<int>{200, 200, 200}));
}

TEST(PixelConversion, yiqkReachesRgbThroughCmyk) {
    EXPECT_EQ(fromFloat({255.f, 0.f, 0.f, 0.f}, YIQK, RGB), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(fromFloat({0.f, 0.f, 0.f, 255.f}, YIQK, RGB), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(fromFloat({255.f, 0.f, 0.f, 0.f}, YIQK, CMYK), (std::vector<int>{0, 0, 0, 0}));
    // Y 155 grey: inks 100 each, black 40 of 200 possible: u = 160.
    EXPECT_EQ(fromFloat({155.f, 0.f, 0.f, 40.f}, YIQK, CMYK), (std::vector<int>{40, 40, 40, 160}));
    EXPECT_EQ(fromBytes({0, 0, 0, 0}, CMYK, YIQK), (std::vector<int>{255, 0, 0, 0}));
}

TEST(PixelConversion, greyToRgbRepeatsTheMappedValue) {
    EXPECT_EQ(fromBytes({200}, GREY, RGB), (std::vector<int>{200, 200, 200}));
    EXPECT_EQ(fromFloat({99.5f}, GREY, RGB), (std::vector<int>{100, 100, 100}));
}

TEST(PixelConversion, sixteenBitDescribedFloatIsScaledDownByTheBitDepths) {
    PixelCopier<unsigned char, float> copier;
    copier.init(format(RGB, U8), format(RGB, F32, 16));
    EXPECT_FLOAT_EQ(copier.scale, 1.0f / 256.0f);
    unsigned char out;
    copier.put(&out, 32768.f);
    EXPECT_EQ(out, 128);
    copier.put(&out, 65535.f);
    EXPECT_EQ(out, 255);

    copier.init(format(RGB, U8), format(RGB, F32, 8));
    EXPECT_FLOAT_EQ(copier.scale, 1.0f);
    PixelCopier<unsigned short, unsigned char> widening;
    widening.init(format(RGB, U16, 16), format(RGB, U8));
    EXPECT_FLOAT_EQ(widening.scale, 256.0f);
}

TEST(PixelConversion, notANumberIsStoredAsTheRangeMinimum) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(fromFloat({nan, 10.f, nan}, RGB, RGB), (std::vector<int>{0, 10, 0}));
    EXPECT_EQ(fromFloat({nan, 0.f, 0.f}, YIQ, RGB), (std::vector<int>{0, 0, 0}));
    auto sixteen = convertPixel<unsigned short, float>({nan}, format(GREY, F32), format(GREY, U16, 16));
    EXPECT_EQ(sixteen[0], 0);
}

TEST(PixelConversion, formatMismatchesAreRefusedWithTheirMessages) {
    PixelCopier<unsigned char, float> copier;
    EXPECT_EQ(IMAGING_MESSAGE_OF(copier.init(format(RGB, U8), format(RGB, U8))),
              "PixelOperator: source buffer properties mismatch");
    EXPECT_EQ(IMAGING_MESSAGE_OF(copier.init(format(RGB, F32), format(RGB, F32))),
              "PixelOperator: destination buffer properties mismatch");
    // The copier checks colour spaces before sizes.
    EXPECT_EQ(IMAGING_MESSAGE_OF(copier.init(format(CMYK, U16), format(RGB, U16))),
              "PixelCopier: incompatible source and destination colorspace");
    EXPECT_EQ(IMAGING_MESSAGE_OF(copier.init(format(YIQ, U8), format(GREY, F32))),
              "PixelCopier: incompatible source and destination colorspace");

    YIQtoRGBPixelTransformer<unsigned char, float> yiq;
    EXPECT_EQ(IMAGING_MESSAGE_OF(yiq.init(format(RGB, U8), format(RGB, F32))),
              "YIQtoRGBPixelTransformer: invalid colorspace provided");
    CMYKtoRGBKPixelTransformer<unsigned char, unsigned char> rgbk;
    EXPECT_EQ(IMAGING_MESSAGE_OF(rgbk.init(format(RGB, U8), format(CMYK, U8))),
              "CMYKtoRGBPixelTransformer: invalid colorspace provided");
    YIQKtoRGBPixelTransformer<unsigned char, float> yiqk;
    EXPECT_EQ(IMAGING_MESSAGE_OF(yiqk.init(format(RGB, U8), format(YIQ, F32))),
              "YIQKtoRGBPixelTransformer: invalid colorspace provided");
}

TEST(PixelConversion, bandMapsPlaceSamplesOnBothSides) {
    // Source BGR-ordered, destination with a padding sample first.
    ImageBufferInfo source = format(RGB, U8);
    const int bgr[] = {2, 1, 0};
    source.setBandMap(bgr);
    ImageBufferInfo destination = format(RGB, U8);
    destination.samplesPerPixel = 4;
    const int shifted[] = {1, 2, 3};
    destination.setBandMap(shifted);
    auto out = convertPixel<unsigned char, unsigned char>({30, 20, 10}, source, destination);
    EXPECT_EQ(asInts(out), (std::vector<int>{0, 10, 20, 30}));
}
