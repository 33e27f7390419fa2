// Dump schedule, hooks and memory of the wavelet analysis pass.

#include <gtest/gtest.h>

#include <string>

#include "AnalysisReference.h"
#include "core/Error.h"
#include "encoder/codec/WaveletAnalyzer.h"

using namespace analysis_test;

namespace {

std::string runFailure(WaveletAnalyzer& analyzer, RecordingSink& sink) {
    try {
        analyzer.run(sink);
    } catch (const Error& e) {
        return e.message();
    }
    return "";
}

}  // namespace

TEST(DumpSchedule, depthsAreWrittenWhenTheirGroupOfBlocksIsCompleteInLeafOrder) {
    // 3 x 2 grid, three levels: indices 0 .. 15, six of them in the image.
    MemorySource source(3 * 70 - 5, 2 * 70 - 8, 1, false);
    WaveletAnalyzer analyzer(source, 3, 70);
    RecordingSink sink;
    analyzer.run(sink);
    EXPECT_EQ(source.reads, 6);
    ASSERT_EQ(sink.started.size(), 16u);
    ASSERT_EQ(sink.done.size(), 16u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(sink.done[size_t(i)], i);

    int lastIndex = -2, lastSubband = -1;
    int perDepth[4] = {0, 0, 0, 0};
    for (const auto& w : sink.written) {
        const int d = w.piece.depth;
        ++perDepth[d];
        if (w.afterIndex >= 0) {
            EXPECT_EQ((w.afterIndex + 1) % (1 << (2 * (d - 1))), 0)
                << "depth " << d << " after index " << w.afterIndex;
        }
        if (w.afterIndex == lastIndex) {
            EXPECT_GT(w.piece.subband, lastSubband) << "leaf order within one dump";
        }
        lastIndex = w.afterIndex;
        lastSubband = w.piece.subband;
    }
    // Finest: one piece per block; depth 2: groups {0..3} and {4, 6};
    // depth 3: one piece of all six blocks.
    EXPECT_EQ(perDepth[1], 3 * 6);
    EXPECT_EQ(perDepth[2], 3 * 2);
    EXPECT_EQ(perDepth[3], 4);
    for (const auto& w : sink.written) {
        if (w.piece.depth == 2 && w.piece.subband == 4 && w.afterIndex == 7) {
            EXPECT_EQ(w.piece.blocks, (std::vector<int>{4, 6}));
        }
        if (w.piece.depth == 3) {
            EXPECT_EQ(w.piece.blocks.size(), 6u);
        }
    }
}

TEST(DumpSchedule, finalFlushWritesTheCoarseBandsOfAnUnfinishedGroup) {
    // 2 x 1 grid, four levels: indices 0 .. 3; depth 4 groups 64 blocks.
    MemorySource source(2 * 130 - 3, 130, 3, true);
    WaveletAnalyzer analyzer(source, 4, 130);
    RecordingSink sink;
    analyzer.run(sink);
    int flushed = 0;
    for (const auto& w : sink.written) {
        if (w.afterIndex == -1) {
            ++flushed;
            EXPECT_GE(w.piece.depth, 3);
            EXPECT_EQ(w.piece.blocks, (std::vector<int>{0, 1}));
        }
    }
    EXPECT_EQ(flushed, 4 + 3);
}

TEST(WaveletAnalyzerHooks, interruptsAndRefusedPiecesStopThePassWithTheirMessages) {
    MemorySource source(100, 100, 1, false);
    {
        WaveletAnalyzer analyzer(source, 2, 40);
        RecordingSink sink;
        sink.interruptAtPoll = 2;  // after correct of the first block
        EXPECT_EQ(runFailure(analyzer, sink), "Program interrupt encountered.");
        EXPECT_TRUE(sink.written.empty());
    }
    {
        WaveletAnalyzer analyzer(source, 2, 40);
        RecordingSink sink;
        sink.interruptAfter = 4;
        EXPECT_EQ(runFailure(analyzer, sink), "Program interrupt encountered.");
        EXPECT_EQ(sink.done.back(), 4);
    }
    {
        WaveletAnalyzer analyzer(source, 2, 40);
        RecordingSink sink;
        sink.failWrite = 1;
        EXPECT_EQ(runFailure(analyzer, sink), "Error encountered in subroutine output2disk.");
        EXPECT_EQ(sink.written.size(), 1u);
    }
}

TEST(WaveletAnalyzerMemory, heldCoefficientsGrowWithTheGridWidthNotItsArea) {
    auto peak = [](int side, int levels, int block) {
        MemorySource source(side, side, 1, true);
        WaveletAnalyzer analyzer(source, levels, block);
        RecordingSink sink;
        analyzer.run(sink);
        return double(analyzer.peakHeldFloats());
    };
    const int block = blockMargin(2) + 7;  // 32
    const double small = peak(8 * block, 2, block), large = peak(16 * block, 2, block);
    EXPECT_LT(large / small, 2.5) << "held coefficients grow like the image area";
    const double blockRow = 16.0 * block * block;
    EXPECT_LT(large, 2.0 * blockRow) << "more than two block rows of pieces are held";
}
