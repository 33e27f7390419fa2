#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "CodecScratchDir.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "encoder/codec/SubbandCoder.h"
#include "encoder/codec/SubbandFile.h"
#include "encoder/codec/SubbandMap.h"
#include "support/ThrownMessage.h"

namespace {

using codectest::ScratchDir;

const auto error_text = testsupport::thrownMessage;

// Codes a block of random values too large for the memory a subband keeps,
// so that the subband moves to its file.
StoredBlock appendFiller(SubbandFile& file) {
    const int side = 400;
    std::vector<float> c(size_t(side) * side);
    for (float& v : c) v = float(std::rand() % 41 - 20);
    std::vector<int16_t> is;
    std::vector<uint8_t> cs;
    float used = 0.0f;
    const StoredBlock s =
        SubbandCoder::code_band(file, c.data(), side, side, 1.0f, nullptr, 0, 0, used, is, cs);
    EXPECT_GT(cs.size(), SubbandFile::kKeptInMemory);
    return s;
}

// Blocks whose coded data ends exactly on a byte boundary are followed
// directly by the next block's FF AA; reading each block back must stop at
// its own end whatever comes next, in any order, from memory and from the
// file the subband moves to halfway.
TEST(SubbandFile, blocksReadBackInAnyOrderWhateverTheirLastBit) {
    ScratchDir dir;
    const Lumetra::FileSpecification where(dir.path());
    SubbandFile file(&where);
    std::vector<std::vector<float>> blocks;
    std::vector<StoredBlock> stored;
    std::vector<float> steps;
    std::vector<int16_t> indexScratch;
    std::vector<uint8_t> codedScratch;
    std::srand(11);
    int endsOnByte = 0;
    for (int b = 0; b < 40; ++b) {
        if (b == 20) {
            EXPECT_FALSE(file.name().isInitialized());
            appendFiller(file);
            EXPECT_TRUE(codectest::fileExists(file.name().path()));
        }
        const int w = 3 + b, h = 2 + b % 5;
        std::vector<float> c(size_t(w) * h);
        for (float& v : c) v = float(std::rand() % 41 - 20) * (b % 3 == 0 ? 0.0f : 1.0f);
        float used = 0.0f;
        stored.push_back(SubbandCoder::code_band(file, c.data(), w, h, 1.0f, nullptr, 0, 0, used,
                                                 indexScratch, codedScratch));
        // 1-bit padding absent: the last payload byte is not a padded one.
        const size_t n = codedScratch.size();
        const bool stuffed = codedScratch[n - 1] == 0x00 && codedScratch[n - 2] == 0xFF;
        if (!stuffed && (codedScratch[n - 1] & 1) == 0) ++endsOnByte;
        blocks.push_back(c);
        steps.push_back(used);
    }
    EXPECT_GT(endsOnByte, 0);
    ASSERT_EQ(file.write_eof(), 0);
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 40; ++i) {
            const int b = pass == 0 ? i : 39 - i;
            const int w = 3 + b, h = 2 + b % 5;
            std::vector<int16_t> q;
            float step = 0.0f;
            decode_indices(file, stored[size_t(b)], w, h, q, step);
            EXPECT_EQ(step, steps[size_t(b)]);
            for (size_t k = 0; k < q.size(); ++k) ASSERT_EQ(q[k], int(blocks[size_t(b)][k])) << b;
        }
    }
}

// A band of several rows and columns of records, the last ones partial,
// comes back with every record in its own window.
TEST(SubbandFile, bandOfManyRecordsReadsBackIntoItsWindows) {
    ScratchDir dir;
    const Lumetra::FileSpecification where(dir.path());
    SubbandFile file(&where);
    const int w = 2 * SubbandCoder::kRecordSize + 7, h = SubbandCoder::kRecordSize + 3;
    std::vector<float> c(size_t(w) * h);
    for (size_t i = 0; i < c.size(); ++i) c[i] = float(int(i * 7919 % 61) - 30);
    std::vector<int16_t> is;
    std::vector<uint8_t> cs;
    float used = 0.0f;
    const StoredBlock s = SubbandCoder::code_band(file, c.data(), w, h, 1.0f, nullptr, 0, 0, used, is, cs);
    std::vector<int16_t> q;
    float step = 0.0f;
    decode_indices(file, s, w, h, q, step);
    ASSERT_EQ(q.size(), c.size());
    for (size_t i = 0; i < q.size(); ++i) ASSERT_EQ(q[i], int(c[i])) << i;
}

TEST(SubbandFile, storedBlockKeepsTheEnlargedStep) {
    ScratchDir dir;
    const Lumetra::FileSpecification where(dir.path());
    SubbandFile file(&where);
    std::vector<float> c = {2.0e6f, -1.0f, 0.0f, 5.0f};
    std::vector<int16_t> is;
    std::vector<uint8_t> cs;
    float used = 0.0f;
    const StoredBlock s = SubbandCoder::code_band(file, c.data(), 2, 2, 0.5f, nullptr, 0, 0, used, is, cs);
    EXPECT_GT(used, 60.0f);
    std::vector<int16_t> q;
    float step = 0.0f;
    decode_indices(file, s, 2, 2, q, step);
    EXPECT_EQ(step, used);
}

TEST(SubbandFile, damagedOrMismatchedBlocksAreReportedNotMisread) {
    ScratchDir dir;
    const Lumetra::FileSpecification where(dir.path());
    SubbandFile file(&where);
    std::vector<float> c(300, 0.0f);
    c[299] = 9.0f;  // a run of 299 zeros, then one value: two symbols, 300 positions
    std::vector<int16_t> is;
    std::vector<uint8_t> cs;
    float used = 0.0f;
    const StoredBlock s = SubbandCoder::code_band(file, c.data(), 300, 1, 1.0f, nullptr, 0, 0, used, is, cs);
    std::vector<int16_t> q;
    float step = 0.0f;
    decode_indices(file, s, 300, 1, q, step);  // positions, not symbols, are counted
    EXPECT_EQ(q[299], 9);
    EXPECT_EQ(error_text([&] { decode_indices(file, s, 200, 1, q, step); }),
              "Incorrect number of symbols decoded.");
    EXPECT_EQ(error_text([&] { decode_indices(file, s, 301, 1, q, step); }),
              "Error encountered in expand_data.");
    StoredBlock shifted = s;
    shifted.offset += 1;
    shifted.length -= 1;
    EXPECT_EQ(error_text([&] { decode_indices(file, shifted, 300, 1, q, step); }),
              "Error encountered in ReadHTDesc.");
    StoredBlock beyond = s;
    beyond.length += 100;
    EXPECT_EQ(error_text([&] { decode_indices(file, beyond, 300, 1, q, step); }),
              "File offset error in subroutine decode_indices.\n");
}

TEST(SubbandFile, fileIsDeletedExactlyOnceByDiscardOrDestruction) {
    ScratchDir dir;
    const Lumetra::FileSpecification where(dir.path());
    std::string name;
    {
        SubbandFile file(&where);
        appendFiller(file);
        name = file.name().path();
        EXPECT_TRUE(codectest::fileExists(name));
        EXPECT_EQ(name.rfind(dir.path(), 0), 0u);
        file.discard();
        EXPECT_FALSE(codectest::fileExists(name));
        file.discard();
        // Another file may now take the name; the old object must not touch it.
        SubbandFile next(&where);
        appendFiller(next);
        if (next.name().str() == name) {
            file.discard();
            EXPECT_TRUE(codectest::fileExists(name));
        }
    }
    {
        SubbandFile file(&where);
        appendFiller(file);
        name = file.name().path();
    }
    EXPECT_FALSE(codectest::fileExists(name));
    EXPECT_TRUE(dir.entries().empty());
}

TEST(SubbandMap, ditherOffsetsFollowTheSeededGeneratorAndStayInTable) {
    const std::vector<DitherOffsets> a = dither_offsets(28), b = dither_offsets(28);
    ASSERT_EQ(a.size(), 28u);
    // Seed 0: the first draws are 38, 7719, 21238, 2437 -> bytes 0, 30, 82, 9.
    EXPECT_EQ(a[0].column, 0);
    EXPECT_EQ(a[0].row, 30);
    EXPECT_EQ(a[1].column, 82);
    EXPECT_EQ(a[1].row, 9);
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].column, b[i].column);
        EXPECT_EQ(a[i].row, b[i].row);
        EXPECT_LT(a[i].column, 128);
        EXPECT_LT(a[i].row, 128);
    }
}

TEST(SubbandMap, unwritableDirectoryIsReportedWhenASubbandNeedsItsFile) {
    const Lumetra::FileSpecification missing("/nonexistent-wavra-dir");
    SubbandMap map = subband_map_init(2, &missing);
    EXPECT_EQ(error_text([&] { appendFiller(*map[0]->file); }),
              "Error: specified temporary directory \"/nonexistent-wavra-dir\" is not accessible or does not "
              "exist.");
}

}  // namespace
