#include "encoder/codec/BlockGrid.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "core/Error.h"
#include "core/Exception.h"
#include "encoder/codec/SubbandTree.h"
#include "wavra/diagnostics.h"

namespace {

const char* const kImageTooSmall = "Error: image too small for given nlev.";
const char* const kBlockTooSmall = "Error: block size too small for given nlev.";

// Blocks per side are limited so that every Morton index fits in 31 bits.
const int kMaxBlocksPerSide = 1 << 15;
const int kMaxLength = 1 << 30;

int chooseLength(int length, int blockSize, int margin) {
    int b = std::min(blockSize, length);
    // A block no wider than the margin would let the filter reach past its
    // direct neighbours; only a single block spanning the image may be.
    if (b <= 0 || (b <= margin && b < length)) throw Lumetra::Exception(kBlockTooSmall);
    while (length % b != 0 && length % b <= margin) {
        --b;
        if (b <= margin) throw Lumetra::Exception(kBlockTooSmall);
    }
    return b;
}

}  // namespace

int blockMargin(int levels) { return 4 * (1 << (levels + 1)) - 7; }

BlockSize chooseBlockSize(int width, int height, int levels, int blockSize, bool fullWidth) {
    if (levels < 1 || levels > 20) throw Lumetra::InvalidArgumentException("levels");
    const int m = blockMargin(levels);
    if (width < m || height < m) throw Lumetra::Exception(kImageTooSmall);
    // Filter positions (twice a coefficient index plus the filter reach)
    // must stay within int.
    if (width > kMaxLength || height > kMaxLength) throw Lumetra::Exception("Memory allocation error.");
    BlockSize s;
    s.width = chooseLength(width, blockSize, m);
    s.height = chooseLength(height, blockSize, m);
    if (fullWidth) s.width = width;
    return s;
}

int mortonColumn(int64_t index) {
    int v = 0;
    for (int bit = 0; bit < 16; ++bit) v |= int((index >> (2 * bit)) & 1) << bit;
    return v;
}

int mortonRow(int64_t index) {
    int v = 0;
    for (int bit = 0; bit < 16; ++bit) v |= int((index >> (2 * bit + 1)) & 1) << bit;
    return v;
}

int64_t mortonIndex(int column, int row) {
    int64_t i = 0;
    for (int bit = 0; bit < 16; ++bit) {
        i |= int64_t((column >> bit) & 1) << (2 * bit);
        i |= int64_t((row >> bit) & 1) << (2 * bit + 1);
    }
    return i;
}

BlockGrid::BlockGrid(int width, int height, int levels, int blockSize, bool fullWidth)
    : width_(width), height_(height), levels_(levels) {
    size_ = chooseBlockSize(width, height, levels, blockSize, fullWidth);
    columns_ = int((int64_t(width) + size_.width - 1) / size_.width);
    rows_ = int((int64_t(height) + size_.height - 1) / size_.height);
    if (columns_ > kMaxBlocksPerSide || rows_ > kMaxBlocksPerSide)
        throw Lumetra::Exception("Memory allocation error.");
    const int64_t last = mortonIndex(columns_ - 1, rows_ - 1);
    indexCount_ = 1;
    while (indexCount_ <= last) indexCount_ *= 4;

    axisRanges(width, size_.width, columns_, levels, colRanges_, fullX_);
    axisRanges(height, size_.height, rows_, levels, rowRanges_, fullY_);
    if (!checkNeighbourReach(colRanges_) || !checkNeighbourReach(rowRanges_)) {
        wavra::diagnostic("Error 1 in subroutine s_init.\n");
        throw Error("Error encountered in subroutine split.");
    }
}

void BlockGrid::axisRanges(int length, int blockLength, int count, int levels,
                           std::vector<std::vector<AxisRanges>>& out, std::vector<std::vector<int>>& full) {
    full.assign(size_t(levels) + 1, std::vector<int>(2, 0));
    full[0][0] = full[0][1] = length;
    for (int d = 1; d <= levels; ++d) {
        full[size_t(d)][0] = childLength(full[size_t(d) - 1][0], LowPass);
        full[size_t(d)][1] = childLength(full[size_t(d) - 1][0], HighPass);
    }
    out.assign(size_t(levels) + 1, std::vector<AxisRanges>(size_t(count)));
    for (int c = 0; c < count; ++c) {
        int a = c * blockLength;
        int b = int(std::min<int64_t>(length, int64_t(a) + blockLength) - 1);
        int e0 = a, e1 = b;
        const bool touchesEnd = c == count - 1;
        AxisRanges& root = out[0][size_t(c)];
        root.ownStart[0] = root.ownStart[1] = root.extStart = a;
        root.ownEnd[0] = root.ownEnd[1] = root.extEnd[0] = root.extEnd[1] = b;
        for (int d = 1; d <= levels; ++d) {
            AxisRanges& r = out[size_t(d)][size_t(c)];
            for (int f = 0; f < 2; ++f) {
                childOwnRange(a, b, f, r.ownStart[f], r.ownEnd[f]);
                int s = 0;
                childExtendedRange(e0, e1, f, touchesEnd, full[size_t(d)][size_t(f)], s, r.extEnd[f]);
                r.extStart = s;
            }
            a = r.ownStart[0];
            b = r.ownEnd[0];
            e0 = r.extStart;
            e1 = r.extEnd[0];
        }
    }
    for (int d = 0; d <= levels; ++d) {
        for (int c = 0; c < count; ++c) {
            AxisRanges& r = out[size_t(d)][size_t(c)];
            for (int f = 0; f < 2; ++f)
                r.cellEnd[f] = c + 1 < count ? out[size_t(d)][size_t(c) + 1].extStart - 1
                                             : full[size_t(d)][size_t(f)] - 1;
        }
    }
}

// Every cell must be non-empty, lie inside the block's extended region, and
// the part of the extended region beyond the cell must fall in the next
// cell only: contributions then travel to direct neighbours alone.
bool BlockGrid::checkNeighbourReach(const std::vector<std::vector<AxisRanges>>& ranges) {
    for (size_t d = 1; d < ranges.size(); ++d) {
        const std::vector<AxisRanges>& rs = ranges[d];
        for (size_t c = 0; c < rs.size(); ++c) {
            const AxisRanges& r = rs[c];
            if (c == 0 && r.extStart != 0) return false;
            for (int f = 0; f < 2; ++f) {
                if (r.cellEnd[f] < r.extStart || r.extEnd[f] < r.cellEnd[f]) return false;
                if (c + 1 < rs.size()) {
                    if (r.extEnd[f] > rs[c + 1].cellEnd[f]) return false;
                } else if (r.extEnd[f] != r.cellEnd[f]) {
                    return false;
                }
            }
        }
    }
    return true;
}

bool BlockGrid::inImage(int64_t index) const {
    if (index < 0 || index >= indexCount_) return false;
    return mortonColumn(index) < columns_ && mortonRow(index) < rows_;
}

BlockRecord BlockGrid::record(int64_t index) const {
    BlockRecord r;
    r.index = index;
    r.column = mortonColumn(index);
    r.row = mortonRow(index);
    r.x0 = r.column * size_.width;
    r.x1 = int(std::min<int64_t>(width_, int64_t(r.x0) + size_.width) - 1);
    r.y0 = r.row * size_.height;
    r.y1 = int(std::min<int64_t>(height_, int64_t(r.y0) + size_.height) - 1);
    r.leftEdge = r.column == 0;
    r.rightEdge = r.column == columns_ - 1;
    r.topEdge = r.row == 0;
    r.bottomEdge = r.row == rows_ - 1;
    if (!r.leftEdge) r.left = mortonIndex(r.column - 1, r.row);
    if (!r.rightEdge) r.right = mortonIndex(r.column + 1, r.row);
    if (!r.topEdge) r.upper = mortonIndex(r.column, r.row - 1);
    if (!r.bottomEdge) r.lower = mortonIndex(r.column, r.row + 1);
    return r;
}

const AxisRanges& BlockGrid::columnRanges(int depth, int column) const {
    return colRanges_[size_t(depth)][size_t(column)];
}

const AxisRanges& BlockGrid::rowRanges(int depth, int row) const {
    return rowRanges_[size_t(depth)][size_t(row)];
}
