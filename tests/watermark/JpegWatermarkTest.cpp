#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "WatermarkTestFiles.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "imaging/transform/TransformerRegistry.h"
#include "imaging/watermark/JpegWatermark.h"

using namespace Lumetra;

namespace {

unsigned char pattern(int x, int y, int c) { return static_cast<unsigned char>(40 + ((x * 5 + y * 3 + c * 60) % 170)); }

class JpegWatermarkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { registerStandardFactories(); }
    wmtest::ScratchFolder dir;

    std::string loadMessage(const std::string& path) {
        try {
            JpegWatermark w{FileSpecification(path)};
        } catch (const Exception& e) {
            return e.what();
        }
        return "(no exception)";
    }
};

// Overwrites the frame header's height and width of a baseline JPEG.
void setFrameSize(std::vector<unsigned char>& jpeg, int width, int height) {
    for (size_t i = 0; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = static_cast<unsigned char>(height >> 8);
            jpeg[i + 6] = static_cast<unsigned char>(height);
            jpeg[i + 7] = static_cast<unsigned char>(width >> 8);
            jpeg[i + 8] = static_cast<unsigned char>(width);
            return;
        }
    FAIL() << "no frame header";
}

}  // namespace

TEST_F(JpegWatermarkTest, greyAndColourPicturesLoadAsEightBitRows) {
    for (int components : {1, 3}) {
        std::string path = dir.file("mark.jpg");
        wmtest::writeJpeg(path, 45, 17, components, pattern);
        JpegWatermark w{FileSpecification(path)};
        EXPECT_FALSE(w.isEmpty());
        EXPECT_EQ(45, w.width);
        EXPECT_EQ(17, w.height);
        EXPECT_EQ(45 * components, w.rowBytes);
        EXPECT_EQ(components == 1 ? ImageBufferInfo::Grayscale : ImageBufferInfo::RGB, w.info.colorSpace);
        EXPECT_EQ(components, w.info.bands);
        EXPECT_EQ(components, w.info.samplesPerPixel);
        EXPECT_EQ(ImageBufferInfo::UInt8, w.info.sampleType);
        EXPECT_EQ(ImageBufferInfo::BIP, w.info.layout);
        EXPECT_EQ(8, w.info.bitsPerSample);
        EXPECT_EQ(1, w.pixels.useCount());
        ASSERT_NE(nullptr, w.pixels.data());
        int worst = 0;
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 45; ++x)
                for (int c = 0; c < components; ++c)
                    worst = std::max(worst, std::abs(w.pixels.data()[y * w.rowBytes + x * components + c] -
                                                     pattern(x, y, c)));
        EXPECT_LE(worst, 8) << components << " components";
    }
}

TEST_F(JpegWatermarkTest, assignmentSharesThePixels) {
    std::string path = dir.file("mark.jpg");
    wmtest::writeJpeg(path, 8, 8, 1, pattern);
    JpegWatermark target;
    EXPECT_TRUE(target.isEmpty());
    {
        JpegWatermark loaded{FileSpecification(path)};
        target = loaded;
        EXPECT_EQ(2, loaded.pixels.useCount());
        EXPECT_EQ(loaded.pixels.data(), target.pixels.data());
    }
    EXPECT_EQ(1, target.pixels.useCount());
    EXPECT_EQ(8, target.width);
    EXPECT_EQ(8, target.rowBytes);
    EXPECT_EQ(ImageBufferInfo::Grayscale, target.info.colorSpace);
}

TEST_F(JpegWatermarkTest, cmykPictureIsRefused) {
    std::string path = dir.file("cmyk.jpg");
    wmtest::writeJpeg(path, 16, 16, 4, pattern);
    EXPECT_EQ("This watermark must be Grayscale or RGB!\n", loadMessage(path));
}

TEST_F(JpegWatermarkTest, missingFileIsAnOpenError) {
    std::string path = dir.file("none.jpg");
    try {
        JpegWatermark w{FileSpecification(path)};
        FAIL() << "loaded a missing file";
    } catch (const Error& e) {
        EXPECT_EQ("Error opening file " + path + " for read.", std::string(e.message()));
    }
}

TEST_F(JpegWatermarkTest, damagedFilesFailWithTheLibrarysMessage) {
    std::string good = dir.file("good.jpg");
    wmtest::writeJpeg(good, 64, 64, 3, pattern);
    std::vector<unsigned char> bytes = wmtest::readBytes(good);

    std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + bytes.size() / 2);
    wmtest::writeBytes(dir.file("cut.jpg"), cut);
    EXPECT_EQ("Premature end of JPEG file", loadMessage(dir.file("cut.jpg")));

    std::vector<unsigned char> headerOnly(bytes.begin(), bytes.begin() + 20);
    wmtest::writeBytes(dir.file("header.jpg"), headerOnly);
    EXPECT_EQ("Premature end of JPEG file", loadMessage(dir.file("header.jpg")));

    std::vector<unsigned char> noImage = bytes;
    noImage[1] = 0xD9;  // starts with an end-of-image marker
    wmtest::writeBytes(dir.file("bad.jpg"), noImage);
    EXPECT_EQ("Not a JPEG file: starts with 0xff 0xd9", loadMessage(dir.file("bad.jpg")));
}

TEST_F(JpegWatermarkTest, pictureTooLargeToHoldIsRefusedBeforeDecoding) {
    // 50000 x 30000 RGB needs 4.5 GB: its size in 32 bits would wrap.
    std::string path = dir.file("huge.jpg");
    wmtest::writeJpeg(path, 16, 16, 3, pattern);
    std::vector<unsigned char> bytes = wmtest::readBytes(path);
    setFrameSize(bytes, 50000, 30000);
    wmtest::writeBytes(path, bytes);
    EXPECT_EQ("The watermark is too large: 50000 x 30000 pixels with 3 components need 4500000000 bytes, "
              "more than 268435456.",
              loadMessage(path));
}
