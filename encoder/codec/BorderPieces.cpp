#include "encoder/codec/BorderPieces.h"

#include <cstdio>
#include <cstring>

#include "core/WorkerPool.h"
#include "wavra/diagnostics.h"

void leafKind(int subband, int levels, int& depth, int& xFilter, int& yFilter) {
    if (subband == 0) {
        depth = levels;
        xFilter = yFilter = LowPass;
        return;
    }
    const int k = subband - 1;
    depth = levels - k / 3;
    const int kind = k % 3;  // HL, LH, HH
    xFilter = kind == 1 ? LowPass : HighPass;
    yFilter = kind == 0 ? LowPass : HighPass;
}

void cellBounds(const BlockGrid& grid, int subband, int column, int row, int& x0, int& x1, int& y0, int& y1) {
    int depth = 0, fx = 0, fy = 0;
    leafKind(subband, grid.levels(), depth, fx, fy);
    const AxisRanges& cx = grid.columnRanges(depth, column);
    const AxisRanges& cy = grid.rowRanges(depth, row);
    x0 = cx.extStart;
    x1 = cx.cellEnd[fx];
    y0 = cy.extStart;
    y1 = cy.cellEnd[fy];
}

OverlapExchange::OverlapExchange(const BlockGrid& grid, int bands)
    : grid_(grid), bands_(bands), waiting_(size_t(3 * grid.levels() + 1)) {}

namespace {

// Copies the rectangle [x0, x1] x [y0, y1] of a leaf's extended plane.
CoefficientPiece cut(const SubbandNode& leaf, int bands, int x0, int x1, int y0, int y1,
                     FloatRecycler* recycler) {
    CoefficientPiece p;
    p.x0 = x0;
    p.x1 = x1;
    p.y0 = y0;
    p.y1 = y1;
    p.data = FloatRecycler::take(recycler, size_t(bands) * p.area());  // every value is copied below
    const size_t w = size_t(leaf.extWidth()), plane = w * size_t(leaf.extHeight());
    for (int b = 0; b < bands; ++b) {
        const float* src = leaf.plane.data() + size_t(b) * plane;
        float* dst = p.data.data() + size_t(b) * p.area();
        for (int y = y0; y <= y1; ++y)
            std::memcpy(dst + size_t(y - y0) * size_t(p.width()),
                        src + size_t(y - leaf.ey0) * w + size_t(x0 - leaf.ex0),
                        sizeof(float) * size_t(p.width()));
    }
    return p;
}

// Turns a leaf's extended plane into the rectangle [x0, x1] x [y0, y1] that
// starts at its origin, in place: the piece takes the plane's storage.
CoefficientPiece shrink(SubbandNode& leaf, int bands, int x0, int x1, int y0, int y1) {
    CoefficientPiece p;
    p.x0 = x0;
    p.x1 = x1;
    p.y0 = y0;
    p.y1 = y1;
    p.data = std::move(leaf.plane);
    const size_t w = size_t(leaf.extWidth()), plane = w * size_t(leaf.extHeight());
    const size_t pw = size_t(p.width()), area = p.area();
    // Every row moves to an offset no later than its own, in order: no row
    // is overwritten before it has moved.
    for (int b = 0; b < bands; ++b)
        for (size_t y = 0; y < size_t(p.height()); ++y) {
            const float* src = p.data.data() + size_t(b) * plane + y * w;
            float* dst = p.data.data() + size_t(b) * area + y * pw;
            if (dst != src) std::memmove(dst, src, sizeof(float) * pw);
        }
    p.data.resize(size_t(bands) * area);  // the capacity stays
    return p;
}

// Adds a border piece into a cell; the piece must lie inside it.
bool addInto(CoefficientPiece& cell, const CoefficientPiece& part, int bands) {
    if (part.x0 < cell.x0 || part.x1 > cell.x1 || part.y0 < cell.y0 || part.y1 > cell.y1) return false;
    for (int b = 0; b < bands; ++b) {
        const float* src = part.data.data() + size_t(b) * part.area();
        float* dst = cell.data.data() + size_t(b) * cell.area();
        for (int y = part.y0; y <= part.y1; ++y) {
            const float* s = src + size_t(y - part.y0) * size_t(part.width());
            float* d = dst + size_t(y - cell.y0) * size_t(cell.width()) + size_t(part.x0 - cell.x0);
            for (int x = 0; x < part.width(); ++x) d[x] += s[x];
        }
    }
    return true;
}

}  // namespace

int OverlapExchange::keep(int subband, int column, int row, const SubbandNode& leaf, int x0, int x1, int y0,
                          int y1) {
    if (x0 > x1 || y0 > y1) return 0;
    if (column >= grid_.columns() || row >= grid_.rows()) {
        wavra::diagnostic("Error 1 in subroutine copy_data_to_borders.\n");
        return 1;
    }
    waiting_[size_t(subband)][mortonIndex(column, row)].push_back(
        cut(leaf, bands_, x0, x1, y0, y1, recycler_));
    return 0;
}

int OverlapExchange::correct(const BlockRecord& block, const std::vector<SubbandNode*>& leaves,
                             std::vector<CoefficientPiece>& cells, Lumetra::WorkerPool* pool,
                             const std::function<void(int subband, const CoefficientPiece& cell)>& after) {
    const int count = 3 * grid_.levels() + 1;
    if (int(leaves.size()) != count) {
        wavra::diagnostic("Error 1 in subroutine zero_overlap.\n");
        return 1;
    }
    cells.assign(size_t(count), CoefficientPiece());
    // Each leaf has its own waiting pieces: the leaves are independent.
    std::vector<int> status(size_t(count), 0);
    // The finest leaves, the largest, go first so that the threads end together.
    Lumetra::runJobs(pool, count, [&](int job) {
        const int s = count - 1 - job;
        status[size_t(s)] = correctLeaf(block, s, *leaves[size_t(s)], cells[size_t(s)]);
        if (status[size_t(s)] == 0 && after) after(s, cells[size_t(s)]);
    });
    for (int r : status)
        if (r != 0) return r;
    return 0;
}

int OverlapExchange::correctLeaf(const BlockRecord& block, int s, SubbandNode& leaf, CoefficientPiece& cell) {
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    cellBounds(grid_, s, block.column, block.row, x0, x1, y0, y1);
    if (leaf.ex0 != x0 || leaf.ey0 != y0 || leaf.ex1 < x1 || leaf.ey1 < y1 ||
        leaf.plane.size() != size_t(bands_) * size_t(leaf.extWidth()) * size_t(leaf.extHeight())) {
        wavra::diagnostic("Error 1 in subroutine zero_overlap.\n");
        return 1;
    }
    // This block's contributions to its right, lower and lower-right
    // neighbours, before the cell takes the plane.
    if (keep(s, block.column + 1, block.row, leaf, x1 + 1, leaf.ex1, y0, y1) != 0 ||
        keep(s, block.column, block.row + 1, leaf, x0, x1, y1 + 1, leaf.ey1) != 0 ||
        keep(s, block.column + 1, block.row + 1, leaf, x1 + 1, leaf.ex1, y1 + 1, leaf.ey1) != 0)
        return 1;
    cell = shrink(leaf, bands_, x0, x1, y0, y1);

    // Contributions the left, upper and upper-left neighbours left here.
    auto& waiting = waiting_[size_t(s)];
    auto it = waiting.find(block.index);
    if (it != waiting.end()) {
        for (const CoefficientPiece& part : it->second) {
            if (!addInto(cell, part, bands_)) {
                wavra::diagnostic("Error 1 in subroutine purge_border.\n");
                return 1;
            }
        }
        for (CoefficientPiece& part : it->second) FloatRecycler::give(recycler_, std::move(part.data));
        waiting.erase(it);
    }
    return 0;
}

size_t OverlapExchange::waitingPieces() const {
    size_t n = 0;
    for (const auto& m : waiting_)
        for (const auto& e : m) n += e.second.size();
    return n;
}

size_t OverlapExchange::waitingFloats() const {
    size_t n = 0;
    for (const auto& m : waiting_)
        for (const auto& e : m)
            for (const auto& p : e.second) n += p.data.size();
    return n;
}
