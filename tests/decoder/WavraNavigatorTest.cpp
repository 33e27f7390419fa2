// The navigator and decoder driver: strips, regions, region building,
// georeferencing and damaged files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "DecoderTestImages.h"
#include "core/Exception.h"
#include "core/TemporaryName.h"
#include "decoder/WavraDecoder.h"
#include "decoder/WavraNavigator.h"
#include "imaging/pixels/PassThroughImageBuffer.h"

using namespace Lumetra;
using namespace decodertest;

namespace {

const char* const kReadError = "Read error encountered while decompressing. Possible file corruption.";

WavraFile open(const std::string& name) { return WavraFile(conformanceDir() + name + ".wvr"); }

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

// A private copy of a conformance file, removed with the object.
class PatchedCopy {
public:
    explicit PatchedCopy(const std::string& name) : reservation_(nullptr) {
        path_ = reservation_.name().setExtension("wvr");
        std::ifstream in(conformanceDir() + name + ".wvr", std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ~PatchedCopy() { path_.removeQuietly(); }
    void set(int64_t offset, std::initializer_list<uint8_t> values) {
        for (uint8_t v : values) bytes_[std::size_t(offset++)] = char(v);
    }
    uint8_t at(int64_t offset) const { return uint8_t(bytes_[std::size_t(offset)]); }
    WavraFile write() {
        std::ofstream out(path_.path(), std::ios::binary);
        out.write(bytes_.data(), std::streamsize(bytes_.size()));
        out.close();
        return WavraFile(path_);
    }

private:
    TemporaryReservation reservation_;
    FileSpecification path_;
    std::vector<char> bytes_;
};

Rectangle whole(const WavraFile& file, int scale) {
    int32_t w, h;
    imageSizeAtScale(file.width(), file.height(), scale, w, h);
    return Rectangle::fromCorners(0, 0, w - 1, h - 1);
}

}  // namespace

TEST(WavraDecoder, stripHeightDoesNotChangeTheDecodedSamples) {
    for (const char* name : {"c03_rgb_blocks", "c07_empty_blocks"}) {
        const WavraFile file = open(name);
        for (int scale : {0, 1}) {
            const Image one = decodeThroughNavigator(file, scale, whole(file, scale), 0);
            for (int strip : {128, 16, 7, 1}) {
                const Image many = decodeThroughNavigator(file, scale, whole(file, scale), strip);
                EXPECT_EQ(maxDifference(one, many), 0) << name << " scale " << scale << " strip " << strip;
            }
        }
    }
}

TEST(WavraDecoder, regionEqualsTheSameRectangleCutFromTheWholeImage) {
    const WavraFile file = open("c03_rgb_blocks");  // 301 x 257, many blocks
    for (int scale : {0, 2}) {
        const Rectangle all = whole(file, scale);
        const Image full = decodeThroughNavigator(file, scale, all);
        const int W = all.width(), H = all.height();
        const Rectangle regions[] = {
            Rectangle::fromCorners(0, 0, 19, 9),                   // top-left corner
            Rectangle::fromCorners(W - 13, H - 40, W - 1, H - 1),  // bottom-right corner
            Rectangle::fromCorners(31, 17, 31, 17),                // one pixel
            Rectangle::fromCorners(-25, 40, 60, 70),               // partly left of the image
            Rectangle::fromCorners(W - 30, -8, W + 12, H + 5),     // over three edges
            Rectangle::fromCorners(3, 5, W - 4, H - 6),            // nearly everything
        };
        for (const Rectangle& r : regions) {
            for (int strip : {128, 9}) {
                const Image got = decodeThroughNavigator(file, scale, r, strip);
                const Image want = crop(full, r.x0(), r.y0(), r.width(), r.height());
                EXPECT_EQ(maxDifference(got, want), 0)
                    << "scale " << scale << " region " << r.x0() << "," << r.y0() << " " << r.width() << "x"
                    << r.height() << " strip " << strip;
            }
        }
    }
}

TEST(WavraDecoder, supportOutsideTheImageLeavesTheBufferCleared) {
    const WavraFile file = open("c01_grey");
    const Image got = decodeThroughNavigator(file, 0, Rectangle::fromCorners(500, 500, 509, 504));
    ASSERT_EQ(got.pixels.size(), 50u);
    for (uint8_t v : got.pixels) EXPECT_EQ(v, 0);
}

TEST(WavraDecoder, outputPlanesDescribeTheStoredColourComponents) {
    EXPECT_EQ(WavraDecoder(open("c02_rgb")).outputInfo().colorSpace, ImageBufferInfo::YIQ);
    const WavraDecoder cmyk(open("c06_cmyk"));
    EXPECT_EQ(cmyk.outputInfo().colorSpace, ImageBufferInfo::YIQK);
    EXPECT_EQ(cmyk.outputInfo().bands, 4);
    const WavraDecoder grey(open("c08_no_metadata"));
    EXPECT_EQ(grey.outputInfo().bitsPerSample, 8);
    EXPECT_EQ(grey.outputInfo().sampleType, ImageBufferInfo::Float32);
    EXPECT_EQ(grey.outputInfo().layout, ImageBufferInfo::Planar);
}

TEST(WavraNavigator, iconCoversTheWholeImageAtTheCoarsestScale) {
    const WavraFile file = open("c03_rgb_blocks");  // 301 x 257, 4 levels
    const WavraNavigator icon = WavraNavigator::forRegion(file, true, 0, 5, 5, 3, 3);
    EXPECT_EQ(icon.scale(), 4);
    EXPECT_EQ(icon.support(), Rectangle::fromCorners(0, 0, 18, 16));  // 301 -> 19, 257 -> 17
}

TEST(WavraNavigator, regionBuilderCentresTheRequestedRectangle) {
    const WavraFile file = open("c01_grey");
    EXPECT_EQ(WavraNavigator::forRegion(file, false, 0, 10, 10, 100, 50).support(),
              Rectangle::fromCorners(-40, -15, 59, 34));
    EXPECT_EQ(WavraNavigator::forRegion(file, false, 0, 10, 10, 5, 1).support(),
              Rectangle::fromCorners(7, 9, 11, 9));
    EXPECT_EQ(WavraNavigator::forRegion(file, false, 0, 10, 20, 1, 1).support(),
              Rectangle::fromCorners(10, 20, 10, 20));
    EXPECT_EQ(messageOf([&] { WavraNavigator::forRegion(file, false, 0, 10, 10, -1, 5); }),
              "Error construction a dimension object: Cannot have negative dimensions");
    EXPECT_EQ(messageOf([&] { WavraNavigator(file, 0, Rectangle::fromCorners(0, 0, -5, 3)); }),
              "Error. Bogus support supplied to WavraNavigator constructor.");
}

TEST(WavraNavigator, hugeRegionsAndScalesAreRefusedWithoutOverflow) {
    const WavraFile file = open("c01_grey");
    // x0 + width - 1 would pass 2^31 - 1.
    EXPECT_EQ(messageOf([&] { WavraNavigator::forRegion(file, false, 0, 2000000000, 10, 2147483647, 1); }),
              "Error constructing rectangle object: points do not specify a valid rectangle.");
    WavraNavigator deep = WavraNavigator::forRegion(file, false, 40, 0, 0, 4, 4);
    EXPECT_EQ(messageOf([&] { decodeThroughNavigator(file, 40, deep.support()); }),
              "Error: incompatible scale parameter input for image synthesis.\n scale is less than 0 or "
              "greater than "
              "nlev\n");
}

TEST(WavraNavigator, georeferencingFollowsTheRegionCornerAndScale) {
    const WavraFile file = open("c05_earth_georef");
    const WavraNavigator nav(file, 1, Rectangle::fromCorners(-10, -6, 49, 33));
    const GeoReference g = nav.geoReference();
    const double res = 0.0439453125;
    EXPECT_TRUE(g.present);
    EXPECT_DOUBLE_EQ(g.xPixelSize, res * 2);
    EXPECT_DOUBLE_EQ(g.yPixelSize, res * 2);
    EXPECT_DOUBLE_EQ(g.upperLeftX, file.xOrigin() - res / 2 + (-10 + 0.5) * res * 2);
    EXPECT_DOUBLE_EQ(g.upperLeftY, file.yOrigin() + res / 2 - (-6 + 0.5) * res * 2);
    EXPECT_EQ(g.xRotation, 0.0);
    EXPECT_FALSE(WavraNavigator(open("c08_no_metadata")).geoReference().present);
}

TEST(WavraNavigator, decoderIsKeptForReuseButNeverCopied) {
    const WavraFile file = open("c01_grey");
    WavraNavigator nav(file, 1, Rectangle::fromCorners(0, 0, 20, 20));
    std::vector<float> progress;
    nav.setProgressHook([&](float f) { progress.push_back(f); });
    PassThroughImageBuffer buffer;
    buffer.info().setColorSpace(ImageBufferInfo::Grayscale);
    nav.decode(buffer);
    ASSERT_NE(nav.decoder(), nullptr);
    EXPECT_EQ(nav.decoder()->pendingCursors(), 0u);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 1.0f);
    const WavraDecoder* first = nav.decoder();
    nav.decode(buffer);
    EXPECT_EQ(nav.decoder(), first);
    WavraNavigator copy(nav);
    EXPECT_EQ(copy.decoder(), nullptr);
}

TEST(WavraDecoder, nonFiniteQuantiserStepIsReportedAsCorruption) {
    PatchedCopy copy("c01_grey");
    int64_t stepAt = 0;
    {
        const WavraFile original = open("c01_grey");
        auto header = original.blockDatabase().readBlockHeader(0, 0);
        stepAt = header->band(0).headerOffset + 2 + 16 + int64_t(header->table(0).symbols.size());
    }
    copy.set(stepAt, {0x7F, 0xC0, 0x00, 0x00});  // NaN
    const WavraFile file = copy.write();
    EXPECT_EQ(messageOf([&] { decodeThroughNavigator(file, 0, whole(file, 0)); }), kReadError);
}

TEST(WavraDecoder, overfullHuffmanTableInAFileIsReportedAsCorruption) {
    PatchedCopy copy("c01_grey");
    int64_t bitsAt = 0;
    int total = 0;
    {
        const WavraFile original = open("c01_grey");
        auto header = original.blockDatabase().readBlockHeader(0, 0);
        bitsAt = header->band(0).headerOffset + 2;
        total = int(header->table(0).symbols.size());
    }
    ASSERT_GE(total, 3);
    // Same number of symbols, all claiming one-bit codes.
    copy.set(bitsAt, {uint8_t(total)});
    for (int i = 1; i < 16; ++i) copy.set(bitsAt + i, {0});
    const WavraFile file = copy.write();
    EXPECT_EQ(messageOf([&] { decodeThroughNavigator(file, 0, whole(file, 0)); }), kReadError);
}

TEST(WavraDecoder, truncatedCodeBlockIsReportedNotReadBeyond) {
    // Shorten the first code-block by moving its successor's offset back.
    PatchedCopy copy("c03_rgb_blocks");
    int64_t offsetsAt = 0, first = 0;
    {
        const WavraFile original = open("c03_rgb_blocks");
        auto header = original.blockDatabase().readBlockHeader(4, 0);  // HL3: two code-blocks in band 0
        const auto& band = header->band(0);
        ASSERT_EQ(band.offsets.size(), 2u);
        offsetsAt = band.headerOffset + 2 + 16 + int64_t(band.table.symbols.size()) + 12;
        first = band.offsets[0];
    }
    const int64_t cut = first + 20;
    copy.set(offsetsAt + 4, {uint8_t(cut >> 24), uint8_t(cut >> 16), uint8_t(cut >> 8), uint8_t(cut)});
    const WavraFile file = copy.write();
    EXPECT_EQ(messageOf([&] { decodeThroughNavigator(file, 0, whole(file, 0)); }), kReadError);
}

TEST(WavraNavigator, decodeAfterAnInterruptedDecodeStartsAfresh) {
    const WavraFile file = open("c03_rgb_blocks");
    const Rectangle region = Rectangle::fromCorners(0, 0, 300, 256);
    const Image clean = decodeThroughNavigator(file, 0, region, 64);

    WavraNavigator nav(file, 0, region);
    int calls = 0;
    nav.setInterruptHook([&] { return ++calls > 400 ? 1 : 0; });  // stops inside the second strip
    PassThroughImageBuffer first;
    first.setStripHeight(64);
    EXPECT_EQ(messageOf([&] { nav.decode(first); }), "Program interrupt encountered");
    EXPECT_GT(nav.decoder()->pendingCursors(), 0u);

    // The same navigator again, without interruption, into a whole-image buffer.
    nav.setInterruptHook(nullptr);
    ImageBuffer again;
    again.setStripHeight(64);
    nav.decode(again);
    Image got;
    got.width = region.width();
    got.height = region.height();
    got.channels = 3;
    got.pixels.assign(again.data(), again.data() + std::size_t(got.width) * got.height * 3);
    EXPECT_EQ(maxDifference(got, clean), 0);
    EXPECT_EQ(messageOf([&] { WavraDecoder(file).reserved(); }), "Unimplemented method");
}
