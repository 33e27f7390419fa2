// Band-interleaved raw images: construction checks, extraction by layout,
// metadata, listing, world file, grid alignment and compatibility.

#include <gtest/gtest.h>

#include <memory>

#include "RawImageScratch.h"
#include "encoder/rawimage/BBBImage.h"
#include "encoder/rawimage/PixelData.h"

namespace {

constexpr int kW = 5, kH = 4;

// Sample of band b at column x, row y of the test picture.
unsigned char sample(int b, int x, int y) { return static_cast<unsigned char>(100 * b + 10 * y + x); }

std::vector<unsigned char> picture(const std::string& layout, int bands = 3) {
    std::vector<unsigned char> out;
    if (layout == "BIP") {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                for (int b = 0; b < bands; ++b) out.push_back(sample(b, x, y));
    } else if (layout == "BIL") {
        for (int y = 0; y < kH; ++y)
            for (int b = 0; b < bands; ++b)
                for (int x = 0; x < kW; ++x) out.push_back(sample(b, x, y));
    } else {
        for (int b = 0; b < bands; ++b)
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) out.push_back(sample(b, x, y));
    }
    return out;
}

std::string header(const std::string& layout, int bands = 3, const std::string& extra = "") {
    return "BYTEORDER M\nLAYOUT " + layout + "\nNROWS 4\nNCOLS 5\nNBANDS " + std::to_string(bands) + "\n" +
           extra;
}

// Plane b, column x, row y of a block whose rectangle starts at (x0, y0).
int at(const PixelData& p, int b, int x, int y) {
    return p.bytes()[size_t(b) * p.planeSize() + size_t(y) * p.width() + x];
}

class BBBImageTest : public ::testing::Test {
protected:
    std::string raw(const std::string& layout, int bands = 3, const std::string& extra = "") {
        return scratch.rawImage("img" + layout, header(layout, bands, extra), picture(layout, bands));
    }
    RawImageScratch scratch;
};

TEST_F(BBBImageTest, everyLayoutGivesTheSamePlanes) {
    for (const char* layout : {"BIP", "BIL", "BSQ"}) {
        SCOPED_TRACE(layout);
        BBBImage image(raw(layout));
        EXPECT_EQ(image.bands(), 3);
        EXPECT_EQ(image.codedBands(), 3);
        EXPECT_EQ(image.colorScheme(), kSchemeRGB);
        EXPECT_EQ(image.dataType(), kImageUInt8);

        const int whole[2][2] = {{0, kW - 1}, {0, kH - 1}};
        const std::unique_ptr<PixelData> p = image.extract(whole);
        ASSERT_EQ(p->sampleType(), PixelData::kUInt8);
        EXPECT_EQ(p->colour(), 1);
        EXPECT_EQ(p->bands(), 3);
        for (int b = 0; b < 3; ++b)
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) ASSERT_EQ(at(*p, b, x, y), sample(b, x, y)) << b << x << y;

        const int inner[2][2] = {{1, 3}, {2, 2}};
        const std::unique_ptr<PixelData> q = image.extract(inner);
        ASSERT_EQ(q->width(), 3);
        ASSERT_EQ(q->height(), 1);
        for (int b = 0; b < 3; ++b)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(at(*q, b, x, 0), sample(b, x + 1, 2));
    }
}

TEST_F(BBBImageTest, skipBytesAreHonouredAndGreyImagesHaveOnePlane) {
    std::vector<unsigned char> bytes = {9, 9, 9, 9, 9, 9, 9};
    const std::vector<unsigned char> grey = picture("BIP", 1);
    bytes.insert(bytes.end(), grey.begin(), grey.end());
    BBBImage image(scratch.rawImage("grey", header("BIP", 1, "SKIPBYTES 7\n"), bytes));
    EXPECT_EQ(image.colorScheme(), kSchemeGrayscale);
    const int rect[2][2] = {{2, 4}, {1, 3}};
    const std::unique_ptr<PixelData> p = image.extract(rect);
    EXPECT_EQ(p->colour(), 0);
    EXPECT_EQ(p->bands(), 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(at(*p, 0, x, y), sample(0, x + 2, y + 1));
}

TEST_F(BBBImageTest, samplesOutsideTheSupportKeepTheNoDataValue) {
    const unsigned char noData[3] = {11, 22, 33};
    for (const char* layout : {"BIP", "BIL", "BSQ"}) {
        SCOPED_TRACE(layout);
        BBBImage image(raw(layout), noData);
        const int partly[2][2] = {{-2, 2}, {2, 5}};
        const std::unique_ptr<PixelData> p = image.extract(partly);
        ASSERT_EQ(p->width(), 5);
        ASSERT_EQ(p->height(), 4);
        for (int b = 0; b < 3; ++b)
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 5; ++x) {
                    const bool inside = x >= 2 && y <= 1;
                    ASSERT_EQ(at(*p, b, x, y), inside ? sample(b, x - 2, y + 2) : noData[b]) << b << x << y;
                }

        const int outside[2][2] = {{kW, kW + 3}, {0, 1}};
        const std::unique_ptr<PixelData> q = image.extract(outside);
        for (int b = 0; b < 3; ++b)
            for (size_t i = 0; i < q->planeSize(); ++i)
                ASSERT_EQ(q->bytes()[b * q->planeSize() + i], noData[b]);
    }
    // Without a no-data value the fill is zero.
    BBBImage plain(raw("BIP"));
    const int outside[2][2] = {{-3, -1}, {-3, -1}};
    const std::unique_ptr<PixelData> z = plain.extract(outside);
    for (size_t i = 0; i < 3 * z->planeSize(); ++i) ASSERT_EQ(z->bytes()[i], 0);
}

TEST_F(BBBImageTest, transparentPixelsAreLeftAtNoDataInEveryPlane) {
    // Pixel (1, 1) holds the transparent value; (2, 1) matches it in two
    // bands only and must be written.
    const unsigned char noData[3] = {1, 2, 3};
    const unsigned char clear[3] = {sample(0, 1, 1), sample(1, 1, 1), sample(2, 1, 1)};
    for (const char* layout : {"BIP", "BIL", "BSQ"}) {
        SCOPED_TRACE(layout);
        std::vector<unsigned char> bytes = picture(layout);
        const size_t bandStride = std::string(layout) == "BIP"   ? 1
                                  : std::string(layout) == "BIL" ? kW
                                                                 : kW * kH;
        const size_t pixelStride = std::string(layout) == "BIP" ? 3 : 1;
        const size_t rowStride = std::string(layout) == "BSQ" ? kW : kW * 3;
        for (int b = 0; b < 2; ++b) bytes[b * bandStride + 1 * rowStride + 2 * pixelStride] = clear[b];
        BBBImage image(scratch.rawImage(std::string("t") + layout, header(layout), bytes), noData, clear);
        const int whole[2][2] = {{0, kW - 1}, {0, kH - 1}};
        const std::unique_ptr<PixelData> p = image.extract(whole);
        for (int b = 0; b < 3; ++b) {
            EXPECT_EQ(at(*p, b, 1, 1), noData[b]);
            EXPECT_EQ(at(*p, b, 2, 1), b < 2 ? clear[b] : sample(b, 2, 1));
            EXPECT_EQ(at(*p, b, 0, 1), sample(b, 0, 1));
        }
    }
    // A grey image compares its single sample.
    const unsigned char greyClear[3] = {sample(0, 3, 2), 0, 0};
    BBBImage grey(scratch.rawImage("tg", header("BIP", 1), picture("BIP", 1)), noData, greyClear);
    const int whole[2][2] = {{0, kW - 1}, {0, kH - 1}};
    const std::unique_ptr<PixelData> g = grey.extract(whole);
    EXPECT_EQ(at(*g, 0, 3, 2), noData[0]);
    EXPECT_EQ(at(*g, 0, 2, 2), sample(0, 2, 2));
}

TEST_F(BBBImageTest, unusableRequestsAndLayoutsFailWithTheirMessages) {
    BBBImage unknown(scratch.rawImage("u", "NROWS 4\nNCOLS 5\nNBANDS 3\n", picture("BIP")));
    const int whole[2][2] = {{0, kW - 1}, {0, kH - 1}};
    EXPECT_EQ(thrownMessage<Error>([&] { unknown.extract(whole); }),
              "Error: unknown band structure encountered in subroutine BBBImage::extract.");

    BBBImage image(raw("BIP"));
    float floats[3] = {};
    EXPECT_EQ(thrownMessage<Error>([&] { image.extract(whole, floats); }),
              "Error: floating point extraction not supported for input file type.");
    const int reversed[2][2] = {{3, 2}, {0, 0}};
    EXPECT_EQ(thrownMessage<Error>([&] { image.extract(reversed); }),
              "Error: invalid rectangle in Image::extract( int section_support[2][2] ).");
}

TEST_F(BBBImageTest, fileSizeMismatchNamesBothSizesAndTheFile) {
    std::vector<unsigned char> longer = picture("BIP");
    longer.push_back(0);
    const std::string name = scratch.rawImage("long", header("BIP"), longer);
    EXPECT_EQ(
        thrownMessage<Error>([&] { BBBImage image(name); }),
        "Error: The actual file size (61) is not consistent with the reported file size (60) for file " +
            name + ".\nThis file's header must be repaired prior to encoding.");
    scratch.writeText("missing.hdr", header("BIP"));
    EXPECT_EQ(thrownMessage<OpenError>([&] { BBBImage image(scratch.path("missing.raw")); }),
              "Error opening file " + scratch.path("missing.raw") + " for read.");
}

TEST_F(BBBImageTest, metadataHoldsTheImageTagsInTheirOrder) {
    const unsigned char noData[3] = {1, 2, 3};
    const unsigned char clear[3] = {4, 5, 6};
    const std::string name =
        raw("BSQ", 3,
            "ULXMAP 100.5\nULYMAP 200.25\nXDIM 2\nYDIM 3\nDYNAMICRANGEWINDOW 50\nDYNAMICRANGELEVEL 60\n");
    BBBImage image(name, noData, clear);
    const Lumetra::TagStore& m = image.metadata();
    std::vector<std::string> names;
    for (int i = 0; i < m.slotCount(); ++i)
        if (!m.slot(i).isFree()) names.push_back(m.slot(i).name);
    const std::vector<std::string> expected = {"IMAGE::SOM",
                                               "IMAGE::WIDTH",
                                               "IMAGE::HEIGHT",
                                               "IMAGE::INPUT_NAME",
                                               "IMAGE::INPUT_FILE_SIZE",
                                               "IMAGE::NO_DATA_VALUE",
                                               "IMAGE::TRANSPARENT_DATA_VALUE",
                                               "IMAGE::XY_ORIGIN",
                                               "IMAGE::X_RESOLUTION",
                                               "IMAGE::Y_RESOLUTION",
                                               "IMAGE::COLOR_SCHEME",
                                               "IMAGE::DATA_TYPE",
                                               "IMAGE::DYNAMIC_RANGE_WINDOW",
                                               "IMAGE::DYNAMIC_RANGE_LEVEL",
                                               "IMAGE::BITS_PER_SAMPLE"};
    EXPECT_EQ(names, expected);

    const auto numbers = [&](const char* tag) { return m.lookUp(tag)->numbers; };
    EXPECT_EQ(numbers("IMAGE::WIDTH"), std::vector<double>{5});
    EXPECT_EQ(numbers("IMAGE::HEIGHT"), std::vector<double>{4});
    EXPECT_EQ(m.lookUp("IMAGE::INPUT_NAME")->texts, std::vector<std::string>{name});
    EXPECT_EQ(numbers("IMAGE::INPUT_FILE_SIZE"), std::vector<double>{60});
    EXPECT_EQ(numbers("IMAGE::NO_DATA_VALUE"), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(numbers("IMAGE::TRANSPARENT_DATA_VALUE"), (std::vector<double>{4, 5, 6}));
    EXPECT_EQ(numbers("IMAGE::XY_ORIGIN"), (std::vector<double>{100.5, 200.25}));
    EXPECT_EQ(numbers("IMAGE::X_RESOLUTION"), std::vector<double>{2});
    EXPECT_EQ(numbers("IMAGE::Y_RESOLUTION"), std::vector<double>{3});
    EXPECT_EQ(numbers("IMAGE::COLOR_SCHEME"), std::vector<double>{0});
    EXPECT_EQ(numbers("IMAGE::DATA_TYPE"), std::vector<double>{0});
    EXPECT_EQ(numbers("IMAGE::DYNAMIC_RANGE_WINDOW"), std::vector<double>{50});
    EXPECT_EQ(numbers("IMAGE::DYNAMIC_RANGE_LEVEL"), std::vector<double>{60});
    EXPECT_EQ(numbers("IMAGE::BITS_PER_SAMPLE"), std::vector<double>{8});

    // No transparent value and no window: those tags are absent.
    BBBImage plain(scratch.rawImage("plain", header("BIP", 1), picture("BIP", 1)));
    EXPECT_EQ(plain.metadata().find("IMAGE::TRANSPARENT_DATA_VALUE"), -1);
    EXPECT_EQ(plain.metadata().find("IMAGE::DYNAMIC_RANGE_WINDOW"), -1);
    EXPECT_EQ(plain.metadata().lookUp("IMAGE::COLOR_SCHEME")->numbers, std::vector<double>{3});
    EXPECT_EQ(plain.metadata().lookUp("IMAGE::NO_DATA_VALUE")->numbers, (std::vector<double>{0, 0, 0}));
}

TEST_F(BBBImageTest, infoListsTheHeader) {
    BBBImage image(raw("BIL", 3, "ULXMAP 1.5\nULYMAP -2\nXDIM 0.25\nYDIM 4\nDYNAMICRANGEWINDOW 9\n"));
    ::testing::internal::CaptureStdout();
    image.info();
    EXPECT_EQ(
        ::testing::internal::GetCapturedStdout(),
        "***** " + scratch.path("imgBIL.raw") +
            "*****\n\n  bandgapbytes: 0\n  bandrowbytes: 5\n  nbands: 3\n  nbits: 8\n"
            "  dynamic range window: 9\n  dynamic range level: 127\n  ncols: 5\n  nrows: 4\n"
            "  totalrowbytes: 15\n  skipbytes: 0\n  ulxmap: 1.5\n  ulymap: -2\n  xdim: 0.25\n  ydim: 4\n"
            "  layout: BIL\n");
}

std::string line30(const std::string& digits) { return std::string(30 - digits.size(), ' ') + digits + "\n"; }

TEST_F(BBBImageTest, worldFileHoldsSixFixedWidthLines) {
    BBBImage image(raw("BIP", 3, "ULXMAP 500000.5\nULYMAP 4200000.25\nXDIM 0.5\nYDIM 2\n"));
    EXPECT_TRUE(image.hasGeoreference());
    EXPECT_DOUBLE_EQ(image.yscale(), -2.0);
    image.writeWorldFile(scratch.path("out.wvr"));
    EXPECT_EQ(scratch.readText("out.wvw"), line30("0.500000000000000") + line30("0.000000000000000") +
                                               line30("0.000000000000000") + line30("-2.000000000000000") +
                                               line30("500000.500000000000000") +
                                               line30("4200000.250000000000000"));
    EXPECT_EQ(
        thrownMessage<WriteError>([&] { image.writeWorldFile(scratch.path("no/such/dir/out.wvr")); }),
        "Error writing file " + scratch.path("no/such/dir/out.wvw") + ". Perhaps you are out of disk space.");
}

TEST_F(BBBImageTest, gridAlignmentMovesTheSupportAndExtractionFollows) {
    BBBImage image(raw("BIP", 3, "ULXMAP 10\nULYMAP 100\nXDIM 4\nYDIM 10\n"));
    image.alignToGrid();
    int s[2][2];
    image.support(s);
    EXPECT_EQ(s[0][0], 3);
    EXPECT_EQ(s[0][1], 7);
    EXPECT_EQ(s[1][0], -10);
    EXPECT_EQ(s[1][1], -7);
    const int rect[2][2] = {{3, 3}, {-9, -9}};
    const std::unique_ptr<PixelData> p = image.extract(rect);
    EXPECT_EQ(at(*p, 2, 0, 0), sample(2, 0, 1));

    BBBImage flat(scratch.rawImage("flat", header("BIP", 3, "XDIM 0\nULXMAP 5\n"), picture("BIP")));
    EXPECT_EQ(thrownMessage<Error>([&] { flat.alignToGrid(); }),
              "Error: georeference cannot be aligned with the pixel grid.");
}

TEST_F(BBBImageTest, compatibilityComparesBandsThenResolutions) {
    BBBImage a(raw("BIP"));
    BBBImage grey(scratch.rawImage("g", header("BIP", 1), picture("BIP", 1)));
    BBBImage wide(scratch.rawImage("w", header("BIP", 3, "XDIM 2\n"), picture("BIP")));
    BBBImage tall(scratch.rawImage("t", header("BIP", 3, "YDIM 2\n"), picture("BIP")));
    const std::string prefix = "File incompatibility: files " + scratch.path("imgBIP.raw") + " and ";
    EXPECT_EQ(thrownMessage<Error>([&] { a.checkCompatibility(grey); }),
              prefix + scratch.path("g.raw") + " have a different number of spectral bands.");
    EXPECT_EQ(thrownMessage<Error>([&] { a.checkCompatibility(wide); }),
              prefix + scratch.path("w.raw") + " have different x-resolutions.");
    EXPECT_EQ(thrownMessage<Error>([&] { a.checkCompatibility(tall); }),
              prefix + scratch.path("t.raw") + " have different y-resolutions.");
    EXPECT_EQ(thrownMessage<Error>([&] { a.checkCompatibility(a); }), "<none>");
}

}  // namespace
