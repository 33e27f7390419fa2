// The shared entropy decoding: symbols and their extra bits, the marker and
// empty-block rules, payloads that end early or hold no code, cursors at any
// bit, and the tables a decoder refuses.
#include <gtest/gtest.h>

#include <vector>

#include "core/Exception.h"
#include "format/CodedBlockReader.h"
#include "support/CodedPayload.h"
#include "support/ThrownMessage.h"

using namespace Lumetra;
using testsupport::PayloadWriter;
using testsupport::thrownMessage;
using testsupport::wideTable;

namespace {

const char* const kReadError = "Read error encountered while decompressing. Possible file corruption.";

// The coefficients of `count` positions, each symbol read with `decoder`.
std::vector<int32_t> readAll(const std::vector<uint8_t>& payload, size_t count,
                             const HuffmanTable& table = wideTable()) {
    const HuffmanDecoder decoder(table);
    CodedBlockReader reader(payload.data(), payload.size());
    std::vector<int32_t> out(count, 0);
    const int64_t end = reader.decode(decoder, 0, int64_t(count),
                                      [&](int64_t at, int32_t value) { out.at(size_t(at)) = value; });
    EXPECT_EQ(end, int64_t(count));
    return out;
}

}  // namespace

TEST(CodedBlockReader, directRunAndEscapeSymbolsGiveTheirValuesUpToTheLastByte) {
    PayloadWriter w(wideTable());
    w.symbol(180);  // 0
    w.symbol(107);  // -73
    w.symbol(255);  // 75 (a 9-bit code)
    w.symbol(CodedBlock::kPositive16);
    w.bits(0x8001, 16);  // signed 16-bit: -32767
    w.symbol(CodedBlock::kNegative8);
    w.bits(200, 8);
    w.symbol(3);  // three zeros
    w.symbol(CodedBlock::kNegative16);
    w.bits(0x0102, 16);
    w.symbol(CodedBlock::kPositive8);
    w.bits(0xFF, 8);  // a data byte 0xFF gets stuffed
    w.symbol(CodedBlock::kRun8);
    w.bits(2, 8);
    w.symbol(CodedBlock::kRun16);
    w.bits(0xFF00, 16);
    w.symbol(CodedBlock::kNegative16);
    w.bits(0x8000, 16);  // -(-32768)
    std::vector<int32_t> want{0, -73, 75, -32767, -200, 0, 0, 0, -258, 255, 0, 0};
    want.resize(want.size() + 0xFF00, 0);
    want.push_back(32768);
    // With the two bytes that follow a code-block in a file, and without:
    // the last symbols come through the careful path, never past the end.
    PayloadWriter exact = w;
    EXPECT_EQ(readAll(w.finish(), want.size()), want);
    EXPECT_EQ(readAll(exact.finish(true), want.size()), want);
}

TEST(CodedBlockReader, markerAndEmptyCodeBlockRules) {
    EXPECT_TRUE(codedBlockHasData(std::vector<uint8_t>{0xFF, 0xA3, 0xFF, 0x00}.data(), 4));
    EXPECT_FALSE(codedBlockHasData(std::vector<uint8_t>{0xFF, 0xA3, 0xFF, 0xD9, 0xFF, 0xAA}.data(), 6));
    EXPECT_FALSE(codedBlockHasData(std::vector<uint8_t>{0xFF, 0xA3, 0xFF}.data(), 3));
    EXPECT_EQ(thrownMessage([] {
                  codedBlockHasData(std::vector<uint8_t>{0xFF, 0xA4, 0, 0}.data(), 4);
              }),
              "Invalid marker sequence encountered while decompressing. Possible file corruption.");
    EXPECT_EQ(thrownMessage([] {
                  codedBlockHasData(std::vector<uint8_t>{0xFF, 0xA3}.data(), 2);
              }),
              kReadError);
}

TEST(CodedBlockReader, payloadEndingEarlyOrBitsThatAreNoCodeAreReadErrors) {
    PayloadWriter w(wideTable());
    for (int i = 0; i < 40; ++i) w.symbol(181);
    const std::vector<uint8_t> payload = w.finish(true);
    EXPECT_EQ(readAll(payload, 40), std::vector<int32_t>(40, 1));
    EXPECT_EQ(thrownMessage([&] { readAll(payload, 41); }), kReadError);
    // An escape whose extra bits are cut off.
    PayloadWriter cut(wideTable());
    cut.symbol(CodedBlock::kPositive16);
    cut.bits(0x12, 8);
    EXPECT_EQ(thrownMessage([&] { readAll(cut.finish(true), 1); }), kReadError);

    HuffmanTable single;  // a single code "0" for symbol 181: "1" is no code
    single.counts[0] = 1;
    single.symbols = {181};
    EXPECT_EQ(readAll({0xFF, 0xA3, 0x7F, 0xFF, 0x00}, 1, single), std::vector<int32_t>{1});
    EXPECT_EQ(thrownMessage([&] { readAll({0xFF, 0xA3, 0x7F, 0xFF, 0x00}, 2, single); }), kReadError);
}

TEST(CodedBlockReader, aCursorTakenAfterAnySymbolResumesTheSameStream) {
    PayloadWriter w(wideTable());
    std::vector<int32_t> values;
    unsigned seed = 7;
    for (int i = 0; i < 300; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int v = int((seed >> 8) % 600) - 300;  // direct symbols and 8- and 16-bit escapes
        if (v >= -73 && v <= 75) {
            w.symbol(v + 180);
        } else if (v > 0) {
            w.symbol(v <= 255 ? CodedBlock::kPositive8 : CodedBlock::kPositive16);
            w.bits(unsigned(v), v <= 255 ? 8 : 16);
        } else {
            w.symbol(CodedBlock::kNegative16);
            w.bits(unsigned(-v), 16);
        }
        values.push_back(v);
    }
    const std::vector<uint8_t> payload = w.finish(true);
    const HuffmanDecoder decoder(wideTable());
    const int64_t total = int64_t(values.size());
    for (int64_t stop = 0; stop <= total; ++stop) {
        std::vector<int32_t> got(values.size() + 1, 0);
        const auto store = [&](int64_t at, int32_t value) { got.at(size_t(at)) = value; };
        CodedBlockReader first(payload.data(), payload.size());
        ASSERT_EQ(first.decode(decoder, 0, stop, store), stop);
        const CodeBlockCursor c = first.cursor(stop);
        ASSERT_EQ(c.position, stop);
        // A cursor of a resumed reader resumes as well.
        const int64_t middle = (stop + total) / 2;
        CodedBlockReader again(payload.data(), payload.size(), c);
        ASSERT_EQ(again.decode(decoder, stop, middle, store), middle);
        CodedBlockReader resumed(payload.data(), payload.size(), again.cursor(middle));
        ASSERT_EQ(resumed.decode(decoder, middle, total, store), total);
        got.pop_back();
        EXPECT_EQ(got, values) << stop;
        EXPECT_EQ(thrownMessage([&] { resumed.decode(decoder, total, total + 1, store); }), kReadError);
    }
    CodeBlockCursor bad;
    bad.bitIndex = 8;
    EXPECT_EQ(thrownMessage([&] { CodedBlockReader(payload.data(), payload.size(), bad); }), kReadError);
}

TEST(CodedBlockReader, passingOverReachesTheSamePositionAndBitAsDecoding) {
    // Codes of 2 to 16 bits: short ones go by the lookup, the 12- and
    // 16-bit ones and the run escapes the full way.
    HuffmanTable table;
    const std::vector<std::vector<int>> byLength = {
        {}, {181, 179}, {180, 3}, {101, 105}, {103, 106}, {}, {}, {}, {}, {}, {}, {255, 107, 102, 104, 50},
        {}, {},         {},       {0, 100}};
    for (size_t n = 0; n < byLength.size(); ++n) {
        table.counts[n] = uint8_t(byLength[n].size());
        for (int symbol : byLength[n]) table.symbols.push_back(uint8_t(symbol));
    }
    const std::vector<int> symbols = {181, 179, 180, 3, 101, 105, 103, 106, 255, 107, 102, 104, 50, 0, 100};
    PayloadWriter w(table);
    unsigned seed = 11;
    int64_t total = 0;  // positions
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int symbol = symbols[(seed >> 8) % symbols.size()];
        const bool eight = symbol == 101 || symbol == 102 || symbol == 105;
        const unsigned extra = (seed >> 3) & (eight ? 0xFF : 0x3FF);
        w.symbol(symbol);
        if (symbol >= 101 && symbol <= 106) w.bits(extra, eight ? 8 : 16);
        total += symbol <= 100 ? symbol : symbol >= 105 && symbol <= 106 ? int64_t(extra) : 1;
    }
    const std::vector<uint8_t> payload = w.finish(true);
    const HuffmanDecoder decoder(table);
    for (int64_t stop = 0; stop < total; stop += 37) {
        CodedBlockReader decoding(payload.data(), payload.size()), passing(payload.data(), payload.size());
        const int64_t reached = decoding.decode(decoder, 0, stop, [](int64_t, int32_t) {});
        ASSERT_EQ(passing.passOver(decoder, 0, stop), reached) << stop;
        const CodeBlockCursor a = decoding.cursor(reached), b = passing.cursor(reached);
        EXPECT_EQ(a.byteOffset, b.byteOffset) << stop;
        EXPECT_EQ(a.currentByte, b.currentByte) << stop;
        EXPECT_EQ(a.bitIndex, b.bitIndex) << stop;
    }
}

TEST(HuffmanDecoder, hostileTablesAreRefusedWithTheReadError) {
    auto refuses = [](const HuffmanTable& t) {
        return thrownMessage([&] { HuffmanDecoder d(t); }) == kReadError;
    };
    HuffmanTable overfull;  // BITS[1] = 2, BITS[2] = 1
    overfull.counts[0] = 2;
    overfull.counts[1] = 1;
    overfull.symbols = {1, 2, 3};
    EXPECT_TRUE(refuses(overfull));

    HuffmanTable deep;  // one code of each length 1..16 needs 15 inner nodes: fine
    for (int i = 0; i < 16; ++i) deep.counts[i] = 1;
    deep.symbols.assign(16, 7);
    EXPECT_FALSE(refuses(deep));

    // The code tree may have 255 inner nodes besides its root, not one more.
    EXPECT_FALSE(refuses(wideTable()));  // 254 for the 8-bit codes, one for the 9-bit code
    HuffmanTable oneMore;
    oneMore.counts[7] = 254;
    oneMore.counts[8] = 1;
    oneMore.counts[9] = 1;
    oneMore.symbols.assign(256, 9);
    EXPECT_TRUE(oneMore.isValid());
    EXPECT_TRUE(refuses(oneMore));

    // 16-bit codes spread so that the tree needs far more than 255 inner nodes.
    HuffmanTable wide;
    wide.counts[8] = 1;     // one 9-bit code
    wide.counts[15] = 255;  // then 16-bit codes, each a new path
    wide.symbols.assign(256, 9);
    EXPECT_TRUE(wide.isValid());
    EXPECT_TRUE(refuses(wide));

    HuffmanTable mismatched;  // counts and symbol list disagree
    mismatched.counts[2] = 3;
    mismatched.symbols = {1, 2};
    EXPECT_TRUE(refuses(mismatched));
}
