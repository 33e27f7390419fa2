// The public API as a host program sees it: this program links the public
// library target only and includes nothing but include/wavra/.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/Conformance.h"
#include "support/ScratchDir.h"
#include "wavra/wavra.h"

namespace {

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string conformanceFile(const std::string& name) { return testsupport::conformanceDir() + name; }

// A binary PNM's pixels (P5 or P6, maximum 255, no comments).
std::vector<uint8_t> pnmPixels(const std::string& path, int& width, int& height) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    in >> magic >> width >> height >> maximum;
    in.get();
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * (magic == "P6" ? 3 : 1));
    in.read(reinterpret_cast<char*>(pixels.data()), std::streamsize(pixels.size()));
    return in ? pixels : std::vector<uint8_t>();
}

std::string tagValue(const wavra::ImageInfo& info, const std::string& name) {
    for (const wavra::Tag& tag : info.tags)
        if (tag.name == name) return tag.value;
    return "<absent>";
}

// The whole image at `scale`, tightly packed.
std::vector<uint8_t> wholeImage(const wavra::Reader& reader, int scale, wavra::SampleLayout layout) {
    const auto size = wavra::sizeAtScale(reader.info().width, reader.info().height, scale);
    const size_t rowBytes = size_t(size.first) * size_t(reader.bandsFor(layout));
    std::vector<uint8_t> pixels(rowBytes * size_t(size.second));
    reader.read(scale, {0, 0, size.first, size.second}, pixels.data(), rowBytes, layout);
    return pixels;
}

// An RGB picture computed on request: smooth ramps with a sharp-edged square.
class RampSource : public wavra::PixelSource {
public:
    RampSource(int32_t width, int32_t height) : width_(width), height_(height) {}

    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }
    wavra::ColorSpace colorSpace() const override { return wavra::ColorSpace::RGB; }
    void readRows(int32_t firstRow, int32_t count, uint8_t* buffer, size_t rowStride) override {
        inOrder = inOrder && firstRow == rowsRead;
        rowsRead = firstRow + count;
        largestRequest = std::max(largestRequest, count);
        for (int32_t r = 0; r < count; ++r)
            for (int32_t x = 0; x < width_; ++x)
                for (int b = 0; b < 3; ++b)
                    buffer[size_t(r) * rowStride + size_t(x) * 3 + size_t(b)] = sample(x, firstRow + r, b);
    }
    static uint8_t sample(int32_t x, int32_t y, int b) {
        const bool square = x >= 40 && x < 90 && y >= 30 && y < 80;
        return uint8_t(square ? 230 - 60 * b : (x * (b + 1) + 2 * y) % 200 / 2 + 30);
    }

    int32_t largestRequest = 0;
    int32_t rowsRead = 0;
    bool inOrder = true;

protected:
    int32_t width_, height_;
};

// The same picture, served window by window as the encoder asks.
class RampWindows : public RampSource {
public:
    using RampSource::RampSource;
    bool readWindow(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t* buffer, size_t rowStride) override {
        inside = inside && x >= 0 && y >= 0 && w >= 1 && h >= 1 && x + w <= width_ && y + h <= height_;
        for (int32_t r = 0; r < h; ++r)
            for (int32_t c = 0; c < w; ++c)
                for (int b = 0; b < 3; ++b)
                    buffer[size_t(r) * rowStride + size_t(c) * 3 + size_t(b)] = sample(x + c, y + r, b);
        return true;
    }
    bool inside = true;
};

}  // namespace

TEST(WavraApi, memorySourceGivesTheFactsOfTheFile) {
    const std::vector<uint8_t> bytes = fileBytes(conformanceFile("c05_earth_georef.wvr"));
    ASSERT_FALSE(bytes.empty());
    const wavra::Reader reader = wavra::Reader::open(conformanceFile("c05_earth_georef.wvr"));
    const wavra::ImageInfo& info = reader.info();
    // The facts the listing of the independent implementation gives.
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_EQ(info.bands, 3);
    EXPECT_EQ(info.levels, 4);
    EXPECT_EQ(info.version, (std::array<uint8_t, 3>{1, 0, 1}));
    EXPECT_EQ(info.colorSpace, wavra::ColorSpace::RGB);
    EXPECT_EQ(tagValue(info, "IMAGE::WIDTH"), "320");
    // The same file opened by path tells the same georeferencing.
    const wavra::GeoReference byPath =
        wavra::Reader::open(conformanceFile("c05_earth_georef.wvr")).info().geo;
    EXPECT_TRUE(info.geo.present);
    EXPECT_LT(info.geo.yPixelSize, 0.0);
    EXPECT_EQ(info.geo.xPixelSize, byPath.xPixelSize);
    EXPECT_EQ(info.geo.upperLeftX, byPath.upperLeftX);
    EXPECT_EQ(info.geo.upperLeftY, byPath.upperLeftY);
}

TEST(WavraApi, windowsEqualCutsOfTheWholeImageAtEveryScale) {
    for (const std::string name : {"c06_cmyk", "c03_rgb_blocks"}) {
        const wavra::Reader reader = wavra::Reader::open(conformanceFile(name + ".wvr"));
        const int bands = reader.bandsFor(wavra::SampleLayout::Native);
        for (int scale = 0; scale <= reader.info().levels; ++scale) {
            const auto size = wavra::sizeAtScale(reader.info().width, reader.info().height, scale);
            const int32_t w = size.first, h = size.second;
            const std::vector<uint8_t> whole = wholeImage(reader, scale, wavra::SampleLayout::Native);
            // Inside, across every edge, beyond the image, and one pixel.
            const wavra::Window windows[] = {{w / 4, h / 3, w / 2, h / 2},
                                             {-5, -3, w + 11, h + 7},
                                             {w - 2, h - 1, 9, 140},
                                             {w + 3, -20, 4, 4},
                                             {w / 2, h / 2, 1, 1}};
            for (const wavra::Window& win : windows) {
                SCOPED_TRACE(name + " scale " + std::to_string(scale) + " window " + std::to_string(win.x) +
                             "," + std::to_string(win.y) + " " + std::to_string(win.width) + "x" +
                             std::to_string(win.height));
                // Rows padded by 5 bytes that the decode must not touch.
                const size_t stride = size_t(win.width) * size_t(bands) + 5;
                std::vector<uint8_t> got(stride * size_t(win.height), 0xA5);
                reader.read(scale, win, got.data(), stride);
                size_t wrong = 0;
                for (int32_t y = 0; y < win.height; ++y)
                    for (int32_t x = 0; x < win.width; ++x)
                        for (int b = 0; b < bands; ++b) {
                            const int32_t ix = win.x + x, iy = win.y + y;
                            const bool inside = ix >= 0 && iy >= 0 && ix < w && iy < h;
                            const uint8_t want =
                                inside
                                    ? whole[(size_t(iy) * size_t(w) + size_t(ix)) * size_t(bands) + size_t(b)]
                                    : 0;
                            wrong += got[size_t(y) * stride + size_t(x) * size_t(bands) + size_t(b)] != want;
                        }
                EXPECT_EQ(wrong, 0u);
                for (int32_t y = 0; y < win.height; ++y)
                    for (size_t p = stride - 5; p < stride; ++p) wrong += got[size_t(y) * stride + p] != 0xA5;
                EXPECT_EQ(wrong, 0u) << "padding written";
            }
        }
    }
}

TEST(WavraApi, nativeCmykSamplesAreCyanMagentaYellowBlack) {
    const wavra::Reader reader = wavra::Reader::open(conformanceFile("c06_cmyk.wvr"));
    ASSERT_EQ(reader.bandsFor(wavra::SampleLayout::Native), 4);
    ASSERT_EQ(reader.bandsFor(wavra::SampleLayout::GreyOrRGB), 3);
    int w = 0, h = 0;
    const std::vector<uint8_t> reference = pnmPixels(conformanceFile("c06_cmyk.s1.ppm"), w, h);
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(wholeImage(reader, 1, wavra::SampleLayout::GreyOrRGB).size(), reference.size());
    // Converted to RGB by the inks' formula, the native samples give the
    // reference decode of the independent implementation.
    const std::vector<uint8_t> cmyk = wholeImage(reader, 1, wavra::SampleLayout::Native);
    ASSERT_EQ(cmyk.size() / 4, reference.size() / 3);
    int worst = 0;
    for (size_t p = 0; p < reference.size() / 3; ++p) {
        const float k = cmyk[4 * p + 3], t = 1.0f - k / 255.0f;
        for (int i = 0; i < 3; ++i) {
            const float c = cmyk[4 * p + size_t(i)];
            const float rgb = ((255.0f - (k + c) * 0.5f) + (255.0f - (k + t * c))) * 0.5f;
            worst = std::max(worst, int(std::abs(rgb - float(reference[3 * p + size_t(i)]))));
        }
    }
    EXPECT_LE(worst, 3);
}

TEST(WavraApi, encodedRowSourceReadsBackWithItsGeoreferenceAndTags) {
    testsupport::ScratchDir dir("wx_api");
    RampSource source(640, 600);
    wavra::GeoReference geo;
    geo.present = true;
    geo.xPixelSize = 2.5;
    geo.yRotation = 0.125;
    geo.xRotation = -0.25;
    geo.yPixelSize = -2.5;
    geo.upperLeftX = 1000.5;
    geo.upperLeftY = 5000.25;
    wavra::EncodeParameters parameters;
    parameters.levels = 3;
    parameters.blockSize = 128;
    parameters.temporaryFolder = dir.path();
    const std::vector<wavra::Tag> tags = {{"HOST::ORIGIN", "a test, twice"}, {"IMAGE::WIDTH", "999"}};
    const std::string output = dir.file("ramp.wvr");
    wavra::encode(source, parameters, geo, tags, output);
    // Read once, top to bottom, in bands of rows: never the whole picture at once.
    EXPECT_TRUE(source.inOrder);
    EXPECT_EQ(source.rowsRead, source.height());
    EXPECT_LT(source.largestRequest, source.height());
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"ramp.wvr", "ramp.wvw"}));

    // From memory, so that the metadata alone carries the georeferencing.
    const std::vector<uint8_t> bytes = fileBytes(output);
    const wavra::Reader reader = wavra::Reader::open(wavra::memorySource(bytes.data(), bytes.size()));
    const wavra::ImageInfo& info = reader.info();
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 600);
    EXPECT_EQ(info.levels, 3);
    EXPECT_EQ(info.colorSpace, wavra::ColorSpace::RGB);
    EXPECT_EQ(tagValue(info, "HOST::ORIGIN"), "a test, twice");
    EXPECT_EQ(tagValue(info, "IMAGE::WIDTH"), "640");
    const wavra::GeoReference& g = info.geo;
    EXPECT_TRUE(g.present);
    EXPECT_EQ(std::vector<double>(
                  {g.xPixelSize, g.yRotation, g.xRotation, g.yPixelSize, g.upperLeftX, g.upperLeftY}),
              std::vector<double>({2.5, 0.125, -0.25, -2.5, 1000.5, 5000.25}));
    // Beside the file, the world file says the same.
    EXPECT_EQ(wavra::Reader::open(output).info().geo.xRotation, -0.25);

    // The same pixels as a raw file code the same coefficients.
    std::vector<uint8_t> raw(size_t(640) * 600 * 3);
    source.readRows(0, 600, raw.data(), 640 * 3);
    std::ofstream(dir.file("ramp.bip"), std::ios::binary)
        .write(reinterpret_cast<const char*>(raw.data()), std::streamsize(raw.size()));
    std::ofstream(dir.file("ramp.hdr")) << "NROWS 600\nNCOLS 640\nNBANDS 3\nLAYOUT BIP\n";
    wavra::encodeRawFile(dir.file("ramp.bip"), parameters, dir.file("raw.wvr"));
    const wavra::Reader fromRaw = wavra::Reader::open(dir.file("raw.wvr"));
    for (int scale = 0; scale <= 3; ++scale)
        EXPECT_TRUE(wholeImage(reader, scale, wavra::SampleLayout::Native) ==
                    wholeImage(fromRaw, scale, wavra::SampleLayout::Native))
            << "scale " << scale;

    // Served window by window: no copy of the picture, the same file.
    RampWindows windows(640, 600);
    wavra::encode(windows, parameters, geo, tags, dir.file("windows.wvr"));
    EXPECT_TRUE(windows.inside);
    EXPECT_EQ(windows.rowsRead, 0);
    const wavra::Reader fromWindows = wavra::Reader::open(dir.file("windows.wvr"));
    for (int scale = 0; scale <= 3; ++scale)
        EXPECT_TRUE(wholeImage(reader, scale, wavra::SampleLayout::Native) ==
                    wholeImage(fromWindows, scale, wavra::SampleLayout::Native))
            << "scale " << scale;
}

TEST(WavraApi, cancelFromTheProgressLeavesNoFileBehind) {
    testsupport::ScratchDir dir("wx_api");
    RampSource source(520, 520);
    wavra::EncodeParameters parameters;
    parameters.levels = 6;  // two passes, with a thumbnail among the temporaries
    parameters.blockSize = 1024;
    parameters.temporaryFolder = dir.path();
    const std::string output = dir.file("cancelled.wvr");
    const std::vector<wavra::Tag> none;
    // While the rows are copied, in the analysis, while the file is written,
    // and at the very end.
    for (const double stopAt : {0.05, 0.5, 0.95, 1.0}) {
        SCOPED_TRACE(stopAt);
        const wavra::Progress stop = [stopAt](double fraction) { return fraction < stopAt; };
        try {
            wavra::encode(source, parameters, wavra::GeoReference(), none, output, stop);
            ADD_FAILURE() << "not cancelled";
        } catch (const wavra::Error& e) {
            EXPECT_STREQ(e.what(), "Program interrupt encountered");
        }
        EXPECT_EQ(dir.entries(), std::vector<std::string>());
    }
    // A decode stops the same way.
    wavra::encode(source, parameters, wavra::GeoReference(), none, output);
    const wavra::Reader reader = wavra::Reader::open(output);
    std::vector<uint8_t> pixels(520 * 520 * 3);
    EXPECT_THROW(reader.read(0, {0, 0, 520, 520}, pixels.data(), 520 * 3, wavra::SampleLayout::Native,
                             [](double fraction) { return fraction < 0.5; }),
                 wavra::Error);
}

TEST(WavraApi, failuresAreStandardExceptionsWithTheMessageText) {
    try {
        wavra::Reader::open(testsupport::conformanceDir() + "missing.wvr");
        ADD_FAILURE() << "opened";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "File: " + testsupport::conformanceDir() + "missing.wvr could not be opened.");
    }
    const wavra::Reader reader = wavra::Reader::open(conformanceFile("c01_grey.wvr"));
    uint8_t pixel = 0;
    try {
        reader.read(reader.info().levels + 1, {0, 0, 1, 1}, &pixel, 1);
        ADD_FAILURE() << "read";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Error: incompatible scale parameter input for image synthesis.\n scale is less than 0 or "
                  "greater than nlev\n");
    }
}

TEST(WavraApi, decodesWithThreadsEqualTheSingleThreadedOnes) {
    for (const std::string name : {"c01_grey", "c03_rgb_blocks", "c10_fine"}) {
        wavra::Reader reader = wavra::Reader::open(conformanceFile(name + ".wvr"));
        const int bands = reader.bandsFor(wavra::SampleLayout::Native);
        const int32_t w = reader.info().width, h = reader.info().height;
        const wavra::Window region{w / 5, h / 7, w / 2 + 3, h / 2 + 1};
        const auto decodeWith = [&](int threads, int scale, const wavra::Window& win) {
            reader.setThreads(threads);
            const size_t stride = size_t(win.width) * size_t(bands);
            std::vector<uint8_t> pixels(stride * size_t(win.height));
            reader.read(scale, win, pixels.data(), stride);
            return pixels;
        };
        const std::vector<uint8_t> whole = decodeWith(1, 0, {0, 0, w, h});
        const std::vector<uint8_t> part = decodeWith(1, 1, region);
        for (int threads : {2, 8}) {
            SCOPED_TRACE(name + " with " + std::to_string(threads) + " threads");
            EXPECT_TRUE(decodeWith(threads, 0, {0, 0, w, h}) == whole);
            EXPECT_TRUE(decodeWith(threads, 1, region) == part);
        }
    }
}

// Wide enough for four column slices, which run strips apart from each other.
TEST(WavraApi, slicesRunningApartGiveTheSameRowsAndStopTogether) {
    testsupport::ScratchDir dir("wx_api");
    RampSource source(2100, 300);
    wavra::encode(source, wavra::EncodeParameters(), wavra::GeoReference(), {}, dir.file("wide.wvr"));
    wavra::Reader reader = wavra::Reader::open(dir.file("wide.wvr"));
    reader.setThreads(1);
    const std::vector<uint8_t> single = wholeImage(reader, 0, wavra::SampleLayout::Native);
    reader.setThreads(8);
    EXPECT_TRUE(wholeImage(reader, 0, wavra::SampleLayout::Native) == single);

    const wavra::Region whole{false, 0, 0, 0, 0, 0, true};
    std::vector<uint8_t> rows;
    reader.readRegion(whole, [&](const uint8_t* at, int count, size_t rowBytes) {
        rows.insert(rows.end(), at, at + size_t(count) * rowBytes);
    });
    EXPECT_TRUE(rows == single);

    // A cancel on the calling thread and a sink that fails both end the
    // decode on every thread.
    std::vector<uint8_t> pixels(single.size());
    EXPECT_THROW(reader.read(0, {0, 0, 2100, 300}, pixels.data(), 2100 * 3, wavra::SampleLayout::Native,
                             [](double fraction) { return fraction < 0.3; }),
                 wavra::Error);
    int calls = 0;
    try {
        reader.readRegion(whole, [&](const uint8_t*, int, size_t) {
            if (++calls == 3) throw std::runtime_error("sink full");
        });
        ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "sink full");
    }
    EXPECT_EQ(calls, 3);
}
