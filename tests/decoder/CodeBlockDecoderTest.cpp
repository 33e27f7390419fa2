// Entropy decoding of code-block payloads, cursors, dequantisation and dither.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/Exception.h"
#include "decoder/CodeBlockDecoder.h"
#include "decoder/Dequantiser.h"
#include "decoder/HuffmanDecoder.h"
#include "format/CodedBlockSymbols.h"
#include "format/DitherTable.h"
#include "format/HuffmanTable.h"

using namespace Lumetra;

namespace {

const char* const kReadError = "Read error encountered while decompressing. Possible file corruption.";

// Symbols 0..254 get 8-bit codes (code = symbol), 255 a 9-bit code.
HuffmanTable wideTable() {
    HuffmanTable t;
    t.counts[7] = 255;
    t.counts[8] = 1;
    for (int s = 0; s < 255; ++s) t.symbols.push_back(uint8_t(s));
    t.symbols.push_back(255);
    return t;
}

// Writes symbols with the canonical codes of a table, stuffing and padding
// as a writer does.
class PayloadWriter {
public:
    explicit PayloadWriter(const HuffmanTable& table) { canonicalCodesBySymbol(table, codes_); }
    void symbol(int s) { bits(codes_[s].bits, codes_[s].length); }
    void bits(unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc_ = (acc_ << 1) | ((value >> i) & 1);
            if (++n_ == 8) flush();
        }
    }
    // The finished payload: marker, data, padding, plus two trailing bytes
    // as the block reader delivers them.
    std::vector<uint8_t> finish() {
        while (n_ != 0) {
            acc_ = (acc_ << 1) | 1;
            if (++n_ == 8) flush();
        }
        std::vector<uint8_t> out(data_.size() + 4);
        out[0] = 0xFF;
        out[1] = 0xA3;
        for (std::size_t i = 0; i < data_.size(); ++i) out[i + 2] = data_[i];
        out[data_.size() + 2] = 0xFF;
        out[data_.size() + 3] = 0xAA;
        return out;
    }

private:
    void flush() {
        data_.push_back(uint8_t(acc_));
        if (uint8_t(acc_) == 0xFF) data_.push_back(0x00);
        acc_ = 0;
        n_ = 0;
    }
    CanonicalCode codes_[256];
    std::vector<uint8_t> data_;
    unsigned acc_ = 0;
    int n_ = 0;
};

std::vector<int32_t> decode(const std::vector<uint8_t>& payload, CodeBlockArea cell, CodeBlockArea region,
                            const CodeBlockCursor* resume = nullptr, CodeBlockCursor* next = nullptr,
                            bool* more = nullptr) {
    const HuffmanDecoder dec(wideTable());
    std::vector<int32_t> out(std::size_t(region.width) * region.height, 0);
    CodeBlockCursor c;
    const bool m =
        decodeCodeBlockRegion(dec, payload.data(), payload.size(), out.data(), cell, region, resume, c);
    if (next) *next = c;
    if (more) *more = m;
    return out;
}

void expectReadError(const std::vector<uint8_t>& payload, CodeBlockArea cell, CodeBlockArea region) {
    try {
        decode(payload, cell, region);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), kReadError);
    }
}

}  // namespace

TEST(CodeBlockSymbols, directRunAndEscapeSymbolsGiveTheirValues) {
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
    const auto out = decode(w.finish(), {0, 0, 12, 1}, {0, 0, 12, 1});
    const std::vector<int32_t> want{0, -73, 75, -32767, -200, 0, 0, 0, -258, 255, 0, 0};
    EXPECT_EQ(out, want);
}

TEST(CodeBlockSymbols, longRunPassesOverRowsAndOnlyTheRegionIsStored) {
    // A 128-wide code-block; region columns 10..19 of rows 0..3.
    PayloadWriter w(wideTable());
    for (int i = 0; i < 15; ++i) w.symbol(181);  // positions 0..14 = 1
    w.symbol(CodedBlock::kRun16);
    w.bits(300, 16);                              // 15..314 zero: rest of row 0, all of row 1, row 2 up to 58
    for (int i = 0; i < 200; ++i) w.symbol(182);  // 315.. = 2
    const auto out = decode(w.finish(), {0, 0, 128, 4}, {10, 0, 10, 4});
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(out[x], x < 5 ? 1 : 0) << x;  // row 0: positions 10..14 set
        EXPECT_EQ(out[10 + x], 0);              // row 1 inside the run
        EXPECT_EQ(out[20 + x], 0);              // row 2: 266..275 inside the run
        EXPECT_EQ(out[30 + x], 2);              // row 3: 394..403 after it
    }
}

TEST(CodeBlockSymbols, emptyCodeBlockGivesNoCursorAndZeros) {
    const std::vector<uint8_t> payload{0xFF, 0xA3, 0xFF, 0xD9, 0xFF, 0xAA};
    bool more = true;
    const auto out = decode(payload, {0, 0, 4, 4}, {0, 0, 4, 4}, nullptr, nullptr, &more);
    EXPECT_FALSE(more);
    for (int v : out) EXPECT_EQ(v, 0);
}

TEST(CodeBlockSymbols, wrongMarkerIsReported) {
    try {
        decode({0xFF, 0xA4, 0x00, 0x00}, {0, 0, 1, 1}, {0, 0, 1, 1});
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(),
                     "Invalid marker sequence encountered while decompressing. Possible file corruption.");
    }
}

TEST(CodeBlockSymbols, resumedCursorGivesTheSameCoefficientsAsOnePass) {
    const int W = 37, H = 9;
    PayloadWriter w(wideTable());
    unsigned seed = 12345;
    std::vector<int32_t> truth(W * H, 0);
    for (int n = 0; n < W * H;) {
        seed = seed * 1103515245u + 12345u;
        const int r = (seed >> 16) % 10;
        if (r < 3) {
            const int run = 1 + (seed >> 8) % 20;
            w.symbol(CodedBlock::kRun8);
            w.bits(unsigned(run), 8);
            n += run;
        } else {
            const int v = int((seed >> 4) % 149) - 73;
            w.symbol(v + 180);
            if (n < W * H) truth[n] = v;
            ++n;
        }
    }
    const auto payload = w.finish();
    const CodeBlockArea cell{100, 50, W, H};
    for (int split = 51; split < 50 + H; ++split) {
        // Columns 105..120 of rows 50..split-1, then of rows split..58.
        CodeBlockCursor c;
        const auto top = decode(payload, cell, {105, 50, 16, split - 50}, nullptr, &c);
        const auto bottom = decode(payload, cell, {105, split, 16, 50 + H - split}, &c);
        const auto whole = decode(payload, cell, {105, 50, 16, H});
        std::vector<int32_t> joined(top);
        joined.insert(joined.end(), bottom.begin(), bottom.end());
        EXPECT_EQ(joined, whole) << split;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < 16; ++x) ASSERT_EQ(whole[y * 16 + x], truth[y * W + 5 + x]);
    }
}

TEST(CodeBlockSymbols, payloadEndingBeforeTheRegionIsCompleteIsAReadError) {
    PayloadWriter w(wideTable());
    for (int i = 0; i < 5; ++i) w.symbol(181);
    auto payload = w.finish();
    payload.resize(payload.size() - 2);  // no trailing bytes at all
    expectReadError(payload, {0, 0, 64, 64}, {0, 0, 64, 64});
    expectReadError({0xFF, 0xA3}, {0, 0, 2, 2}, {0, 0, 2, 2});
}

TEST(CodeBlockSymbols, bitsThatAreNoCodeAreAReadError) {
    HuffmanTable t;  // a single code "0" for symbol 181: "1" is no code
    t.counts[0] = 1;
    t.symbols = {181};
    const HuffmanDecoder dec(t);
    const std::vector<uint8_t> payload{0xFF, 0xA3, 0x80, 0x00, 0x00};
    std::vector<int32_t> out(4);
    CodeBlockCursor c;
    try {
        decodeCodeBlockRegion(dec, payload.data(), payload.size(), out.data(), {0, 0, 4, 1}, {0, 0, 4, 1},
                              nullptr, c);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), kReadError);
    }
}

TEST(HuffmanDecoder, hostileTablesAreRefusedWithTheReadError) {
    auto refuses = [](const HuffmanTable& t) {
        try {
            HuffmanDecoder d(t);
            return false;
        } catch (const Exception& e) {
            return std::strcmp(e.what(), kReadError) == 0;
        }
    };
    HuffmanTable overfull;  // BITS[1] = 2, BITS[2] = 1
    overfull.counts[0] = 2;
    overfull.counts[1] = 1;
    overfull.symbols = {1, 2, 3};
    EXPECT_TRUE(refuses(overfull));

    HuffmanTable deep;  // one code of each length 1..16 needs 16 inner nodes: fine
    for (int i = 0; i < 16; ++i) deep.counts[i] = 1;
    deep.symbols.assign(16, 7);
    EXPECT_FALSE(refuses(deep));

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

TEST(Dequantiser, reconstructsAtSixHundredthsAboveTheStep) {
    EXPECT_FLOAT_EQ(dequantisedValue(1, 1.0f), 1.06f);
    EXPECT_FLOAT_EQ(dequantisedValue(-2, 1.0f), -2.06f);
    EXPECT_FLOAT_EQ(dequantisedValue(0, 3.0f), 0.0f);
    // Beyond the tabulated range the same formula applies.
    const int32_t q[3] = {46, -46, 45};
    float out[3];
    dequantise(q, 3, 3, 1, 1.0f, DitherSetting(), out, 3);
    EXPECT_FLOAT_EQ(out[0], 46.06f);
    EXPECT_FLOAT_EQ(out[1], -46.06f);
    EXPECT_FLOAT_EQ(out[2], 45.06f);
    // A zero step gives zeros even with the dither on.
    DitherSetting on;
    on.on = true;
    dequantise(q, 3, 3, 1, 0.0f, on, out, 3);
    EXPECT_EQ(out[0], 0.0f);
}

TEST(Dequantiser, ditherIsIndexedByRegionCornerPlusSubbandOffsets) {
    const int W = 131;
    std::vector<int32_t> q(W * 2, 0);
    q[0] = 3;
    std::vector<float> out(W * 2);
    DitherSetting d;
    d.on = true;
    d.d0 = 5;
    d.d1 = 3;
    const float D = 2.0f;
    dequantise(q.data(), W, W, 2, D, d, out.data(), W);
    const float* T = ditherTable();
    EXPECT_EQ(out[0], dequantisedValue(3, D) - D * T[3 * 128 + 5]);
    EXPECT_EQ(out[130], 0.0f - D * T[3 * 128 + 7]);    // column (5 + 130) mod 128
    EXPECT_EQ(out[W + 1], 0.0f - D * T[4 * 128 + 6]);  // next row
    // A region whose corner is at (126, 125) wraps both indices.
    d.x0 = 126;
    d.y0 = 125;
    dequantise(q.data(), W, 1, 1, D, d, out.data(), W);
    EXPECT_EQ(out[0], dequantisedValue(3, D) - D * T[0 * 128 + 3]);
}
