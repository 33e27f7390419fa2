// Image buffers: strips, clearing, conversion on write, raw file and header
// output, and the refusal of sizes that cannot be held.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imaging/pixels/BIPFileBuffer.h"
#include "imaging/pixels/ImageBuffer.h"
#include "imaging/pixels/PassThroughImageBuffer.h"
#include "ImagingTestHelpers.h"

using namespace Lumetra;
using imagingtest::format;
using imagingtest::readFile;
using imagingtest::ScratchFolder;

namespace {
const int U8 = ImageBufferInfo::UInt8, F32 = ImageBufferInfo::Float32;
const int RGB = ImageBufferInfo::RGB, GREY = ImageBufferInfo::Grayscale, YIQ = ImageBufferInfo::YIQ;

Rectangle region(int width, int height) { return Rectangle::fromCorners(0, 0, width - 1, height - 1); }

// Float planes (band-sequential) as the decoder writes them.
ImageBufferInfo planes(int colorSpace, int width, int height) {
    ImageBufferInfo info = format(colorSpace, F32);
    info.layout = ImageBufferInfo::Planar;
    info.samplesPerPixel = 1;
    std::vector<int> offsets;
    for (int b = 0; b < info.bands; ++b) offsets.push_back(b * width * height);
    info.setBandMap(offsets.data());
    return info;
}

// Keeps every flushed strip: its rectangle and its rows.
class RecordingBuffer : public PassThroughImageBuffer {
public:
    explicit RecordingBuffer(bool cleared = true) {
        if (cleared) setBackground(Pixel(info_));
    }
    std::vector<Rectangle> strips;
    std::vector<unsigned char> bytes;

    // The pixel (x, y) of the flushed image, bytesPerPixel samples.
    std::vector<int> pixel(int x, int y) const {
        const size_t at = size_t(y) * size_t(rowStride()) + size_t(x) * info_.bytesPerPixel();
        return std::vector<int>(bytes.begin() + at, bytes.begin() + at + info_.bytesPerPixel());
    }

protected:
    void flushStrip() override {
        strips.push_back(stripRect_);
        const unsigned char* at = stripAddress(0, 0, 0);
        bytes.insert(bytes.end(), at, at + rowStride_ * stripRect_.height());
    }
};

Watermark greyWatermark(int width, int height, unsigned char first) {
    Watermark w;
    w.info = format(GREY, U8);
    w.width = width;
    w.height = height;
    w.rowBytes = width;
    w.pixels.allocate(size_t(width) * size_t(height));
    for (int i = 0; i < width * height; ++i) w.pixels.data()[i] = (unsigned char)(first + i);
    return w;
}

// Runs the strip protocol over a grey float image of constant value.
void decodeConstant(ImageBuffer& buffer, int width, int height, float value) {
    buffer.setImageRect(region(width, height));
    buffer.begin();
    std::vector<float> samples(size_t(width) * 128, value);
    while (buffer.hasStrip()) {
        const Rectangle& s = buffer.currentStrip();
        buffer.writeData(samples.data(), s.width(), s.height(), width * 4, format(GREY, F32), 0, 0, 0);
        buffer.stripDone();
    }
    buffer.end();
}
}  // namespace

TEST(ImageBufferStrips, threeHundredRowsGiveStripsOf128And128And44ThenEnd) {
    registerStandardFactories();
    RecordingBuffer buffer;
    buffer.info().setColorSpace(GREY);
    decodeConstant(buffer, 2, 300, 9.f);
    ASSERT_EQ(buffer.strips.size(), 3u);
    EXPECT_EQ(buffer.strips[0], Rectangle::fromCorners(0, 0, 1, 127));
    EXPECT_EQ(buffer.strips[1], Rectangle::fromCorners(0, 128, 1, 255));
    EXPECT_EQ(buffer.strips[2], Rectangle::fromCorners(0, 256, 1, 299));
    EXPECT_FALSE(buffer.hasStrip());
    EXPECT_EQ(buffer.bytes, std::vector<unsigned char>(600, 9));
    EXPECT_EQ(buffer.size(), 128 * 2);  // one strip of memory
    EXPECT_EQ(buffer.runCount(), 1);
    EXPECT_FALSE(buffer.isActive());
}

TEST(ImageBufferStrips, stripHeightZeroGivesOneStripOverTheWholeImage) {
    registerStandardFactories();
    RecordingBuffer buffer;
    buffer.setStripHeight(0);
    buffer.setImageRect(region(3, 5));
    buffer.begin();
    EXPECT_EQ(buffer.currentStrip(), region(3, 5));
    EXPECT_EQ(buffer.stripStep().dy, 5);
    EXPECT_EQ(buffer.nextStripRect().height(), 0);
    buffer.stripDone();
    EXPECT_FALSE(buffer.hasStrip());
    buffer.end();
    EXPECT_EQ(buffer.bytes.size(), 3u * 5u * 3u);
}

TEST(ImageBufferStrips, everyStripIsClearedToTheConvertedBackground) {
    registerStandardFactories();
    RecordingBuffer buffer;  // background: a zero RGB pixel
    buffer.info().setColorSpace(GREY);
    buffer.setStripHeight(1);
    buffer.setImageRect(region(2, 2));
    buffer.begin();
    EXPECT_EQ(buffer.background().info().colorSpace, GREY);
    const float bright[] = {200.f, 201.f};
    buffer.writeData(bright, 2, 1, 8, format(GREY, F32), 0, 0, 0);
    buffer.stripDone();
    buffer.stripDone();  // nothing written into the second strip
    buffer.end();
    EXPECT_EQ(buffer.bytes, (std::vector<unsigned char>{200, 201, 0, 0}));
}

TEST(ImageBufferWrite, secondWriteOfARunReusesTheFirstTransformer) {
    registerStandardFactories();
    RecordingBuffer buffer;
    buffer.setImageRect(region(1, 2));
    buffer.begin();
    const float yiq[] = {10.f, 0.f, 0.f};
    buffer.writeData(yiq, 1, 1, 12, format(YIQ, F32), 0, 0, 0);
    const float grey[] = {20.f};
    // The YIQ conversion made for the first write refuses a grey source.
    EXPECT_EQ(IMAGING_MESSAGE_OF(buffer.writeData(grey, 1, 1, 4, format(GREY, F32), 0, 1, 0)),
              "YIQtoRGBPixelTransformer: invalid colorspace provided");
    buffer.end();
    // A new run asks the registry again.
    buffer.begin();
    buffer.writeData(grey, 1, 1, 4, format(GREY, F32), 0, 1, 0);
    buffer.stripDone();
    buffer.end();
    EXPECT_EQ(buffer.pixel(0, 1), (std::vector<int>{20, 20, 20}));
    EXPECT_EQ(buffer.runCount(), 2);
}

TEST(ImageBufferWrite, writesAreClippedToTheStripAndRefusedOutsideIt) {
    registerStandardFactories();
    RecordingBuffer buffer;
    buffer.info().setColorSpace(GREY);
    buffer.setStripHeight(2);
    buffer.setImageRect(region(3, 2));
    buffer.begin();
    const float wide[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};  // 5 x 2
    buffer.writeData(wide, 5, 2, 20, format(GREY, F32), 1, 1, 0);
    EXPECT_EQ(IMAGING_MESSAGE_OF(buffer.writeData(wide, 1, 1, 4, format(GREY, F32), 3, 0, 0)),
              "Image buffer write outside the current strip");
    EXPECT_EQ(IMAGING_MESSAGE_OF(buffer.writeData(wide, 1, 1, 4, format(GREY, F32), -1, 0, 0)),
              "Image buffer write outside the current strip");
    buffer.stripDone();
    buffer.end();
    EXPECT_EQ(buffer.bytes, (std::vector<unsigned char>{0, 0, 0, 0, 1, 2}));
}

TEST(ImageBufferWrite, missingConversionAndUnclearableFormatsAreReported) {
    registerStandardFactories();
    RecordingBuffer grey;
    grey.info().setColorSpace(GREY);
    grey.setImageRect(region(1, 1));
    grey.begin();
    const unsigned char cmyk[] = {1, 2, 3, 4};
    EXPECT_EQ(IMAGING_MESSAGE_OF(grey.writeData(cmyk, 1, 1, 4, format(ImageBufferInfo::CMYK, U8), 0, 0, 0)),
              "No transformer registered");

    class IntegerBuffer : public PassThroughImageBuffer {
    public:
        IntegerBuffer() {
            info_.sampleType = ImageBufferInfo::Int32;
            setBackground(Pixel(info_));
        }
    } integers;
    integers.setImageRect(region(1, 1));
    EXPECT_EQ(IMAGING_MESSAGE_OF(integers.begin()), "Invalid properties.");
}

TEST(ImageBufferMemory, wholeImageBufferHandsItsMemoryOverOnce) {
    registerStandardFactories();
    ImageBuffer buffer(format(GREY, U8));
    buffer.setStripHeight(1);
    decodeConstant(buffer, 2, 3, 42.f);
    EXPECT_EQ(buffer.size(), 6);
    unsigned char* taken = buffer.releaseData();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(taken, taken + 6), std::vector<unsigned char>(6, 42));
    EXPECT_FALSE(buffer.ownsData());
    EXPECT_EQ(buffer.releaseData(), nullptr);
    delete[] taken;
}

TEST(ImageBufferMemory, rowsAreAlignedAndSizesNeverWrap) {
    ImageBuffer aligned;
    aligned.info().rowAlignment = 4;
    aligned.setImageRect(region(5, 2));
    aligned.begin();
    EXPECT_EQ(aligned.rowStride(), 16);
    EXPECT_EQ(aligned.size(), 32);
    aligned.end();

    // 2^30 x 2^30 RGB: 128 rows of 3 GiB each would wrap 32-bit arithmetic.
    ScratchFolder folder;
    BIPFileBuffer huge(folder.file("huge.bip"), GeoReference());
    huge.setImageRect(region(1 << 30, 1 << 30));
    EXPECT_EQ(IMAGING_MESSAGE_OF(huge.begin()), "Image buffer too large: cannot allocate its memory");
    EXPECT_EQ(huge.rowStride(), int64_t(3) << 30);
    EXPECT_EQ(readFile(folder.file("huge.hdr")), "");  // nothing was started

    ImageBuffer whole;
    whole.setImageRect(region(100000, 100000));
    EXPECT_EQ(IMAGING_MESSAGE_OF(whole.begin()), "Image buffer too large: cannot allocate its memory");
}

TEST(ImageBufferWatermark, placedAtEachOfTheNinePositions) {
    struct Case {
        int position, x0, y0;
    } cases[] = {{9, 900, 750}, {1, 450, 375}, {5, 450, 0},   {2, 0, 375},   {3, 900, 375},  {4, 0, 0},
                 {6, 900, 0},   {7, 0, 750},   {8, 450, 750}, {0, 900, 750}, {10, 900, 750}, {-3, 900, 750}};
    const Watermark mark = greyWatermark(100, 50, 0);
    for (const Case& c : cases) {
        RecordingBuffer buffer(false);
        buffer.attachWatermark(mark, c.position);
        buffer.setImageRect(region(1000, 800));
        buffer.begin();
        EXPECT_EQ(buffer.watermarkRect(), Rectangle::fromCorners(c.x0, c.y0, c.x0 + 99, c.y0 + 49))
            << "position " << c.position;
        buffer.end();
    }
    EXPECT_EQ(mark.pixels.useCount(), 1);
}

TEST(ImageBufferWatermark, stampAcrossAStripBoundaryIsSeamless) {
    registerStandardFactories();
    RecordingBuffer buffer;
    buffer.attachWatermark(greyWatermark(3, 3, 1), WatermarkCenter);  // (2,2)..(4,4)
    buffer.setStripHeight(4);
    buffer.setImageRect(region(6, 6));
    buffer.begin();
    while (buffer.hasStrip()) buffer.stripDone();
    buffer.end();
    ASSERT_EQ(buffer.strips.size(), 2u);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 2 && x <= 4 && y >= 2 && y <= 4;
            const int v = inside ? 1 + (y - 2) * 3 + (x - 2) : 0;
            EXPECT_EQ(buffer.pixel(x, y), (std::vector<int>{v, v, v})) << x << "," << y;
        }
}

TEST(ImageBufferWatermark, widerThanTheRegionIsClippedOnEitherSide) {
    registerStandardFactories();
    for (int position : {WatermarkTopLeft, WatermarkBottomRight}) {
        RecordingBuffer buffer;
        buffer.info().setColorSpace(GREY);
        buffer.attachWatermark(greyWatermark(6, 1, 1), position);
        buffer.setImageRect(region(4, 2));
        buffer.begin();
        buffer.stripDone();
        buffer.end();
        const std::vector<unsigned char> expected = position == WatermarkTopLeft
                                                        ? std::vector<unsigned char>{1, 2, 3, 4, 0, 0, 0, 0}
                                                        : std::vector<unsigned char>{0, 0, 0, 0, 3, 4, 5, 6};
        EXPECT_EQ(buffer.bytes, expected) << "position " << position;
    }
}

TEST(ImageBufferWatermark, rgbPictureOnGreyOutputIsConvertedToLuminance) {
    registerStandardFactories();
    Watermark mark;
    mark.info = format(RGB, U8);
    mark.width = 2;
    mark.height = 1;
    mark.rowBytes = 6;
    mark.pixels.allocate(6);
    mark.pixels.data()[0] = 255;  // red, then black
    RecordingBuffer buffer;
    buffer.info().setColorSpace(GREY);
    buffer.attachWatermark(mark, WatermarkTopLeft);
    buffer.setImageRect(region(3, 1));
    buffer.begin();
    buffer.stripDone();
    buffer.end();
    EXPECT_EQ(buffer.bytes, (std::vector<unsigned char>{76, 0, 0}));
}

TEST(ImageBufferWatermark, inconsistentPictureIsRefusedAndUnconvertibleIsSkipped) {
    registerStandardFactories();
    Watermark broken = greyWatermark(4, 4, 0);
    broken.height = 8;  // claims more rows than it holds
    RecordingBuffer buffer;
    buffer.attachWatermark(broken, WatermarkTopLeft);
    buffer.setImageRect(region(8, 8));
    buffer.begin();
    EXPECT_EQ(IMAGING_MESSAGE_OF(buffer.stripDone()), "Watermark pixels do not match its size");

    Watermark cmyk = greyWatermark(1, 1, 5);
    cmyk.info = format(ImageBufferInfo::CMYK, U8);
    RecordingBuffer grey;
    grey.info().setColorSpace(GREY);
    grey.attachWatermark(cmyk, WatermarkTopLeft);
    grey.setImageRect(region(1, 1));
    grey.begin();
    grey.stripDone();
    grey.end();
    EXPECT_EQ(grey.bytes, std::vector<unsigned char>{0});
}

TEST(BIPFileBuffer, headerLinesAreExactAndPixelSizesPositive) {
    registerStandardFactories();
    ScratchFolder folder;
    GeoReference geo;
    geo.present = true;
    geo.upperLeftX = 500000.25;
    geo.upperLeftY = 4100000.75;
    geo.xPixelSize = 30;
    geo.yPixelSize = -30;
    {
        BIPFileBuffer buffer(folder.file("region.bip"), geo);
        EXPECT_EQ(buffer.headerFile().str(), folder.file("region.hdr"));
        buffer.setImageRect(region(3, 2));
        buffer.begin();
        buffer.stripDone();
        buffer.end();
    }
    EXPECT_EQ(readFile(folder.file("region.hdr")),
              "BYTEORDER M\nLAYOUT BIP\nNROWS 2\nNCOLS 3\nNBANDS 3\nNBITS 8\n"
              "ULXMAP 500000.250000000000000\nULYMAP 4100000.750000000000000\n"
              "XDIM 30.000000000000000\nYDIM 30.000000000000000\n");
    EXPECT_EQ(readFile(folder.file("region.bip")), std::string(18, '\0'));
}

TEST(BIPFileBuffer, rawBytesOfASmallYiqRegionAreExact) {
    registerStandardFactories();
    ScratchFolder folder;
    // 3 x 2 pixels as Y, I and Q planes.
    const float yiq[] = {100.f, 200.f, 0.f, 255.6f, 50.f, 10.4f,  // Y
                         20.f,  0.f,   0.f, 0.f,    0.f,  0.f,    // I
                         -10.f, 0.f,   0.f, 0.f,    0.f,  0.f};   // Q
    {
        BIPFileBuffer buffer(folder.file("yiq.bip"), GeoReference());
        buffer.setImageRect(region(3, 2));
        buffer.begin();
        buffer.writeData(yiq, 3, 2, 12, planes(YIQ, 3, 2), 0, 0, 0);
        buffer.stripDone();
        EXPECT_FALSE(buffer.hasStrip());
        buffer.end();
    }
    const unsigned char expected[] = {113, 100, 61,  200, 200, 200, 0,  0,  0,
                                      255, 255, 255, 50,  50,  50,  10, 10, 10};
    EXPECT_EQ(readFile(folder.file("yiq.bip")), std::string((const char*)expected, sizeof expected));
}

TEST(BIPFileBuffer, singlePixelRegionWritesOneGreySampleAndOneByOneHeader) {
    registerStandardFactories();
    ScratchFolder folder;
    {
        BIPFileBuffer buffer(folder.file("one.bip"), GeoReference());
        buffer.info().setColorSpace(GREY);
        buffer.setStripHeight(128);
        decodeConstant(buffer, 1, 1, 77.f);
    }
    EXPECT_EQ(readFile(folder.file("one.bip")), std::string(1, char(77)));
    const std::string header = readFile(folder.file("one.hdr"));
    EXPECT_NE(header.find("NROWS 1\nNCOLS 1\nNBANDS 1\nNBITS 8\n"), std::string::npos) << header;
}

TEST(BIPFileBuffer, unwritableFilesAreReportedWithTheirMessages) {
    registerStandardFactories();
    BIPFileBuffer header("/nonexistent-wx-folder/x.bip", GeoReference());
    EXPECT_FALSE(header.isOpen());
    header.setImageRect(region(1, 1));
    EXPECT_EQ(IMAGING_MESSAGE_OF(header.begin()),
              "Could not open file /nonexistent-wx-folder/x.hdr for writing.");

    FileImageBuffer data("/nonexistent-wx-folder/x.bip");
    data.setImageRect(region(1, 1));
    data.begin();
    EXPECT_EQ(IMAGING_MESSAGE_OF(data.stripDone()), "FileImageBuffer flush error - output file is NULL");
}

TEST(BIPFileBuffer, standardGisReaderSeesSizeBandsAndUpperLeft) {
    if (std::system("command -v gdalinfo > /dev/null 2>&1") != 0) GTEST_SKIP() << "gdalinfo is not installed";
    registerStandardFactories();
    ScratchFolder folder;
    GeoReference geo;
    geo.present = true;
    geo.upperLeftX = 500015;  // centre of the upper-left pixel
    geo.upperLeftY = 4100015;
    geo.xPixelSize = 30;
    geo.yPixelSize = -30;
    {
        BIPFileBuffer buffer(folder.file("gis.bip"), geo);
        buffer.setImageRect(region(5, 4));
        buffer.begin();
        while (buffer.hasStrip()) buffer.stripDone();
        buffer.end();
    }
    const std::string command = "gdalinfo '" + folder.file("gis.bip") + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string listing;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) listing.append(chunk, n);
    pclose(pipe);
    EXPECT_NE(listing.find("Size is 5, 4"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Band 3 "), std::string::npos) << listing;
    EXPECT_EQ(listing.find("Band 4 "), std::string::npos) << listing;
    EXPECT_NE(listing.find("Origin = (500000.000000000000000,4100030.000000000000000)"), std::string::npos)
        << listing;
}
