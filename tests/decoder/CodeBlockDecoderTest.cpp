// Decoding the part of a code-block that a region needs: positions mapped
// onto region rows, empty code-blocks, and resuming across strips.
#include <gtest/gtest.h>

#include <vector>

#include "decoder/CodeBlockDecoder.h"
#include "support/CodedPayload.h"

using namespace Lumetra;
using testsupport::PayloadWriter;
using testsupport::wideTable;

namespace {

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

}  // namespace

TEST(CodeBlockDecoder, longRunPassesOverRowsAndOnlyTheRegionIsStored) {
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

TEST(CodeBlockDecoder, emptyCodeBlockGivesNoCursorAndZeros) {
    const std::vector<uint8_t> payload{0xFF, 0xA3, 0xFF, 0xD9, 0xFF, 0xAA};
    bool more = true;
    const auto out = decode(payload, {0, 0, 4, 4}, {0, 0, 4, 4}, nullptr, nullptr, &more);
    EXPECT_FALSE(more);
    for (int v : out) EXPECT_EQ(v, 0);
}

TEST(CodeBlockDecoder, resumedCursorGivesTheSameCoefficientsAsOnePass) {
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
