// The block database on hand-assembled files: grids and queries, code-block
// lengths, blocks without data, and the checks on untrusted tables.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "WavraFileBuilder.h"
#include "core/Exception.h"
#include "format/DBInfo.h"

using namespace Lumetra;
using namespace wavra_test;

namespace {

std::string failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

std::set<int32_t> visit(DBInfo& db, int s, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
    std::set<int32_t> blocks;
    for (auto it = db.iterator(s, x0, x1, y0, y1); !it->done(); it->next()) blocks.insert(it->blockNumber());
    return blocks;
}

// Every block header of every subband, read through full queries.
void readEverything(DBInfo& db) {
    for (int s = 0; s < db.subbandCount(); ++s)
        for (auto it = db.iterator(s, 0, db.width() - 1, 0, db.height() - 1); !it->done(); it->next()) {
        }
}

BandData payloadBand(std::vector<Bytes> codeBlocks, int32_t cw = 128, int32_t ch = 128) {
    BandData b;
    b.codeBlocks = std::move(codeBlocks);
    b.codeBlockWidth = cw;
    b.codeBlockHeight = ch;
    return b;
}

}  // namespace

TEST(BlockDatabaseTest, aSubbandWithoutBlocksHasAnEmptyGridAndYieldsNothing) {
    WavraFileBuilder b = WavraFileBuilder::simple(1, 1, 8, 8);
    b.subbands[2].blocks.clear();
    DBInfoMM db(bytesSource(b.build()), "wvr");
    EXPECT_EQ(db.subband(2).blockCount, 0);
    EXPECT_EQ(db.grid(2).columnCount, 0);
    EXPECT_EQ(db.grid(2).rowCount, 0);
    EXPECT_TRUE(visit(db, 2, 0, 3, 0, 3).empty());
    EXPECT_EQ(visit(db, 1, 0, 3, 0, 3), std::set<int32_t>{0});
}

TEST(BlockDatabaseTest, queriesVisitOnlyTheGridColumnsAndRowsTheyMeet) {
    WavraFileBuilder b = WavraFileBuilder::simple(1, 0, 1000, 700);
    b.subbands[0].blocks.clear();
    for (int32_t y : {0, 512})
        for (int32_t x : {0, 512})
            b.addBlock(0, x, y, x == 0 ? 511 : 999, y == 0 ? 511 : 699).bands[0] =
                payloadBand({Bytes{0xFF, 0xA3, 1}}, 512, 512);
    DBInfoMM db(bytesSource(b.build()), "wvr");
    const DBInfoMM::Grid& g = db.grid(0);
    EXPECT_EQ(g.columns, (std::vector<int32_t>{0, 512, 1000}));
    EXPECT_EQ(g.rows, (std::vector<int32_t>{0, 512, 700}));
    EXPECT_EQ(g.columnCount, 2);
    EXPECT_EQ(g.widest, 512);
    EXPECT_EQ(visit(db, 0, 600, 700, 0, 699), (std::set<int32_t>{1, 3}));
    EXPECT_EQ(visit(db, 0, 999, 999, 699, 699), std::set<int32_t>{3});
    EXPECT_EQ(visit(db, 0, 0, 511, 0, 511), std::set<int32_t>{0});
    EXPECT_EQ(visit(db, 0, 511, 512, 100, 100), (std::set<int32_t>{0, 1}));
    EXPECT_TRUE(visit(db, 0, 5, 4, 0, 10).empty());
}

TEST(BlockDatabaseTest, intervalSearchWalksFromItsGuessOverUnevenBoundaries) {
    const std::vector<int32_t> v = {0, 10, 11, 12, 100, 101, 400};
    for (int32_t a = 0; a < 400; ++a) {
        const int32_t expected = int32_t(std::upper_bound(v.begin(), v.end(), a) - v.begin()) - 1;
        EXPECT_EQ(DBInfoMM::findInterval(a, v, 299), expected) << a;
        EXPECT_EQ(DBInfoMM::findInterval(a, v, 1), expected) << a;
    }
    EXPECT_EQ(DBInfoMM::findInterval(1000, v, 299), 5);
    EXPECT_EQ(DBInfoMM::findInterval(-5, v, 299), 0);
}

TEST(BlockDatabaseTest, codeBlockLengthsRunToTheNextThingInTheFile) {
    // Three bands, the middle one without data; two code-blocks per band.
    WavraFileBuilder b = WavraFileBuilder::simple(3, 1, 512, 512);
    b.subbands[0].blocks.clear();
    {
        BlockData& first = b.addBlock(0, 0, 0, 255, 127);
        first.bands[0] = payloadBand({Bytes(5, 0xA3), Bytes(7, 0xA3)});
        first.present[1] = false;
        first.bands[2] = payloadBand({Bytes(9, 0xA3), Bytes(11, 0xA3)});
    }
    {
        BlockData& second = b.addBlock(0, 0, 128, 255, 255);
        second.bands[0] = payloadBand({Bytes(13, 0xA3)}, 256, 128);
        second.bands[1] = payloadBand({Bytes(3, 0xA3)}, 256, 128);
        second.bands[2] = payloadBand({Bytes(4, 0xA3)}, 256, 128);
    }
    const Bytes bytes = b.build();
    const BlockData& first = b.subbands[0].blocks[0];
    const BlockData& second = b.subbands[0].blocks[1];
    DBInfoMM db(bytesSource(bytes), "wvr");

    const auto h = db.readBlockHeader(0, 0);
    EXPECT_FALSE(h->hasData(1));
    EXPECT_EQ(h->step(1), 0.0f);
    EXPECT_EQ(h->codeBlockCount(1), 0);
    ASSERT_EQ(h->codeBlockCount(0), 2);
    EXPECT_EQ(h->codeBlockLength(0, 0), 5);
    // The last code-block of band 0 runs to band 2's header, past band 1.
    EXPECT_EQ(h->codeBlockOffset(0, 1) + h->codeBlockLength(0, 1), first.bands[2].headerOffset);
    EXPECT_EQ(h->codeBlockLength(2, 0), 9);
    // The last band's last code-block runs to the next block's first header.
    EXPECT_EQ(h->codeBlockOffset(2, 1) + h->codeBlockLength(2, 1), second.bands[0].headerOffset);
    // The subband's last block runs to the next section.
    const auto last = db.readBlockHeader(0, 1);
    EXPECT_EQ(last->codeBlockOffset(2, 0) + last->codeBlockLength(2, 0), b.subbands[1].offset);
    // The file's last code-block runs to the metadata block.
    const auto fileLast = db.readBlockHeader(3, 0);
    EXPECT_EQ(fileLast->codeBlockOffset(2, 0) + fileLast->codeBlockLength(2, 0), b.metadataOffset);

    // Payloads are the bytes from the offset, length + 2 of them.
    size_t n = 0;
    const uint8_t* p = db.readPayload(*h, 0, 0, &n);
    EXPECT_EQ(n, 7u);
    EXPECT_EQ(Bytes(p, p + n),
              Bytes(bytes.begin() + h->codeBlockOffset(0, 0), bytes.begin() + h->codeBlockOffset(0, 0) + 7));
}

TEST(BlockDatabaseTest, withoutTheD0MarkerTheLastCodeBlockEndsTwoBytesBeforeTheFileEnd) {
    WavraFileBuilder b = WavraFileBuilder::simple(1, 1, 8, 8);
    b.withD0 = false;
    b.withMetadata = false;
    b.subbands[3].blocks[0].bands[0] = payloadBand({Bytes{0xFF, 0xA3, 1, 2, 3, 4}});
    const Bytes bytes = b.build();
    DBInfoMM db(bytesSource(bytes), "wvr");
    const auto h = db.readBlockHeader(3, 0);
    EXPECT_EQ(h->codeBlockOffset(0, 0) + h->codeBlockLength(0, 0), int64_t(bytes.size()) - 2);
    size_t n = 0;
    db.readPayload(*h, 0, 0, &n);
    EXPECT_EQ(n, 6u);
}

TEST(BlockDatabaseTest, blocksWithoutBandDataNeitherTakeACellNorEndTheBlockBeforeThem) {
    // A writer leaves the bounds of a block without data at 0, 0, 0, 0.
    WavraFileBuilder b = WavraFileBuilder::simple(1, 0, 8, 4);
    b.subbands[0].blocks.clear();
    b.addBlock(0, 0, 0, 3, 3).bands[0] = payloadBand({Bytes{0xFF, 0xA3, 1, 2, 3}});
    b.addEmptyBlock(0);
    b.addBlock(0, 4, 0, 7, 3).bands[0] = payloadBand({Bytes{0xFF, 0xA3, 4, 5}});
    b.addEmptyBlock(0);
    const auto file = bytesSource(b.build());
    DBInfoMM db(file, "wvr");
    EXPECT_EQ(db.grid(0).columns, (std::vector<int32_t>{0, 4, 8}));
    EXPECT_EQ(visit(db, 0, 0, 7, 0, 3), (std::set<int32_t>{0, 2}));
    // Block 0's code-block keeps its payload up to block 2's header.
    const auto h0 = db.readBlockHeader(0, 0);
    EXPECT_EQ(h0->codeBlockLength(0, 0), 5);
    EXPECT_EQ(h0->codeBlockOffset(0, 0) + 5, b.subbands[0].blocks[2].bands[0].headerOffset);
    // Block 2, followed only by an empty block, runs to the metadata.
    const auto h2 = db.readBlockHeader(0, 2);
    EXPECT_EQ(h2->codeBlockOffset(0, 0) + h2->codeBlockLength(0, 0), b.metadataOffset);
    // A block with no data reads as all zero.
    const auto empty = db.readBlockHeader(0, 1);
    EXPECT_FALSE(empty->hasData(0));
    EXPECT_EQ(empty->codeBlockCount(0), 0);

    // The other kinds agree on lengths; their block numbers follow their rules.
    DBInfoSM sm(file, "wvr");
    EXPECT_EQ(visit(sm, 0, 0, 0, 0, 0), (std::set<int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(sm.readBlockHeader(0, 0)->codeBlockLength(0, 0), 5);
    DBInfoLM lm(file, "wvr");
    EXPECT_EQ(visit(lm, 0, 0, 7, 0, 3), (std::set<int32_t>{1, 2}));  // cells (0,0) and (1,0), plus 1
    auto it = lm.iterator(0, 0, 3, 0, 3);
    ASSERT_FALSE(it->done());
    EXPECT_EQ(it->current()->codeBlockLength(0, 0), 5);
    EXPECT_EQ(it->readPayload(0, 0)[2], 1);
}

TEST(BlockDatabaseTest, headerAndSectionFaultsRaiseTheirMessages) {
    const Bytes good = WavraFileBuilder::simple(1, 1, 8, 8).build();

    Bytes wrongSection = good;
    wrongSection[getU32(good, 23 + 4)] = 0x00;
    EXPECT_EQ(failureOf([&] { DBInfoMM db(bytesSource(wrongSection), "a.wvr"); }),
              "Marker problem encountered.  Possible file corruption.");

    Bytes sectionPastEnd = good;
    putU32(sectionPastEnd, 23 + 8, uint32_t(good.size()));
    EXPECT_EQ(failureOf([&] { DBInfoMM db(bytesSource(sectionPastEnd), "b.wvr"); }),
              "Error reading from stream.");

    Bytes hugeBlockCount = good;
    putU32(hugeBlockCount, getU32(good, 23) + 4, 0x10000000u);
    EXPECT_EQ(failureOf([&] { DBInfoMM db(bytesSource(hugeBlockCount), "c.wvr"); }),
              "Error reading from stream.");

    Bytes negativeBlockCount = good;
    putU32(negativeBlockCount, getU32(good, 23) + 4, 0xFFFFFFFFu);
    EXPECT_EQ(failureOf([&] { DBInfoMM db(bytesSource(negativeBlockCount), "d.wvr"); }),
              "Error reading from stream.");

    Bytes hugeLevels = good;
    putU32(hugeLevels, 11, 20);  // an offset table past the end of the file
    EXPECT_EQ(failureOf([&] { DBInfoMM db(bytesSource(hugeLevels), "e.wvr"); }),
              "Error reading from stream.");

    Bytes wrongBlockMarker = good;
    const uint32_t table = getU32(good, 23) + 8;
    wrongBlockMarker[getU32(good, table) + 1] = 0xAB;
    EXPECT_EQ(failureOf([&] {
                  DBInfoMM db(bytesSource(wrongBlockMarker), "f.wvr");
                  readEverything(db);
              }),
              "Marker problem encountered. Possible file corruption.");
}

TEST(BlockDatabaseTest, derivedSizesFromTheTablesAreBoundedBeforeUse) {
    // Blocks on a diagonal ask for columns x rows cells.
    WavraFileBuilder diagonal = WavraFileBuilder::simple(1, 0, 4000, 4000);
    diagonal.subbands[0].blocks.clear();
    for (int32_t i = 0; i < 2000; ++i) diagonal.addBlock(0, 2 * i, 2 * i, 2 * i + 1, 2 * i + 1);
    EXPECT_EQ(failureOf([&] { DBInfoMM db(bytesSource(diagonal.build()), "a.wvr"); }),
              "Invalid block table encountered. Possible file corruption.");

    // A code-block width of 0 would divide by zero.
    WavraFileBuilder zeroWidth = WavraFileBuilder::simple(1, 0, 8, 8);
    zeroWidth.subbands[0].blocks[0].bands[0].codeBlockWidth = 0;
    EXPECT_EQ(failureOf([&] {
                  DBInfoMM db(bytesSource(zeroWidth.build()), "b.wvr");
                  readEverything(db);
              }),
              "Invalid block header encountered. Possible file corruption.");

    // Billions of code-blocks cannot have their offsets in a small file.
    WavraFileBuilder manyCodeBlocks = WavraFileBuilder::simple(1, 0, 0x10001, 0x10001);
    manyCodeBlocks.subbands[0].blocks[0].bands[0].codeBlockWidth = 1;
    manyCodeBlocks.subbands[0].blocks[0].bands[0].codeBlockHeight = 1;
    EXPECT_EQ(failureOf([&] {
                  DBInfoMM db(bytesSource(manyCodeBlocks.build()), "c.wvr");
                  readEverything(db);
              }),
              "Error reading from stream.");

    // Offsets running backwards would give a negative length.
    WavraFileBuilder backwards = WavraFileBuilder::simple(1, 0, 256, 8);
    backwards.subbands[0].blocks[0].x1 = 255;
    backwards.subbands[0].blocks[0].bands[0] = payloadBand({Bytes(4, 0xA3), Bytes(4, 0xA3)});
    Bytes swapped = backwards.build();
    const BandData& band = backwards.subbands[0].blocks[0].bands[0];
    const size_t list = size_t(band.headerOffset) + 2 + 16 + 1 + 12;
    putU32(swapped, list, uint32_t(band.writtenOffsets[1]));
    putU32(swapped, list + 4, uint32_t(band.writtenOffsets[0]));
    EXPECT_EQ(failureOf([&] {
                  DBInfoMM db(bytesSource(swapped), "d.wvr");
                  readEverything(db);
              }),
              "Error reading record from stream!");

    // Blocks sharing one header would multiply the work of reading it.
    WavraFileBuilder shared = WavraFileBuilder::simple(1, 0, 8, 8);
    shared.subbands[0].blocks.clear();
    shared.addBlock(0, 0, 0, 3, 7);
    shared.addBlock(0, 4, 0, 7, 7);
    Bytes sharedBytes = shared.build();
    const size_t entries = size_t(shared.subbands[0].offset) + 8;
    putU32(sharedBytes, entries + 20, getU32(sharedBytes, entries));
    EXPECT_EQ(failureOf([&] {
                  DBInfoMM db(bytesSource(sharedBytes), "g.wvr");
                  readEverything(db);
              }),
              "Error reading record from stream!");
    // A code-block placed inside its own header's offset list.
    WavraFileBuilder inside = WavraFileBuilder::simple(1, 0, 8, 8);
    Bytes insideBytes = inside.build();
    const BandData& insideBand = inside.subbands[0].blocks[0].bands[0];
    putU32(insideBytes, size_t(insideBand.writtenOffsets[0]) - 4, uint32_t(insideBand.headerOffset));
    EXPECT_EQ(failureOf([&] {
                  DBInfoMM db(bytesSource(insideBytes), "h.wvr");
                  readEverything(db);
              }),
              "Error reading record from stream!");

    // A metadata offset of 0 (a writer stopped early) would give a negative
    // length for the file's last code-block and a huge payload read.
    Bytes truncated = WavraFileBuilder::simple(1, 0, 8, 8).build();
    putU32(truncated, 12 * 0 + 29, 0);
    EXPECT_EQ(failureOf([&] {
                  DBInfoMM db(bytesSource(truncated), "e.wvr");
                  readEverything(db);
              }),
              "Error reading record from stream!");

    // Bounds of a block with data that run backwards are refused.
    WavraFileBuilder inverted = WavraFileBuilder::simple(1, 0, 8, 8);
    inverted.subbands[0].blocks[0].x0 = 5;
    inverted.subbands[0].blocks[0].x1 = 2;
    EXPECT_EQ(failureOf([&] { DBInfoMM db(bytesSource(inverted.build()), "f.wvr"); }),
              "Invalid block table encountered. Possible file corruption.");
}
