#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "decoder/CodeBlockDecoder.h"
#include "format/HuffmanDecoder.h"
#include "encoder/codec/HuffmanEncoder.h"
#include "encoder/codec/SubbandFile.h"

namespace {

IndexRecord record_of(const std::vector<int16_t>& v, int width, int height) {
    IndexRecord r;
    r.data = v.data();
    r.width = width;
    r.height = height;
    r.stride = size_t(width);
    return r;
}

// Codes a record with its own table and decodes it again.
std::vector<int16_t> round_trip(const std::vector<int16_t>& v, int width, int height) {
    const IndexRecord r = record_of(v, width, height);
    Lumetra::HuffmanTable table;
    SymbolCodes codes;
    EXPECT_EQ(GenHTDesc2(&r, 1, table), 0);
    EXPECT_TRUE(table.isValid());
    EXPECT_EQ(GenCode2(table, codes), 0);
    std::vector<uint8_t> out;
    EXPECT_EQ(encode_block2(r, codes, out), 0);
    std::vector<int16_t> back(v.size(), 0);
    EXPECT_EQ(expand_data(out.data(), out.size(), table, back.data(), back.size()), 0);
    return back;
}

TEST(HuffmanEncoder, zeroRecordCodesAsOneSixteenBitRun) {
    const std::vector<int16_t> zeros(128 * 128, 0);
    const IndexRecord r = record_of(zeros, 128, 128);
    Lumetra::HuffmanTable table;
    ASSERT_EQ(GenHTDesc2(&r, 1, table), 0);
    EXPECT_EQ(table.counts[0], 1);
    EXPECT_EQ(table.codeCount(), 1);
    ASSERT_EQ(table.symbols, std::vector<uint8_t>{106});
    SymbolCodes codes;
    ASSERT_EQ(GenCode2(table, codes), 0);
    std::vector<uint8_t> out;
    ASSERT_EQ(encode_block2(r, codes, out), 0);
    // Code "0", then 16384 in 16 bits, then 1-bit padding: 0 0100000 00000000 0 1111111.
    EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0xA3, 0x20, 0x00, 0x7F}));
}

TEST(HuffmanEncoder, equalFrequenciesMergeTheLowerSymbolFirst) {
    // Symbols 0..3 once each and the reserved entry: merging the lower symbol
    // first gives 2, 3 (and the reserved entry) two bits and 0, 1 three.
    uint32_t freq[257] = {};
    freq[0] = freq[1] = freq[2] = freq[3] = 1;
    freq[256] = 1;
    Lumetra::HuffmanTable table;
    ASSERT_EQ(huffman_table_from_frequencies(freq, table), 0);
    EXPECT_EQ(table.counts[0], 0);
    EXPECT_EQ(table.counts[1], 3);
    EXPECT_EQ(table.counts[2], 1);
    EXPECT_EQ(table.symbols, (std::vector<uint8_t>{2, 3, 0, 1}));
}

TEST(HuffmanEncoder, skewedFrequenciesAreLimitedToSixteenBitsAndStayDecodable) {
    // Fibonacci frequencies give a chain of codes far longer than 16 bits.
    uint32_t freq[257] = {};
    uint32_t a = 1, b = 1;
    for (int s = 0; s < 30; ++s) {
        freq[107 + s] = a;
        const uint32_t c = a + b;
        a = b;
        b = c;
    }
    freq[256] = 1;
    Lumetra::HuffmanTable table;
    ASSERT_EQ(huffman_table_from_frequencies(freq, table), 0);
    EXPECT_TRUE(table.isValid());
    EXPECT_EQ(table.codeCount(), 30);
    EXPECT_GT(table.counts[15], 0);  // some codes were cut down to 16
    SymbolCodes codes;
    ASSERT_EQ(GenCode2(table, codes), 0);
    // Shorter codes go to the more frequent symbols.
    for (int s = 2; s < 30; ++s)
        EXPECT_LE(codes.bySymbol[107 + s].length, codes.bySymbol[107 + s - 1].length);
    for (int s = 0; s < 30; ++s) {
        EXPECT_GT(codes.bySymbol[107 + s].length, 0);
        EXPECT_LE(codes.bySymbol[107 + s].length, 16);
    }
    // No code is all ones, so the 1-bit padding never reads as a symbol.
    for (const auto& c : codes.bySymbol) {
        if (c.length) {
            EXPECT_NE(c.bits, (1u << c.length) - 1);
        }
    }
}

TEST(HuffmanEncoder, everySymbolClassRoundTrips) {
    std::vector<int16_t> v;
    for (int x : {1, -1, 45, -45, 46, -46, 255, -255, 256, -256, 32000, -32000, 7}) {
        v.push_back(int16_t(x));
        v.push_back(0);
    }
    for (int run : {30, 31, 255, 256, 65535, 65536, 70000}) {
        v.insert(v.end(), size_t(run), 0);
        v.push_back(3);
    }
    v.insert(v.end(), 500, 0);  // ends in a run
    const int width = 1000;
    v.resize((v.size() + width - 1) / width * width, 0);
    EXPECT_EQ(round_trip(v, width, int(v.size() / width)), v);
}

TEST(HuffmanEncoder, codedBytesStuffEveryFF) {
    std::vector<int16_t> v(4096);
    std::srand(3);
    for (int16_t& x : v) x = int16_t(std::rand() % 300 - 150);
    const IndexRecord r = record_of(v, 64, 64);
    Lumetra::HuffmanTable table;
    SymbolCodes codes;
    GenHTDesc2(&r, 1, table);
    GenCode2(table, codes);
    std::vector<uint8_t> out;
    ASSERT_EQ(encode_block2(r, codes, out), 0);
    size_t ff = 0;
    for (size_t i = 2; i < out.size(); ++i)
        if (out[i] == 0xFF) {
            ++ff;
            ASSERT_LT(i + 1, out.size());
            EXPECT_EQ(out[i + 1], 0x00);
            ++i;
        }
    EXPECT_GT(ff, 0u);
    EXPECT_EQ(round_trip(v, 64, 64), v);
}

TEST(HuffmanEncoder, oneTableServesSeveralRecords) {
    std::vector<int16_t> a(128 * 128, 0), b(100 * 20, 0);
    for (size_t i = 0; i < a.size(); i += 7) a[i] = 2;
    for (size_t i = 0; i < b.size(); i += 3) b[i] = -300;
    const IndexRecord records[2] = {record_of(a, 128, 128), record_of(b, 100, 20)};
    Lumetra::HuffmanTable table;
    SymbolCodes codes;
    ASSERT_EQ(GenHTDesc2(records, 2, table), 0);
    ASSERT_EQ(GenCode2(table, codes), 0);
    for (int i = 0; i < 2; ++i) {
        std::vector<uint8_t> out;
        ASSERT_EQ(encode_block2(records[i], codes, out), 0);
        const std::vector<int16_t>& src = i == 0 ? a : b;
        std::vector<int16_t> back(src.size(), 0);
        ASSERT_EQ(expand_data(out.data(), out.size(), table, back.data(), back.size()), 0);
        EXPECT_EQ(back, src);
    }
    // A symbol outside the table cannot be coded.
    std::vector<int16_t> other(10, 77);
    std::vector<uint8_t> out;
    EXPECT_NE(encode_block2(record_of(other, 10, 1), codes, out), 0);
}

// The payload and table a block header carries must decode through the
// region decoder's own Huffman tree, whole or in parts.
TEST(HuffmanEncoder, canonicalCodesDecodeThroughTheRegionDecoder) {
    const int w = 128, h = 100;
    std::vector<int16_t> v(size_t(w) * h, 0);
    std::srand(5);
    for (size_t i = 0; i < v.size(); ++i) {
        const int r = std::rand() % 100;
        if (r < 30)
            v[i] = int16_t(std::rand() % 11 - 5);
        else if (r < 33)
            v[i] = int16_t(std::rand() % 2000 - 1000);
    }
    for (size_t i = 3000; i < 3400; ++i) v[i] = 0;  // a long run across rows
    const IndexRecord r = record_of(v, w, h);
    Lumetra::HuffmanTable table;
    SymbolCodes codes;
    ASSERT_EQ(GenHTDesc2(&r, 1, table), 0);
    ASSERT_EQ(GenCode2(table, codes), 0);
    std::vector<uint8_t> payload;
    ASSERT_EQ(encode_block2(r, codes, payload), 0);
    const Lumetra::HuffmanDecoder tree(table);
    const Lumetra::CodeBlockArea whole{0, 0, w, h};
    std::vector<int32_t> out(v.size(), 0);
    Lumetra::CodeBlockCursor next;
    ASSERT_TRUE(Lumetra::decodeCodeBlockRegion(tree, payload.data(), payload.size(), out.data(), whole, whole,
                                               nullptr, next));
    for (size_t i = 0; i < v.size(); ++i) ASSERT_EQ(out[i], v[i]) << i;
    // The lower half on its own, resuming where the upper half stopped.
    const Lumetra::CodeBlockArea upper{0, 0, w, 40}, lower{0, 40, w, 60};
    std::vector<int32_t> top(size_t(w) * 40, 0), bottom(size_t(w) * 60, 0);
    Lumetra::CodeBlockCursor afterTop, afterBottom;
    ASSERT_TRUE(Lumetra::decodeCodeBlockRegion(tree, payload.data(), payload.size(), top.data(), whole, upper,
                                               nullptr, afterTop));
    ASSERT_TRUE(Lumetra::decodeCodeBlockRegion(tree, payload.data(), payload.size(), bottom.data(), whole,
                                               lower, &afterTop, afterBottom));
    for (size_t i = 0; i < bottom.size(); ++i) ASSERT_EQ(bottom[i], v[size_t(w) * 40 + i]) << i;
}

}  // namespace
