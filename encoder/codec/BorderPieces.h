#pragma once
// `correct`: the overlap-add exchange between neighbouring blocks.
//
// A block's leaf planes cover its extended bounds. The part inside the
// block's cell is combined with what the left, upper and upper-left
// neighbours (all analysed earlier) left for it, which makes the cell final.
// The parts beyond the cell (a right strip, a bottom strip and a corner) are
// the block's contributions to its right, lower and lower-right neighbours'
// cells; they wait here as border pieces until those blocks are corrected.

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "encoder/codec/BlockGrid.h"
#include "encoder/codec/FloatRecycler.h"
#include "encoder/codec/SubbandTree.h"

namespace Lumetra {
class WorkerPool;
}

// A rectangle of one leaf subband, all bands (inclusive bounds in the
// subband's coefficient grid; data band after band, row-major).
struct CoefficientPiece {
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1;
    FloatBuffer data;

    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
    size_t area() const { return size_t(width()) * size_t(height()); }
};

// Bounds of the cell of block (column, row) in leaf subband `subband`.
void cellBounds(const BlockGrid& grid, int subband, int column, int row, int& x0, int& x1, int& y0, int& y1);
// Depth (1 = finest) and x / y filters of a leaf subband of an L-level tree.
void leafKind(int subband, int levels, int& depth, int& xFilter, int& yFilter);

class OverlapExchange {
public:
    OverlapExchange(const BlockGrid& grid, int bands);

    // Produces the final cell of every leaf of the block (in leaf order) and
    // keeps its border pieces for the neighbours. Each cell takes its leaf's
    // plane (the leaves are left without one). Returns 0, or non-zero
    // after a failure message on standard error. The leaves are corrected
    // on the pool when there is one (each leaf's pieces are its own, so the
    // cells are the same); `after`, when given, gets every corrected cell
    // on the thread that corrected it.
    int correct(const BlockRecord& block, const std::vector<SubbandNode*>& leaves,
                std::vector<CoefficientPiece>& cells, Lumetra::WorkerPool* pool = nullptr,
                const std::function<void(int subband, const CoefficientPiece& cell)>& after = nullptr);

    // Where the border pieces take their storage (none: new), and where
    // they give it back once added into a cell.
    void setRecycler(FloatRecycler* recycler) { recycler_ = recycler; }

    // Number of border pieces waiting for their block.
    size_t waitingPieces() const;
    // Floats held by the waiting border pieces.
    size_t waitingFloats() const;

private:
    int correctLeaf(const BlockRecord& block, int subband, SubbandNode& leaf, CoefficientPiece& cell);
    int keep(int subband, int column, int row, const SubbandNode& leaf, int x0, int x1, int y0, int y1);

    const BlockGrid& grid_;
    int bands_;
    // Per leaf: the border pieces waiting for a cell, keyed by its block index.
    std::vector<std::unordered_map<int64_t, std::vector<CoefficientPiece>>> waiting_;
    FloatRecycler* recycler_ = nullptr;
};
