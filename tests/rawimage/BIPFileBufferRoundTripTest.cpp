// The raw file and header written by the decoder's file buffer read back as
// a BBBImage with the same size, pixels and georeferencing.

#include <gtest/gtest.h>

#include <memory>

#include "RawImageScratch.h"
#include "encoder/rawimage/BBBImage.h"
#include "encoder/rawimage/PixelData.h"
#include "imaging/pixels/BIPFileBuffer.h"

namespace {

unsigned char sampleAt(int b, int x, int y) { return static_cast<unsigned char>(50 * b + 7 * y + x); }

TEST(BIPFileBufferRoundTripTest, writtenHeaderReadsBackWithSizeGeoreferenceAndPixels) {
    RawImageScratch scratch;
    const std::string raw = scratch.path("region.bip");
    const int width = 6, height = 7;

    Lumetra::GeoReference geo;
    geo.present = true;
    geo.upperLeftX = 123456.75;
    geo.upperLeftY = -9876.5;
    geo.xPixelSize = 0.5;
    geo.yPixelSize = -2.0;
    {
        Lumetra::BIPFileBuffer buffer(raw, geo);
        buffer.setImageRect(Lumetra::Rectangle::fromCorners(0, 0, width - 1, height - 1));
        buffer.setStripHeight(3);
        buffer.begin();
        while (buffer.hasStrip()) {
            const Lumetra::Rectangle& strip = buffer.currentStrip();
            for (int y = 0; y < strip.height(); ++y)
                for (int x = 0; x < width; ++x) {
                    unsigned char* p = buffer.stripAddress(x, y, 0);
                    for (int b = 0; b < 3; ++b) p[b] = sampleAt(b, x, strip.y0() + y);
                }
            buffer.stripDone();
        }
        buffer.end();
    }

    BBBImage image(raw);
    EXPECT_EQ(image.width(), width);
    EXPECT_EQ(image.height(), height);
    EXPECT_EQ(image.bands(), 3);
    EXPECT_EQ(image.header().layout, kLayoutBIP);
    EXPECT_EQ(image.header().nbits, 8);
    EXPECT_EQ(image.xcoord(), 123456.75);
    EXPECT_EQ(image.ycoord(), -9876.5);
    EXPECT_EQ(image.xscale(), 0.5);
    EXPECT_EQ(image.yscale(), -2.0);

    const int whole[2][2] = {{0, width - 1}, {0, height - 1}};
    const std::unique_ptr<PixelData> p = image.extract(whole);
    for (int b = 0; b < 3; ++b)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(p->bytes()[b * p->planeSize() + size_t(y) * width + x], sampleAt(b, x, y))
                    << b << x << y;
}

}  // namespace
