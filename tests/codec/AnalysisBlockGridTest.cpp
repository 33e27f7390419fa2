// Block size rule, Morton grid and subband tree of the wavelet analysis.

#include <gtest/gtest.h>

#include <string>

#include "core/Exception.h"
#include "encoder/codec/BlockGrid.h"
#include "encoder/codec/SubbandTree.h"
#include "support/DiagnosticCapture.h"

namespace {

std::string blockSizeFailure(int width, int height, int levels, int blockSize) {
    try {
        chooseBlockSize(width, height, levels, blockSize, false);
    } catch (const Lumetra::Exception& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(BlockGrid, blockSizeShrinksUntilTheLastBlockExceedsTheMargin) {
    EXPECT_EQ(blockMargin(4), 121);
    EXPECT_EQ(blockMargin(5), 249);
    EXPECT_EQ(blockMargin(6), 505);
    EXPECT_EQ(chooseBlockSize(1000, 1000, 4, 512, false).width, 512);
    EXPECT_EQ(chooseBlockSize(760, 600, 5, 512, false).width, 510);
    EXPECT_EQ(chooseBlockSize(760, 600, 5, 512, false).height, 350);
    EXPECT_EQ(chooseBlockSize(1200, 1200, 5, 512, false).width, 475);
    EXPECT_EQ(chooseBlockSize(1024, 1024, 6, 512, false).width, 512);
    // Width and height are chosen independently; the full-width flag wins.
    const BlockSize s = chooseBlockSize(1200, 760, 5, 512, true);
    EXPECT_EQ(s.width, 1200);
    EXPECT_EQ(s.height, 510);
}

TEST(BlockGrid, unusableSizesFailWithTheirOwnMessage) {
    EXPECT_EQ(blockSizeFailure(120, 120, 4, 512), "Error: image too small for given nlev.");
    EXPECT_EQ(blockSizeFailure(2000, 120, 4, 512), "Error: image too small for given nlev.");
    EXPECT_EQ(blockSizeFailure(1000, 1024, 6, 512), "Error: block size too small for given nlev.");
    EXPECT_EQ(blockSizeFailure(1024, 1000, 6, 512), "Error: block size too small for given nlev.");
    // A block no larger than the margin would let contributions skip a
    // neighbour, even when it divides the image evenly.
    EXPECT_EQ(blockSizeFailure(1000, 1000, 4, 100), "Error: block size too small for given nlev.");
    EXPECT_EQ(blockSizeFailure(1000, 1000, 4, 0), "Error: block size too small for given nlev.");
    EXPECT_EQ(blockSizeFailure(121, 121, 4, 121), "");  // one block per side
    // Sizes whose filter positions would overflow are refused up front.
    EXPECT_EQ(blockSizeFailure(2000000000, 1000, 4, 512), "Memory allocation error.");
}

TEST(BlockGrid, threeByTwoGridRunsSixteenIndicesWithHolesOutsideTheImage) {
    BlockGrid grid(3 * 200 - 50, 2 * 200 - 40, 3, 200, false);
    ASSERT_EQ(grid.columns(), 3);
    ASSERT_EQ(grid.rows(), 2);
    EXPECT_EQ(grid.indexCount(), 16);
    EXPECT_EQ(grid.imageBlockCount(), 6);
    EXPECT_EQ(mortonIndex(2, 1), 6);
    for (int64_t i = 0; i < 16; ++i) {
        const bool outside = i == 5 || i == 7 || i >= 8;
        EXPECT_EQ(grid.inImage(i), !outside) << i;
    }
    const BlockRecord last = grid.record(6);
    EXPECT_EQ(last.column, 2);
    EXPECT_EQ(last.row, 1);
    EXPECT_EQ(last.x0, 400);
    EXPECT_EQ(last.x1, 549);
    EXPECT_EQ(last.y0, 200);
    EXPECT_EQ(last.y1, 359);
    EXPECT_TRUE(last.rightEdge && last.bottomEdge && !last.leftEdge && !last.topEdge);
    EXPECT_EQ(last.left, 3);
    EXPECT_EQ(last.upper, 4);
    EXPECT_EQ(last.right, -1);
    EXPECT_EQ(last.lower, -1);
    const BlockRecord first = grid.record(0);
    EXPECT_EQ(first.right, 1);
    EXPECT_EQ(first.lower, 2);
    EXPECT_TRUE(first.leftEdge && first.topEdge && !first.rightEdge && !first.bottomEdge);

    BlockGrid single(300, 300, 3, 512, false);
    EXPECT_EQ(single.indexCount(), 1);
}

TEST(BlockGrid, cellsTileEverySubbandAndStartWhereTheBlocksExtendedRegionStarts) {
    BlockGrid grid(5 * 130 + 125, 3 * 130, 4, 130, false);
    for (int d = 1; d <= 4; ++d) {
        for (int f = 0; f < 2; ++f) {
            int next = 0;
            for (int c = 0; c < grid.columns(); ++c) {
                const AxisRanges& r = grid.columnRanges(d, c);
                EXPECT_EQ(r.extStart, next) << "depth " << d << " column " << c;
                EXPECT_LE(r.extStart, r.ownStart[f]);
                EXPECT_GE(r.extEnd[f], r.ownEnd[f]);
                next = r.cellEnd[f] + 1;
            }
            EXPECT_EQ(next, grid.fullWidth(d, f));
        }
    }
}

TEST(SubbandTree, childBoundsFollowAbsoluteParity) {
    int c0 = 0, c1 = 0;
    childOwnRange(3, 10, LowPass, c0, c1);
    EXPECT_EQ(c0, 2);
    EXPECT_EQ(c1, 5);
    childOwnRange(3, 10, HighPass, c0, c1);
    EXPECT_EQ(c0, 1);
    EXPECT_EQ(c1, 4);
    childOwnRange(0, 0, HighPass, c0, c1);
    EXPECT_GT(c0, c1) << "a single even sample has no high-pass coefficient";
    childExtendedRange(200, 399, LowPass, false, 500, c0, c1);
    EXPECT_EQ(c0, 98);
    EXPECT_EQ(c1, 201);
    childExtendedRange(200, 399, HighPass, false, 500, c0, c1);
    EXPECT_EQ(c1, 200);
    childExtendedRange(1, 399, HighPass, true, 200, c0, c1);
    EXPECT_EQ(c0, 0);
    EXPECT_EQ(c1, 199);
}

TEST(SubbandTree, dyadicTreeNumbersLeavesCoarsestFirstAndRefusesMisuse) {
    testsupport::DiagnosticCapture diagnostics;
    auto tree = tree_gen(DyadicTree, 2, 0, 99, 0, 79, 100, 80, true, true);
    ASSERT_TRUE(tree);
    std::vector<SubbandNode*> leaves = treeLeaves(*tree);
    ASSERT_EQ(leaves.size(), 7u);
    const int expect[7][3] = {{2, 0, 0}, {2, 1, 0}, {2, 0, 1}, {2, 1, 1}, {1, 1, 0}, {1, 0, 1}, {1, 1, 1}};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(leaves[size_t(i)]->depth, expect[i][0]) << i;
        EXPECT_EQ(leaves[size_t(i)]->xFilter, expect[i][1]) << i;
        EXPECT_EQ(leaves[size_t(i)]->yFilter, expect[i][2]) << i;
    }
    EXPECT_EQ(leaves[0]->x1, 24);
    EXPECT_EQ(leaves[4]->x1, 49);

    auto full = tree_gen(FullTree, 2, 0, 99, 0, 79, 100, 80, true, true);
    ASSERT_TRUE(full);
    EXPECT_EQ(treeLeaves(*full).size(), 16u);

    diagnostics.take();
    EXPECT_FALSE(tree_gen(7, 2, 0, 99, 0, 79, 100, 80, true, true));
    EXPECT_NE(subband_split(*tree), 0);
    EXPECT_EQ(diagnostics.take(),
              "Internal error in tree_gen.\nInternal error in subroutine subband_split.\n");
}

TEST(BlockGrid, everyAcceptedBlockSizeKeepsContributionsBetweenDirectNeighbours) {
    // The grid refuses (with an internal error) any layout in which a
    // block's extended region would reach past its neighbour's cell.
    int accepted = 0;
    for (int levels = 1; levels <= 5; ++levels) {
        const int m = blockMargin(levels);
        for (int blockSize = m - 1; blockSize <= m + 12; ++blockSize) {
            for (int length = m; length <= 3 * blockSize + 2; length += levels > 3 ? 3 : 1) {
                try {
                    BlockGrid grid(length, m, levels, blockSize, false);
                    ++accepted;
                } catch (const Lumetra::Exception&) {
                    // refused by the block-size rule
                }
            }
        }
    }
    EXPECT_GT(accepted, 500);
}
