// Placement and stamping of watermarks over strips written to a raw file,
// checked pixel by pixel against a model of the expected picture.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "WatermarkTestFiles.h"
#include "imaging/pixels/BIPFileBuffer.h"
#include "imaging/transform/TransformerRegistry.h"
#include "imaging/watermark/JpegWatermark.h"

using namespace Lumetra;

namespace {

const unsigned char kImageValue = 7;

// A watermark whose samples differ from pixel to pixel and from the image.
Watermark makeWatermark(int width, int height, int colorSpace) {
    Watermark w;
    w.info.setColorSpace(colorSpace);
    w.width = width;
    w.height = height;
    w.rowBytes = width * w.info.samplesPerPixel;
    w.pixels.allocate(static_cast<size_t>(w.rowBytes) * height);
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < w.rowBytes; ++i)
            w.pixels.data()[y * w.rowBytes + i] = static_cast<unsigned char>(100 + (y * 7 + i * 3) % 150);
    return w;
}

struct StampRun {
    int width, height;       // region
    int colorSpace;          // buffer's colour space
    const Watermark* watermark;
    int position;
};

struct Result {
    Rectangle watermarkRect;
    std::vector<unsigned char> pixels;  // the raw file
};

// Writes a region of constant samples through a BIP file buffer with
// 128-row strips and returns the raw file.
Result runBuffer(const StampRun& run) {
    static bool registered = (registerStandardFactories(), true);
    (void)registered;
    wmtest::ScratchFolder dir;
    Result result;
    {
        BIPFileBuffer buffer(FileSpecification(dir.file("out.bip")), GeoReference());
        buffer.info().setColorSpace(run.colorSpace);
        if (run.watermark) buffer.attachWatermark(*run.watermark, run.position);
        buffer.setStripHeight(128);
        buffer.setImageRect(Rectangle(Point(0, 0, 0), Point(run.width - 1, run.height - 1, 0)));
        ImageBufferInfo sourceInfo;
        sourceInfo.setColorSpace(run.colorSpace);
        const int sourceRowBytes = run.width * sourceInfo.samplesPerPixel;
        std::vector<unsigned char> rows(static_cast<size_t>(sourceRowBytes) * 128, kImageValue);
        buffer.begin();
        while (buffer.hasStrip()) {
            buffer.writeData(rows.data(), run.width, buffer.currentStrip().height(), sourceRowBytes, sourceInfo, 0, 0, 0);
            buffer.stripDone();
        }
        buffer.end();
        result.watermarkRect = buffer.watermarkRect();
    }
    result.pixels = wmtest::readBytes(dir.file("out.bip"));
    return result;
}

// The watermark sample for band b of its pixel (x, y), converted to the
// buffer's colour space.
int convertedSample(const Watermark& w, int x, int y, int b, int colorSpace) {
    const unsigned char* p = w.pixels.data() + y * w.rowBytes + x * w.info.samplesPerPixel;
    if (w.info.colorSpace == colorSpace) return p[b];
    if (colorSpace == ImageBufferInfo::RGB) return p[0];  // grey on RGB
    return static_cast<int>(0.3 * p[0] + 0.6 * p[1] + 0.1 * p[2]);  // RGB on grey
}

// Counts samples differing from the model: the watermark at `rect`
// (clipped to the region) over the constant image.
int mismatches(const StampRun& run, const Result& result, const Rectangle& rect) {
    const int bands = run.colorSpace == ImageBufferInfo::RGB ? 3 : 1;
    EXPECT_EQ(static_cast<size_t>(run.width) * run.height * bands, result.pixels.size());
    if (result.pixels.size() != static_cast<size_t>(run.width) * run.height * bands) return -1;
    int bad = 0;
    for (int y = 0; y < run.height; ++y)
        for (int x = 0; x < run.width; ++x)
            for (int b = 0; b < bands; ++b) {
                int expected = kImageValue;
                if (run.watermark && rect.contains(x, y))
                    expected = convertedSample(*run.watermark, x - rect.x0(), y - rect.y0(), b, run.colorSpace);
                if (result.pixels[(static_cast<size_t>(y) * run.width + x) * bands + b] != expected) ++bad;
            }
    return bad;
}

Rectangle rect(int x0, int y0, int x1, int y1) { return Rectangle(Point(x0, y0, 0), Point(x1, y1, 0)); }

}  // namespace

TEST(WatermarkStamp, positionsPlaceTheWatermarkWhereTheTableSays) {
    Watermark w = makeWatermark(100, 50, ImageBufferInfo::RGB);
    struct Case { int position; Rectangle expected; } cases[] = {
        {1, rect(450, 375, 549, 424)}, {2, rect(0, 375, 99, 424)},   {3, rect(900, 375, 999, 424)},
        {4, rect(0, 0, 99, 49)},       {5, rect(450, 0, 549, 49)},   {6, rect(900, 0, 999, 49)},
        {7, rect(0, 750, 99, 799)},    {8, rect(450, 750, 549, 799)}, {9, rect(900, 750, 999, 799)},
        // Codes outside 1..9 behave as 9.
        {0, rect(900, 750, 999, 799)}, {10, rect(900, 750, 999, 799)}, {-3, rect(900, 750, 999, 799)},
    };
    for (const auto& c : cases) {
        StampRun run{1000, 800, ImageBufferInfo::RGB, &w, c.position};
        Result result = runBuffer(run);
        EXPECT_EQ(c.expected, result.watermarkRect) << "position " << c.position;
        EXPECT_EQ(0, mismatches(run, result, c.expected)) << "position " << c.position;
    }
}

TEST(WatermarkStamp, watermarkCrossingStripBoundariesIsStampedWithoutSeams) {
    // 100 x 300 centred on 1000 x 700: rows 200..499 span strips 1 to 3,
    // with both strip boundaries (256, 384) inside it.
    Watermark w = makeWatermark(100, 300, ImageBufferInfo::RGB);
    StampRun run{1000, 700, ImageBufferInfo::RGB, &w, 1};
    Result result = runBuffer(run);
    EXPECT_EQ(rect(450, 200, 549, 499), result.watermarkRect);
    EXPECT_EQ(0, mismatches(run, result, result.watermarkRect));
}

TEST(WatermarkStamp, watermarkLargerThanTheRegionIsClipped) {
    Watermark w = makeWatermark(400, 60, ImageBufferInfo::RGB);
    // Top left: only the watermark's left 300 columns fit.
    StampRun left{300, 200, ImageBufferInfo::RGB, &w, 4};
    Result result = runBuffer(left);
    EXPECT_EQ(rect(0, 0, 399, 59), result.watermarkRect);
    EXPECT_EQ(0, mismatches(left, result, result.watermarkRect));
    // Bottom right starts at a negative column: only its right part shows.
    StampRun right{300, 200, ImageBufferInfo::RGB, &w, 9};
    result = runBuffer(right);
    EXPECT_EQ(rect(-100, 140, 299, 199), result.watermarkRect);
    EXPECT_EQ(0, mismatches(right, result, result.watermarkRect));
    // Taller than the region as well, at the centre: clipped on all sides.
    Watermark tall = makeWatermark(400, 300, ImageBufferInfo::Grayscale);
    StampRun centre{300, 200, ImageBufferInfo::Grayscale, &tall, 1};
    result = runBuffer(centre);
    EXPECT_EQ(rect(-50, -50, 349, 249), result.watermarkRect);
    EXPECT_EQ(0, mismatches(centre, result, result.watermarkRect));
}

TEST(WatermarkStamp, watermarkIsConvertedToTheBuffersColourSpace) {
    Watermark grey = makeWatermark(40, 30, ImageBufferInfo::Grayscale);
    StampRun greyOnRgb{200, 150, ImageBufferInfo::RGB, &grey, 5};
    Result result = runBuffer(greyOnRgb);
    EXPECT_EQ(0, mismatches(greyOnRgb, result, result.watermarkRect));

    // Colours whose grey value has a fraction, so truncation shows.
    Watermark rgb = makeWatermark(3, 1, ImageBufferInfo::RGB);
    const unsigned char colours[9] = {255, 0, 0, 0, 0, 255, 201, 100, 50};
    std::memcpy(rgb.pixels.data(), colours, sizeof colours);
    StampRun rgbOnGrey{10, 10, ImageBufferInfo::Grayscale, &rgb, 4};
    result = runBuffer(rgbOnGrey);
    ASSERT_EQ(100u, result.pixels.size());
    EXPECT_EQ(76, result.pixels[0]);
    EXPECT_EQ(25, result.pixels[1]);
    EXPECT_EQ(125, result.pixels[2]);
    EXPECT_EQ(kImageValue, result.pixels[3]);
}

TEST(WatermarkStamp, emptyWatermarkLeavesTheImageAlone) {
    Watermark empty;
    StampRun run{64, 200, ImageBufferInfo::RGB, &empty, 1};
    Result result = runBuffer(run);
    EXPECT_EQ(0, mismatches(StampRun{64, 200, ImageBufferInfo::RGB, nullptr, 1}, result, Rectangle()));
}

TEST(WatermarkStamp, loadedJpegIsStampedInEitherColourSpace) {
    // A loaded picture's format must be one the registry converts, or the
    // stamp would silently be left out.
    wmtest::ScratchFolder dir;
    for (int components : {1, 3}) {
        std::string path = dir.file("mark.jpg");
        wmtest::writeJpeg(path, 30, 20, components, [](int x, int y, int c) {
            return static_cast<unsigned char>(60 + x * 4 + y * 2 + c * 9);
        });
        JpegWatermark mark{FileSpecification(path)};
        for (int colorSpace : {ImageBufferInfo::Grayscale, ImageBufferInfo::RGB}) {
            StampRun run{100, 90, colorSpace, &mark, 1};
            Result result = runBuffer(run);
            EXPECT_EQ(rect(35, 35, 64, 54), result.watermarkRect);
            EXPECT_EQ(0, mismatches(run, result, result.watermarkRect))
                << components << " components on colour space " << colorSpace;
        }
    }
}
