#pragma once
// The grid of processing blocks that the wavelet analysis walks in Morton
// order, and the geometry each block has at every decomposition depth.
//
// Block index i lies at column X(i) (bits 0, 2, 4, ... of i) and row Y(i)
// (bits 1, 3, 5, ...). Indices run from 0 to the smallest power of 4 above
// the index of the block that reaches both the right and the bottom edge;
// indices whose block lies outside the image carry no record.
//
// Cells: at depth d (1 = finest) every block column X owns the coefficient
// columns [cellStart(d, X), cellStart(d, X + 1) - 1] of each subband of that
// depth (the last column runs to the subband's end). A cell starts where the
// block's extended region starts, so it holds the block's own coefficients
// minus the margin its right neighbour still reaches, plus the margin of its
// left neighbour. Rows likewise. A cell is final as soon as its own block
// has been analysed and corrected, because only blocks at or before it in
// both directions contribute to it.

#include <cstddef>
#include <cstdint>
#include <vector>

// Block width and height chosen for a pass.
struct BlockSize {
    int width = 0;
    int height = 0;
};

// The margin 4 * 2^(levels + 1) - 7 that every block must exceed.
int blockMargin(int levels);

// Chooses the block size for a pass: throws Lumetra::Exception with
// "Error: image too small for given nlev." or
// "Error: block size too small for given nlev.".
BlockSize chooseBlockSize(int width, int height, int levels, int blockSize, bool fullWidth);

// Column (bits 0, 2, 4, ...) and row (bits 1, 3, 5, ...) of a Morton index.
int mortonColumn(int64_t index);
int mortonRow(int64_t index);
int64_t mortonIndex(int column, int row);

// One block of the grid. Pixel bounds are inclusive.
struct BlockRecord {
    int64_t index = 0;
    int column = 0, row = 0;
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1;
    // Grid indices of the neighbours, -1 where an image edge lies.
    int64_t left = -1, right = -1, upper = -1, lower = -1;
    bool leftEdge = false, rightEdge = false, topEdge = false, bottomEdge = false;
};

// Coefficient ranges of one block column (or row) at one depth, inclusive,
// in the subband's own coordinates. Index 0 is the low-pass child, 1 the
// high-pass child along that axis.
struct AxisRanges {
    int ownStart[2] = {0, 0}, ownEnd[2] = {-1, -1};
    int extStart = 0;  // extended start, the same for both children
    int extEnd[2] = {-1, -1};
    int cellEnd[2] = {-1, -1};  // last coefficient of the block's cell
};

class BlockGrid {
public:
    // Throws the block-size texts of chooseBlockSize; throws Error
    // "Error encountered in subroutine split." (after printing
    // "Error 1 in subroutine s_init.") if a block's margins would reach
    // beyond its direct neighbours.
    BlockGrid(int width, int height, int levels, int blockSize, bool fullWidth);

    int width() const { return width_; }
    int height() const { return height_; }
    int levels() const { return levels_; }
    BlockSize blockSize() const { return size_; }
    int columns() const { return columns_; }
    int rows() const { return rows_; }
    // Number of grid indices, in the image or not.
    int64_t indexCount() const { return indexCount_; }
    // Number of blocks that cover image pixels.
    int imageBlockCount() const { return columns_ * rows_; }
    bool inImage(int64_t index) const;
    // The record of an index inside the image.
    BlockRecord record(int64_t index) const;

    // Full length of the low (0) or high (1) child along x or y at depth d;
    // depth 0 is the image itself.
    int fullWidth(int depth, int filter) const { return fullX_[size_t(depth)][size_t(filter)]; }
    int fullHeight(int depth, int filter) const { return fullY_[size_t(depth)][size_t(filter)]; }
    // Ranges of a block column / row at depth d (1 .. levels).
    const AxisRanges& columnRanges(int depth, int column) const;
    const AxisRanges& rowRanges(int depth, int row) const;

private:
    static void axisRanges(int length, int blockLength, int count, int levels,
                           std::vector<std::vector<AxisRanges>>& out, std::vector<std::vector<int>>& full);
    static bool checkNeighbourReach(const std::vector<std::vector<AxisRanges>>& ranges);

    int width_, height_, levels_;
    BlockSize size_;
    int columns_ = 0, rows_ = 0;
    int64_t indexCount_ = 0;
    std::vector<std::vector<AxisRanges>> colRanges_, rowRanges_;  // [depth][column]
    std::vector<std::vector<int>> fullX_, fullY_;                 // [depth][filter]
};
