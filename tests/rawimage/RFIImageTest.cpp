// Raw float images: header and size checks, float extraction by band count.

#include <gtest/gtest.h>

#include <memory>

#include "RawImageScratch.h"
#include "encoder/rawimage/PixelData.h"
#include "encoder/rawimage/RFIImage.h"

namespace {

// Band-sequential samples of a width x height picture: b * 1000 + y * 10 + x + 0.5.
std::vector<float> planes(int width, int height, int bands) {
    std::vector<float> v;
    for (int b = 0; b < bands; ++b)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) v.push_back(float(b * 1000 + y * 10 + x) + 0.5f);
    return v;
}

TEST(RFIImageTest, oneThreeAndFourBandFilesExtractTheirPlanesAtTheOrigin) {
    RawImageScratch scratch;
    const int expectedScheme[5] = {0, kSchemeGrayscale, 0, kSchemeRGB, kSchemeCMYK};
    for (int bands : {1, 3, 4}) {
        SCOPED_TRACE(bands);
        RFIImage image(scratch.rfiImage("f" + std::to_string(bands), 6, 3, bands, planes(6, 3, bands)), 10,
                       20);
        EXPECT_EQ(image.dataType(), kImageFloat);
        EXPECT_EQ(image.colorScheme(), expectedScheme[bands]);
        EXPECT_EQ(image.codedBands(), bands);
        EXPECT_FALSE(image.hasGeoreference());

        // Columns 9..12 and rows 21..23: column 9 and row 23 lie outside.
        const int rect[2][2] = {{9, 12}, {21, 23}};
        const std::unique_ptr<PixelData> p = image.extract(rect);
        ASSERT_EQ(p->sampleType(), PixelData::kFloat);
        EXPECT_EQ(p->colour(), bands != 1 ? 1 : 0);
        for (int b = 0; b < bands; ++b)
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 4; ++x) {
                    const bool inside = x >= 1 && y <= 1;
                    const float want = inside ? float(b * 1000 + (y + 1) * 10 + (x - 1)) + 0.5f : 0.0f;
                    ASSERT_EQ(p->plane(b)[y * 4 + x], want) << b << x << y;
                }
        EXPECT_TRUE(p->convert2float());
    }
}

TEST(RFIImageTest, twoBandFileConstructsButRefusesExtraction) {
    RawImageScratch scratch;
    RFIImage image(scratch.rfiImage("two", 2, 2, 2, planes(2, 2, 2)), 0, 0);
    EXPECT_EQ(image.colorScheme(), kSchemeUnknown);
    const int rect[2][2] = {{0, 1}, {0, 1}};
    EXPECT_EQ(thrownMessage<Error>([&] { image.extract(rect); }),
              "Error: cannot process 2 spectral band RFI files.");
}

TEST(RFIImageTest, badHeadersAndMissingOperationsFail) {
    RawImageScratch scratch;
    std::vector<float> samples = planes(3, 2, 1);
    samples.push_back(0.0f);
    EXPECT_EQ(thrownMessage<Error>([&] { RFIImage image(scratch.rfiImage("long", 3, 2, 1, samples), 0, 0); }),
              "Error: invalid RFI Image.");
    EXPECT_EQ(thrownMessage<Error>(
                  [&] { RFIImage image(scratch.rfiImage("neg", -3, -2, 1, planes(3, 2, 1)), 0, 0); }),
              "Error: invalid RFI Image.");
    // Counts whose product wraps in 32 bits must not match a small file.
    EXPECT_EQ(thrownMessage<Error>(
                  [&] { RFIImage image(scratch.rfiImage("wrap", 65536, 65536, 4, planes(1, 1, 1)), 0, 0); }),
              "Error: invalid RFI Image.");
    const std::string shortName = scratch.write("short", {1, 2, 3, 4, 5});
    EXPECT_EQ(thrownMessage<ReadError>([&] { RFIImage image(shortName, 0, 0); }),
              "Error reading file " + shortName + ".");
    EXPECT_EQ(thrownMessage<OpenError>([&] { RFIImage image(scratch.path("none"), 0, 0); }),
              "Error opening file " + scratch.path("none") + " for read.");

    RFIImage image(scratch.rfiImage("ok", 3, 2, 1, planes(3, 2, 1)), 0, 0);
    const int rect[2][2] = {{0, 0}, {0, 0}};
    unsigned char byte = 0;
    EXPECT_EQ(thrownMessage<Error>([&] { image.extract(rect, &byte); }),
              "void RFIImage::extract( int section_support[2][2], unsigned char *pixels ) not supported.");
    EXPECT_EQ(thrownMessage<Error>([&] { image.xcoord(); }),
              "xcoord function not defined for this image class.");
    EXPECT_EQ(thrownMessage<Error>([&] { image.yscale(); }),
              "yscale function not defined for this image class.");
    image.writeWorldFile(scratch.path("out.wvr"));
    EXPECT_FALSE(Lumetra::FileSpecification(scratch.path("out.wvw")).exists());

    ::testing::internal::CaptureStdout();
    image.info();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "***** " + scratch.path("ok") + " *****\n\n  image_width: 3\n  image_height: 2\n  nband: 1\n");
}

}  // namespace
