#pragma once
// `split`: the L-level two-dimensional analysis of one block, every band.
//
// The block's tree is built dyadically; each level transforms the rows of
// the low-low node over its extended bounds and then the columns of both
// halves, so each child plane covers the child's extended bounds and holds
// the block's share of the whole-image coefficients there (zero-padded
// outside the block, folded at the image edges). The leaves keep their
// planes until the overlap exchange takes them (each becomes a cell).

#include <functional>
#include <memory>
#include <vector>

#include "encoder/codec/BlockGrid.h"
#include "encoder/codec/FloatRecycler.h"
#include "encoder/codec/SubbandTree.h"

class BlockAnalysis {
public:
    BlockAnalysis(const BlockGrid& grid, int bands);

    // Analyses a block whose pixels are `bands` planes over its rectangle.
    // Returns 0, or non-zero after a failure message on standard error.
    int split(const BlockRecord& block, const float* pixels);
    // The same with the pixels given a few rows at a time: rows(b, first,
    // count) gives rows first .. first + count - 1 of band b (row-major, the
    // block's width), read only until the next call; the bands are asked
    // for in order, each from its first row to its last.
    using RowSource = std::function<const float*(int band, int first, int count)>;
    int split(const BlockRecord& block, const RowSource& rows);

    // The leaves of the block analysed last, in leaf order; each plane holds
    // the bands one after another over the leaf's extended bounds.
    const std::vector<SubbandNode*>& leaves() const { return leaves_; }

    // Where planes come from when no plane of an earlier block fits (none:
    // new). The leaves' planes are usually taken away (by the overlap
    // exchange) and come back through it.
    void setRecycler(FloatRecycler* recycler) { recycler_ = recycler; }

    // Lets go of the storage kept for the next block (the spare planes and
    // the lifting buffers); the leaves stay.
    void releaseSpare();

private:
    // Rows first .. first + count - 1 of the node's plane of the band.
    using PlaneRows = std::function<const float*(int first, int count)>;
    int analyseLevel(SubbandNode& node, const PlaneRows& plane, int band);
    // A plane of `size` floats (values unspecified), on the storage of an
    // earlier block's plane when one is large enough.
    FloatBuffer takePlane(size_t size);

    const BlockGrid& grid_;
    int bands_;
    std::unique_ptr<SubbandNode> tree_;
    std::vector<SubbandNode*> leaves_;
    FloatBuffer lowHalf_, highHalf_;  // grown unfilled: every value read is written first
    std::vector<float> lineScratch_;
    std::vector<FloatBuffer> spare_;  // planes of the last block, for the next
    FloatRecycler* recycler_ = nullptr;
};
