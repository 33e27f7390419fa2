// The tag store (slots, growth, block writing and reading), element shape
// rules and the metadata collection read from a file.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "WavraFileBuilder.h"
#include "core/ByteSources.h"
#include "core/Exception.h"
#include "core/FileBuffer.h"
#include "format/TagStore.h"
#include "format/WavraMetadata.h"

using namespace Lumetra;
using namespace wavra_test;

namespace {

Bytes writeBlock(const TagStore& store) {
    FILE* f = std::tmpfile();
    EXPECT_EQ(store.write(f), 0);
    Bytes out(size_t(std::ftell(f)));
    std::rewind(f);
    EXPECT_EQ(std::fread(out.data(), 1, out.size(), f), out.size());
    std::fclose(f);
    return out;
}

int readBlock(TagStore& store, const Bytes& bytes) {
    FileBuffer in(std::make_shared<MemoryByteSource>(bytes.data(), bytes.size()));
    return store.read(in);
}

WavraMetadata metadataOf(const Bytes& file, int levels) {
    return WavraMetadata(std::make_shared<MemoryByteSource>(file.data(), file.size()), levels);
}

void put32(Bytes& b, uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}

// A record as the block holds it, with values given as raw bytes.
void putRecord(Bytes& b, const std::string& name, uint32_t type, uint32_t count, std::vector<uint32_t> dims,
               const Bytes& values) {
    put32(b, uint32_t(name.size() + 4 * dims.size() + 12));
    b.insert(b.end(), name.begin(), name.end());
    b.push_back(0);
    put32(b, type);
    put32(b, count);
    put32(b, uint32_t(dims.size()));
    for (uint32_t d : dims) put32(b, d);
    b.insert(b.end(), values.begin(), values.end());
}

Bytes blockStart(uint16_t major = 1, uint16_t minor = 0) {
    return {0xFF, 0xD1, uint8_t(major >> 8), uint8_t(major), uint8_t(minor >> 8), uint8_t(minor)};
}

Bytes oneU16 = {0, 1};

void putEnd(Bytes& b) {
    putRecord(b, "IMAGE::EOM", 2, 1, {1}, oneU16);
    b.push_back(0xFF);
    b.push_back(0xD2);
}

}  // namespace

TEST(TagStoreTest, addingATagAgainKeepsOneTagWithTheLaterValueInTheFirstFreeSlot) {
    TagStore s;
    EXPECT_EQ(s.addWidth(10), 1);
    EXPECT_EQ(s.addHeight(20), 2);
    EXPECT_EQ(s.addWidth(30), 1);  // slot 1 freed first, then taken again
    EXPECT_EQ(s.tagCount(), 3);
    ASSERT_NE(s.lookUp(Tag::WIDTH), nullptr);
    EXPECT_EQ(s.lookUp(Tag::WIDTH)->numbers.at(0), 30.0);
    EXPECT_EQ(s.remove(Tag::WIDTH), 0);
    EXPECT_EQ(s.remove(Tag::WIDTH), TagFailed);
    EXPECT_EQ(s.find(Tag::WIDTH), TagFailed);
}

TEST(TagStoreTest, the101stTagGrowsTheTableAndKeepsEveryEarlierTag) {
    TagStore s;  // slot 0 holds IMAGE::SOM
    const uint32_t one[1] = {1};
    for (int i = 1; i < 100; ++i) {
        const double v = i;
        ASSERT_EQ(s.addNumbers(("T" + std::to_string(i)).c_str(), TypeUInt32, 1, one, &v), i);
    }
    EXPECT_EQ(s.slotCount(), 100);
    EXPECT_EQ(s.addWidth(5), 100);
    EXPECT_EQ(s.slotCount(), 200);
    EXPECT_EQ(s.tagCount(), 101);
    for (int i = 1; i < 100; ++i) EXPECT_EQ(s.slot(i).numbers.at(0), double(i));
}

TEST(TagStoreTest, argumentFaultsAnswerTheirCodes) {
    TagStore s;
    const uint32_t dims[3] = {1, 1, 1};
    const double v = 1;
    EXPECT_EQ(s.addNumbers(nullptr, TypeUInt8, 1, dims, &v), TagMissingArgument);
    EXPECT_EQ(s.addNumbers("X", TypeUInt8, 3, dims, &v), TagTooManyDims);
    EXPECT_EQ(s.copyFrom(nullptr), TagInvalid);
    TagStore invalid;
    invalid.setValid(false);
    EXPECT_EQ(invalid.addWidth(1), TagInvalid);
    FILE* f = std::tmpfile();
    EXPECT_EQ(invalid.write(f), TagInvalid);
    std::fclose(f);
}

TEST(TagStoreTest, copyLeavesOutTheStartAndEndTags) {
    TagStore from, to;
    from.addWidth(7);
    from.addInputName("scan.raw");
    from.addEndOfMetadata();
    to.addHeight(3);
    EXPECT_EQ(to.copyFrom(&from), 0);
    EXPECT_EQ(to.tagCount(), 4);  // SOM, HEIGHT, WIDTH, INPUT_NAME
    EXPECT_EQ(to.find(Tag::EOM), TagFailed);
    EXPECT_EQ(to.lookUp(Tag::INPUT_NAME)->texts.at(0), "scan.raw");
}

TEST(TagStoreTest, recordsAreWrittenBigEndianWithTheirLength) {
    TagStore s;
    s.addWidth(0x01020304);
    const Bytes b = writeBlock(s);
    // FF D1, 1, 0, then IMAGE::SOM's record (4 + 11 + 12 + 4 + 2 bytes).
    ASSERT_EQ(b.size(), 6u + 33u + (4 + 13 + 12 + 4 + 4) + 2u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 6), blockStart());
    const size_t width = 6 + 33;
    EXPECT_EQ(getU32(b, width), 28u);  // 12 characters, one dimension
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[width + 4])), "IMAGE::WIDTH");
    EXPECT_EQ(getU32(b, width + 17), 3u);  // type
    EXPECT_EQ(getU32(b, width + 21), 1u);  // count
    EXPECT_EQ(getU32(b, width + 25), 1u);  // one dimension
    EXPECT_EQ(getU32(b, width + 29), 1u);
    EXPECT_EQ(getU32(b, width + 33), 0x01020304u);
    EXPECT_EQ(b[b.size() - 2], 0xFF);
    EXPECT_EQ(b.back(), 0xD2);
}

TEST(TagStoreTest, everyValueTypeSurvivesWritingAndReading) {
    TagStore s;
    s.addInputName("name with spaces");
    s.addInputFileSize(1234567890123.0);
    s.addBitsPerSample(12);
    s.addXYOrigin(-123.456, 7.5e-9);
    s.addTargetCompressionRatio(12.5f);
    const int32_t version[3] = {-1, 0, 2147483647};
    s.addCompressionVersion(version);
    const uint32_t dims[2] = {2, 3};
    const double signedBytes[6] = {-128, 127, -1, 0, 5, -5};
    s.addNumbers("S8", TypeInt8, 2, dims, signedBytes);
    const double signedShorts[6] = {-32768, 32767, -2, 0, 1, -300};
    s.addNumbers("S16", TypeInt16, 2, dims, signedShorts);
    const uint8_t lut[6] = {0, 255, 1, 2, 3, 4};
    s.addInputLut(lut, 3, 2);
    s.addEndOfMetadata();

    TagStore r;
    ASSERT_EQ(readBlock(r, writeBlock(s)), 0);
    ASSERT_EQ(r.tagCount(), s.tagCount());
    for (int i = 0; i < s.slotCount(); ++i) {
        const TagSlot& a = s.slot(i);
        if (a.isFree()) continue;
        const TagSlot* b = r.lookUp(a.name.c_str());
        ASSERT_NE(b, nullptr) << a.name;
        EXPECT_EQ(b->type, a.type) << a.name;
        EXPECT_EQ(b->dimCount, a.dimCount) << a.name;
        EXPECT_EQ(b->numbers, a.numbers) << a.name;
        EXPECT_EQ(b->texts, a.texts) << a.name;
    }
}

TEST(TagStoreTest, damagedBlocksAnswerTheirCodesWithoutAllocatingFromFileCounts) {
    TagStore s;
    EXPECT_EQ(readBlock(s, {}), TagFailed);
    EXPECT_EQ(readBlock(s, {0xFF, 0xD2, 0, 1, 0, 0}), TagInvalid);
    EXPECT_EQ(readBlock(s, blockStart(2, 0)), TagNewerVersion);

    Bytes threeDims = blockStart();
    putRecord(threeDims, "X", 1, 1, {1, 1, 1}, {0});
    EXPECT_EQ(readBlock(s, threeDims), TagTooManyDimsRead);

    // A count far beyond the file's bytes is refused before any allocation.
    Bytes hugeCount = blockStart();
    putRecord(hugeCount, "X", 7, 0xFFFFFFFFu, {0xFFFFFFFFu}, {0, 0, 0, 0, 0, 0, 0, 0});
    putEnd(hugeCount);
    EXPECT_EQ(readBlock(s, hugeCount), TagFailed);
    Bytes hugeTexts = blockStart();
    putRecord(hugeTexts, "X", 5, 0x7FFFFFFFu, {0x7FFFFFFFu}, {'a', 0});
    EXPECT_EQ(readBlock(s, hugeTexts), TagFailed);

    // Values are bounded per block: a 65536-entry table of four samples is
    // read, two tags of 600000 values together are not.
    Bytes bigLut = blockStart();
    putRecord(bigLut, "IMAGE::INPUT_LUT", 1, 262144, {4, 65536}, Bytes(262144, 7));
    putEnd(bigLut);
    EXPECT_EQ(readBlock(s, bigLut), 0);
    Bytes tooMany = blockStart();
    putRecord(tooMany, "A", 1, 600000, {600000}, Bytes(600000, 1));
    putRecord(tooMany, "B", 1, 600000, {600000}, Bytes(600000, 1));
    putEnd(tooMany);
    TagStore fresh;
    EXPECT_EQ(readBlock(fresh, tooMany), TagFailed);

    // A name without a NUL in its first 100 bytes is not read past.
    Bytes longName = blockStart();
    put32(longName, 0);
    longName.insert(longName.end(), 150, 'N');
    longName.push_back(0);
    EXPECT_EQ(readBlock(s, longName), TagFailed);

    Bytes unknownType = blockStart();
    putRecord(unknownType, "X", 4, 1, {1}, {0, 0, 0, 0});
    EXPECT_EQ(readBlock(s, unknownType), TagFailed);
}

TEST(TagStoreTest, anyMinorVersionIsReadAndTheReaderStopsAtTheEndTag) {
    Bytes b = blockStart(1, 9);
    putRecord(b, "IMAGE::WIDTH", 3, 1, {1}, {0, 0, 1, 0});
    putEnd(b);
    putRecord(b, "AFTER", 3, 1, {1}, {0, 0, 0, 1});
    TagStore s;
    EXPECT_EQ(readBlock(s, b), 0);
    EXPECT_EQ(s.minorVersion(), 9);
    EXPECT_EQ(s.lookUp(Tag::WIDTH)->numbers.at(0), 256.0);
    EXPECT_EQ(s.find("AFTER"), TagFailed);
}

TEST(MetadataElementTest, shapesThatBreakTheRulesRaiseTheirDetails) {
    auto detail = [](int dimensionality, int w, int h) -> std::string {
        try {
            MetadataElement e("X", dimensionality, w, h);
        } catch (const Exception& ex) {
            return ex.what();
        }
        return "";
    };
    const std::string prefix = "Invalid argument passed to function: ";
    EXPECT_EQ(detail(1, 2, 1), prefix + "Single value MetadataElement must have width, height == 1");
    EXPECT_EQ(detail(2, 1, 1), prefix + "Array MetadataElement must have width > 1, height==1");
    EXPECT_EQ(detail(3, 2, 1), prefix + "Table MetadataElement must have width > 1, height > 1 ");
    EXPECT_EQ(detail(4, 1, 1), prefix + "Illegal dimensionality specified for MetadataElement");
    EXPECT_EQ(detail(2, -3, 1), "Error construction a dimension object: Cannot have negative dimensions");
    EXPECT_EQ(detail(3, 3, 2), "");
}

TEST(MetadataElementTest, onlyNumericCellsConvertToDouble) {
    MetadataElement e("X", MetadataElement::Array, 3, 1);
    e.setNumber(0, 0, TypeInt16, -7);
    e.setText(0, 1, "text");
    EXPECT_EQ(e.toDouble(0, 0), -7.0);
    for (int column : {1, 2, 3}) {
        try {
            e.toDouble(0, column);
            ADD_FAILURE() << "column " << column;
        } catch (const Exception& ex) {
            EXPECT_STREQ(ex.what(), "bad cast in metadata");
        }
    }
}

TEST(WavraMetadataTest, tagsBecomeSinglesArraysAndTablesByTheirDimensions) {
    TagStore s;
    const double v[6] = {1, 2, 3, 4, 5, 6};
    const uint32_t one[1] = {1}, three[1] = {3}, threeByTwo[2] = {3, 2}, fourByOne[2] = {4, 1};
    s.addNumbers("SINGLE", TypeUInt8, 1, one, v);
    s.addNumbers("ARRAY", TypeUInt8, 1, three, v);
    s.addNumbers("TABLE", TypeUInt8, 2, threeByTwo, v);
    s.addNumbers("ROW", TypeUInt8, 2, fourByOne, v);
    s.addEndOfMetadata();
    const WavraMetadata md(s);
    ASSERT_EQ(md.size(), 4u);
    EXPECT_EQ(md.get("SINGLE").dimensionality(), MetadataElement::Single);
    EXPECT_EQ(md.get("ARRAY").dimensionality(), MetadataElement::Array);
    EXPECT_EQ(md.get("ARRAY").width(), 3);
    const MetadataElement& t = md.get("TABLE");
    EXPECT_EQ(t.dimensionality(), MetadataElement::Table);
    EXPECT_EQ(t.width(), 3);
    EXPECT_EQ(t.height(), 2);
    EXPECT_EQ(t.toDouble(1, 0), 4.0);  // row by row
    EXPECT_EQ(md.get("ROW").dimensionality(), MetadataElement::Array);
    EXPECT_TRUE(md.get("MISSING").isEmpty());
    EXPECT_FALSE(md.has("MISSING"));
}

TEST(WavraMetadataTest, aTagBreakingTheShapeRulesEndsTheConversionAndKeepsTheEarlierOnes) {
    for (const std::vector<uint32_t>& bad : std::vector<std::vector<uint32_t>>{{1, 5}, {1, 1}}) {
        TagStore s;
        const double v[5] = {1, 2, 3, 4, 5};
        s.addWidth(9);
        s.addNumbers("BAD", TypeUInt8, 2, bad.data(), v);
        s.addHeight(4);
        s.addEndOfMetadata();
        const WavraMetadata md(s);
        EXPECT_TRUE(md.has(Tag::WIDTH));
        EXPECT_FALSE(md.has("BAD"));
        EXPECT_FALSE(md.has(Tag::HEIGHT));
    }
}

TEST(WavraMetadataTest, aValueCountDisagreeingWithTheDimensionsIsNotConverted) {
    // 1000 x 1000 declared with one value: converting would read far past it.
    Bytes b = blockStart();
    putRecord(b, "IMAGE::SOM", 2, 1, {1}, oneU16);
    putRecord(b, "IMAGE::WIDTH", 3, 1, {1}, {0, 0, 0, 9});
    putRecord(b, "IMAGE::INPUT_LUT", 1, 1, {1000, 1000}, {7});
    putRecord(b, "IMAGE::HEIGHT", 3, 1, {1}, {0, 0, 0, 4});
    putEnd(b);
    WavraFileBuilder fb = WavraFileBuilder::simple(1, 0, 1, 1);
    fb.rawMetadata = b;
    const Bytes file = fb.build();
    const WavraMetadata md = metadataOf(file, 0);
    EXPECT_TRUE(md.has(Tag::WIDTH));
    EXPECT_FALSE(md.has(Tag::INPUT_LUT));
    EXPECT_FALSE(md.has(Tag::HEIGHT));
}

TEST(WavraMetadataTest, missingMarkerNewerBlockOrDamagedBlockGiveNoMetadataButNoFailure) {
    WavraFileBuilder noD0 = WavraFileBuilder::simple(1, 1, 2, 2);
    noD0.withD0 = false;
    noD0.tags.addWidth(2);
    EXPECT_TRUE(metadataOf(noD0.build(), 1).isEmpty());

    WavraFileBuilder newer = WavraFileBuilder::simple(1, 1, 2, 2);
    Bytes b = blockStart(2, 0);
    putEnd(b);
    newer.rawMetadata = b;
    EXPECT_TRUE(metadataOf(newer.build(), 1).isEmpty());

    WavraFileBuilder offsetPastEnd = WavraFileBuilder::simple(1, 1, 2, 2);
    offsetPastEnd.tags.addWidth(2);
    Bytes bytes = offsetPastEnd.build();
    putU32(bytes, 12 + 27 + 2, 0x7FFFFFF0u);
    EXPECT_TRUE(metadataOf(bytes, 1).isEmpty());

}

TEST(TagStoreTest, manyTagsInOneBlockAreReadInLinearTime) {
    // 60000 records: a quadratic slot search would take many seconds.
    Bytes b = blockStart();
    for (int i = 0; i < 60000; ++i) putRecord(b, "T" + std::to_string(i), 1, 1, {1}, {uint8_t(i)});
    putEnd(b);
    TagStore s;
    ASSERT_EQ(readBlock(s, b), 0);
    EXPECT_EQ(s.tagCount(), 60002);
    EXPECT_EQ(s.lookUp("T59999")->numbers.at(0), double(59999 % 256));
    EXPECT_EQ(s.find("T0"), 1);
}
