// Opening Wavra files: the header and version rule, colour schemes,
// georeferencing from metadata and world files, metadata-derived properties
// and the information listing.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "WavraFileBuilder.h"
#include "core/Exception.h"
#include "format/InformationListing.h"
#include "format/WavraFile.h"

using namespace Lumetra;
using namespace wavra_test;

namespace {

std::string openFailure(const std::string& path) {
    try {
        WavraFile f(path);
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

std::string openFailure(ScratchFiles& scratch, WavraFileBuilder b) {
    return openFailure(scratch.write("wvr", b.build()));
}

const std::string kUnknownScheme =
    "The Color Scheme is Unknown, and not enough information is available to continue with this image";

}  // namespace

TEST(WavraFileTest, versionRuleAcceptsZeroAndOneZeroAndRefusesNewerLayouts) {
    ScratchFiles scratch;
    for (const Bytes& v : {Bytes{1, 0, 7}, Bytes{0, 9, 9}, Bytes{1, 0, 1}}) {
        WavraFileBuilder b = WavraFileBuilder::simple(1, 1, 4, 4);
        std::copy(v.begin(), v.end(), b.version);
        EXPECT_EQ(openFailure(scratch, b), "") << int(v[0]) << int(v[1]) << int(v[2]);
    }
    for (const Bytes& v : {Bytes{1, 1, 0}, Bytes{2, 0, 0}}) {
        WavraFileBuilder b = WavraFileBuilder::simple(1, 1, 4, 4);
        std::copy(v.begin(), v.end(), b.version);
        const std::string path = scratch.write("wvr", b.build());
        const std::string message = openFailure(path);
        EXPECT_EQ(
            message.rfind(
                "Error: file " + path + " is a newer Wavra file than this decompression SDK supports.", 0),
            0u)
            << message;
    }
    // The version is judged before anything after it is read.
    const Bytes newerAndShort = {'w', 'v', 'r', 'a', 2, 0, 0};
    EXPECT_EQ(openFailure(scratch.write("wvr", newerAndShort)).rfind("Error: file ", 0), 0u);
}

TEST(WavraFileTest, headerFaultsRaiseTheirMessages) {
    ScratchFiles scratch;
    EXPECT_EQ(openFailure(scratch.write("wvr", Bytes{'w', 'v'})), "Error reading from stream!");
    EXPECT_EQ(openFailure(scratch.write("wvr", Bytes{'w', 'v', 'r', 'b', 1, 0, 1})),
              "Error: stream does not contain a bonafide Wavra image.");
    EXPECT_EQ(openFailure(scratch.write("wvr", Bytes{'w', 'v', 'r', 'a', 1, 0, 1, 0, 0})),
              "Error reading from stream.");
    EXPECT_EQ(openFailure(scratch.path("missing")),
              "File: " + scratch.path("missing") + " could not be opened.");
    // Header values no file can have are refused before they size anything.
    for (const auto& patch : std::vector<std::pair<size_t, uint32_t>>{
             {7, 0}, {7, 0x7FFFFFFF}, {11, 0xFFFFFFFF}, {11, 1000}, {15, 0}, {19, 0x80000000}}) {
        Bytes b = WavraFileBuilder::simple(1, 1, 4, 4).build();
        putU32(b, patch.first, patch.second);
        EXPECT_NE(openFailure(scratch.write("wvr", b)), "") << patch.first;
    }
}

TEST(WavraFileTest, colourSchemeComesFromTheTagOrTheBandCount) {
    ScratchFiles scratch;
    {
        const std::string path = scratch.write("wvr", WavraFileBuilder::simple(3, 1, 4, 4).build());
        const ColorScheme s = WavraFile(path).colorScheme();
        EXPECT_EQ(s.colorSpace, ImageBufferInfo::RGB);
        EXPECT_EQ(s.bands, 3);
    }
    EXPECT_EQ(openFailure(scratch, WavraFileBuilder::simple(2, 1, 4, 4)), "Unknown colorspace");
    WavraFileBuilder minusOne = WavraFileBuilder::simple(2, 1, 4, 4);
    minusOne.tags.addColorScheme(0xFFFFFFFFu);
    EXPECT_EQ(openFailure(scratch, minusOne), kUnknownScheme);
    {
        WavraFileBuilder grey = WavraFileBuilder::simple(1, 1, 4, 4);
        grey.tags.addColorScheme(0xFFFFFFFFu);
        const ColorScheme s = WavraFile(scratch.write("wvr", grey.build())).colorScheme();
        EXPECT_EQ(s.colorSpace, ImageBufferInfo::Grayscale);
        EXPECT_EQ(s.bands, 1);
    }
    WavraFileBuilder textScheme = WavraFileBuilder::simple(1, 1, 4, 4);
    const uint32_t one[1] = {1};
    const char* text = "RGB";
    textScheme.tags.addTexts(Tag::COLOR_SCHEME, 1, one, &text);
    EXPECT_EQ(openFailure(scratch, textScheme), "bad cast in metadata");
}

TEST(WavraFileTest, aSchemeNeedingMoreBandsThanTheFileCodesIsRefused) {
    ScratchFiles scratch;
    WavraFileBuilder rgbOnGrey = WavraFileBuilder::simple(1, 1, 4, 4);
    rgbOnGrey.tags.addColorScheme(ImageBufferInfo::RGB);
    EXPECT_EQ(openFailure(scratch, rgbOnGrey), "Unknown colorspace");
    WavraFileBuilder cmykOnThree = WavraFileBuilder::simple(3, 1, 4, 4);
    cmykOnThree.tags.addColorScheme(ImageBufferInfo::CMYK);
    EXPECT_EQ(openFailure(scratch, cmykOnThree), "Unknown colorspace");
    WavraFileBuilder greyOnThree = WavraFileBuilder::simple(3, 1, 4, 4);
    greyOnThree.tags.addColorScheme(ImageBufferInfo::Grayscale);
    const ColorScheme s = WavraFile(scratch.write("wvr", greyOnThree.build())).colorScheme();
    EXPECT_EQ(s.colorSpace, ImageBufferInfo::Grayscale);
    EXPECT_EQ(s.bands, 3);
}

TEST(WavraFileTest, withoutMetadataOrWorldFileThePropertiesKeepTheirDefaults) {
    ScratchFiles scratch;
    WavraFileBuilder b = WavraFileBuilder::simple(1, 2, 40, 30);
    b.withD0 = false;
    b.withMetadata = false;
    const WavraFile f(scratch.write("wvr", b.build()));
    EXPECT_TRUE(f.metadata().isEmpty());
    EXPECT_FALSE(f.isGeoreferenced());
    EXPECT_EQ(f.xResolution(), 1.0);
    EXPECT_EQ(f.yResolution(), 1.0);
    EXPECT_EQ(f.xOrigin(), 0.0);
    EXPECT_EQ(f.yOrigin(), 29.0);
    EXPECT_TRUE(f.dither());
    EXPECT_TRUE(f.noDataValue().empty());
    EXPECT_FALSE(f.colorLookUpTable().hasEntries());
    EXPECT_EQ(f.bitsPerSample(), 8);
    EXPECT_EQ(f.width(), 40);
    EXPECT_EQ(f.levels(), 2);
}

TEST(WavraFileTest, metadataGivesGeoreferencingDitherAndNoDataValue) {
    ScratchFiles scratch;
    WavraFileBuilder b = WavraFileBuilder::simple(3, 1, 4, 4);
    b.tags.addXYOrigin(100.5, 200.25);
    b.tags.addXResolution(2.0);
    b.tags.addYResolution(-3.0);
    b.tags.addXRotation(0.1);
    b.tags.addYRotation(0.2);
    b.tags.addNoDither();
    const uint8_t noData[3] = {1, 2, 255};
    b.tags.addNoDataValue(noData, 3);
    b.tags.addBitsPerSample(12);
    const WavraFile f(scratch.write("wvr", b.build()));
    EXPECT_TRUE(f.isGeoreferenced());
    EXPECT_EQ(f.xOrigin(), 100.5);
    EXPECT_EQ(f.yOrigin(), 200.25);
    EXPECT_EQ(f.xResolution(), 2.0);
    EXPECT_EQ(f.yResolution(), 3.0);
    EXPECT_EQ(f.xRotation(), 0.1);
    EXPECT_EQ(f.yRotation(), 0.2);
    EXPECT_FALSE(f.dither());
    EXPECT_EQ(f.noDataValue(), (std::vector<uint8_t>{1, 2, 255}));
    EXPECT_EQ(f.bitsPerSample(), 12);

    // Only one of the three georeferencing tags leaves the file unreferenced.
    WavraFileBuilder partial = WavraFileBuilder::simple(1, 1, 4, 4);
    partial.tags.addXResolution(2.0);
    EXPECT_FALSE(WavraFile(scratch.write("wvr", partial.build())).isGeoreferenced());

    WavraFileBuilder wideNoData = WavraFileBuilder::simple(1, 1, 4, 4);
    const uint32_t one[1] = {1};
    const double v = 300;
    wideNoData.tags.addNumbers(Tag::NO_DATA_VALUE, TypeUInt16, 1, one, &v);
    EXPECT_EQ(openFailure(scratch, wideNoData), "bad cast in metadata");
}

TEST(WavraFileTest, bitsPerSampleOutsideOneToSixteenReadsAsEight) {
    ScratchFiles scratch;
    for (uint16_t bits : {0, 17, 40}) {
        WavraFileBuilder b = WavraFileBuilder::simple(1, 1, 4, 4);
        b.tags.addBitsPerSample(bits);
        EXPECT_EQ(WavraFile(scratch.write("wvr", b.build())).bitsPerSample(), 8) << bits;
    }
}

TEST(WavraFileTest, worldFileOverridesMetadataOnlyWhenItHasSixLines) {
    ScratchFiles scratch;
    WavraFileBuilder b = WavraFileBuilder::simple(1, 1, 4, 4);
    b.tags.addXYOrigin(10, 20);
    b.tags.addXResolution(5);
    b.tags.addYResolution(5);
    const std::string path = scratch.write("wvr", b.build());

    scratch.writeText("wvw", "0.5\n0.01\n0.02\n-2.5\n1000\n2000\n");
    {
        const WavraFile f(path);
        EXPECT_TRUE(f.isGeoreferenced());
        EXPECT_EQ(f.xResolution(), 0.5);
        EXPECT_EQ(f.xRotation(), 0.01);
        EXPECT_EQ(f.yRotation(), 0.02);
        EXPECT_EQ(f.yResolution(), 2.5);
        EXPECT_EQ(f.xOrigin(), 1000.0);
        EXPECT_EQ(f.yOrigin(), 2000.0);
        // Opened from a byte source, the name only names it: no world file.
        const WavraFile fromSource(bytesSource(b.build()), path);
        EXPECT_EQ(fromSource.xResolution(), 5.0);
        EXPECT_EQ(fromSource.xOrigin(), 10.0);
        EXPECT_EQ(fromSource.file(), FileSpecification(path));
    }
    scratch.writeText("wvw", "0.5\n0\n0\n-2.5\n1000\n");
    {
        const WavraFile f(path);
        EXPECT_TRUE(f.isGeoreferenced());
        EXPECT_EQ(f.xResolution(), 5.0);
        EXPECT_EQ(f.xOrigin(), 10.0);
    }
    // The upper-case name is tried when the lower-case one is missing.
    std::remove(scratch.path("wvw").c_str());
    WavraFileBuilder plain = WavraFileBuilder::simple(1, 1, 4, 4);
    scratch.write("wvr", plain.build());
    scratch.writeText("WVW", "1\n0\n0\n1\n7\n8\n");
    const WavraFile f(path);
    EXPECT_TRUE(f.isGeoreferenced());
    EXPECT_EQ(f.xOrigin(), 7.0);
}

TEST(WavraFileTest, inputLookUpTableIsBuiltOnlyWhenItsRowsMatchTheScheme) {
    ScratchFiles scratch;
    WavraFileBuilder b = WavraFileBuilder::simple(3, 1, 4, 4);
    const uint8_t lut[6] = {10, 20, 30, 40, 50, 60};
    b.tags.addInputLut(lut, 3, 2);
    {
        const WavraFile f(scratch.write("wvr", b.build()));
        const Clut& c = f.colorLookUpTable();
        ASSERT_EQ(c.entryCount(), 2);
        EXPECT_EQ(c.entry<uint8_t>(1)[2], 60);
        EXPECT_EQ(f.pixelDescription().bands, 3);
    }
    // Rows of four samples would overrun three-sample entries.
    WavraFileBuilder wide = WavraFileBuilder::simple(3, 1, 4, 4);
    const uint8_t wideLut[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    wide.tags.addInputLut(wideLut, 4, 2);
    EXPECT_FALSE(WavraFile(scratch.write("wvr", wide.build())).colorLookUpTable().hasEntries());

    WavraFileBuilder sixteen = WavraFileBuilder::simple(3, 1, 4, 4);
    sixteen.tags.addInputLut(lut, 3, 2);
    sixteen.tags.addDataType(2);
    const WavraFile f16(scratch.write("wvr", sixteen.build()));
    EXPECT_EQ(f16.colorLookUpTable().info().sampleType, ImageBufferInfo::UInt16);
    EXPECT_EQ(f16.colorLookUpTable().entry<uint16_t>(0)[1], 20);
}

TEST(WavraFileTest, copiesShareOneBody) {
    ScratchFiles scratch;
    const WavraFile a(scratch.write("wvr", WavraFileBuilder::simple(1, 1, 4, 4).build()));
    WavraFile b = a;
    EXPECT_EQ(a.useCount(), 2);
    EXPECT_EQ(&a.blockDatabase(), &b.blockDatabase());
    b = WavraFile(scratch.path("wvr"));
    EXPECT_EQ(a.useCount(), 1);
}

// A thread decoding beside others gets a database of its own over a file;
// over a host's source, which may keep a position, the file's one serves.
TEST(WavraFileTest, anotherBlockDatabaseOnlyOverBytesReadAtOnce) {
    ScratchFiles scratch;
    const WavraFile file(scratch.write("wvr", WavraFileBuilder::simple(1, 1, 4, 4).build()));
    const std::unique_ptr<DBInfo> own = file.openBlockDatabase();
    ASSERT_TRUE(own);
    EXPECT_NE(own.get(), &file.blockDatabase());
    EXPECT_EQ(own->width(), 4);

    struct HostSource : wavra::ByteSource {
        Bytes bytes = WavraFileBuilder::simple(1, 1, 4, 4).build();
        uint64_t size() override { return bytes.size(); }
        size_t readAt(uint64_t offset, void* into, size_t count) override {
            if (offset >= bytes.size()) return 0;
            count = std::min<size_t>(count, size_t(bytes.size() - offset));
            std::copy_n(bytes.begin() + long(offset), count, static_cast<uint8_t*>(into));
            return count;
        }
    };
    const WavraFile hosted(std::make_shared<HostSource>(), FileSpecification("hosted.wvr"));
    EXPECT_FALSE(hosted.openBlockDatabase());
}

TEST(InformationListingTest, listsNameSizeBandsLevelsAndVersionOnSixLines) {
    ScratchFiles scratch;
    const std::string path = scratch.write("img", WavraFileBuilder::simple(3, 4, 1000, 700).build());
    FILE* out = std::tmpfile();
    printInformationListing(FileSpecification(path), out);
    std::string text(size_t(std::ftell(out)), '\0');
    std::rewind(out);
    ASSERT_EQ(std::fread(&text[0], 1, text.size(), out), text.size());
    std::fclose(out);
    EXPECT_EQ(text, FileSpecification(path).fileName() + "\n1000\n700\n3\n4\n1.0.1.\n");
}
