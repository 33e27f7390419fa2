#include "encoder/codec/BlockAnalysis.h"

#include <algorithm>
#include <cstdio>

#include "encoder/codec/ForwardLifting.h"
#include "wavra/diagnostics.h"

namespace {

size_t planeSize(const SubbandNode& n) { return size_t(n.extWidth()) * size_t(n.extHeight()); }

}  // namespace

BlockAnalysis::BlockAnalysis(const BlockGrid& grid, int bands) : grid_(grid), bands_(bands) {}

namespace {

// Moves every plane of the tree into `spare`.
void harvest(SubbandNode& node, std::vector<FloatBuffer>& spare) {
    if (node.plane.capacity() > 0) spare.push_back(std::move(node.plane));
    if (!node.split) return;
    for (auto& column : node.child)
        for (auto& c : column)
            if (c) harvest(*c, spare);
}

}  // namespace

FloatBuffer BlockAnalysis::takePlane(size_t size) {
    // The smallest spare that holds it, so that the storage of the last
    // block serves the next without new pages.
    size_t best = spare_.size();
    for (size_t i = 0; i < spare_.size(); ++i)
        if (spare_[i].capacity() >= size &&
            (best == spare_.size() || spare_[i].capacity() < spare_[best].capacity()))
            best = i;
    // Old values may stay: the column passes write every value of every band.
    if (best == spare_.size()) return FloatRecycler::take(recycler_, size);
    FloatBuffer p = std::move(spare_[best]);
    spare_.erase(spare_.begin() + std::ptrdiff_t(best));
    p.resize(size);
    return p;
}

void BlockAnalysis::releaseSpare() {
    std::vector<FloatBuffer>().swap(spare_);
    FloatBuffer().swap(lowHalf_);
    FloatBuffer().swap(highHalf_);
    std::vector<float>().swap(lineScratch_);
}

int BlockAnalysis::split(const BlockRecord& block, const float* pixels) {
    return split(block, [&](int band, int first, int) {
        return pixels + size_t(band) * planeSize(*tree_) + size_t(first) * size_t(tree_->extWidth());
    });
}

int BlockAnalysis::split(const BlockRecord& block, const RowSource& rows) {
    leaves_.clear();
    if (tree_) harvest(*tree_, spare_);
    tree_ = tree_gen(DyadicTree, grid_.levels(), block.x0, block.x1, block.y0, block.y1, grid_.width(),
                     grid_.height(), block.rightEdge, block.bottomEdge);
    if (!tree_) return 1;

    // The root covers the block's pixels, and the tree's extended regions
    // must start where the grid's cells do.
    if (tree_->extWidth() != block.x1 - block.x0 + 1 || tree_->extHeight() != block.y1 - block.y0 + 1) {
        wavra::diagnostic("Error 1 in subroutine s_init.\n");
        return 1;
    }
    for (SubbandNode* n = tree_.get(); n->split; n = n->child[0][0].get()) {
        const SubbandNode& c = *n->child[0][0];
        if (c.ex0 != grid_.columnRanges(c.depth, block.column).extStart ||
            c.ey0 != grid_.rowRanges(c.depth, block.row).extStart) {
            wavra::diagnostic("Error 1 in subroutine s_init.\n");
            return 1;
        }
    }

    for (int b = 0; b < bands_; ++b) {
        if (analyseLevel(*tree_, [&](int first, int count) { return rows(b, first, count); }, b) != 0) return 1;
        for (SubbandNode* n = tree_->child[0][0].get(); n->split; n = n->child[0][0].get()) {
            const float* plane = n->plane.data();  // an inner plane holds one band
            const size_t w = size_t(n->extWidth());
            if (analyseLevel(*n, [&](int first, int) { return plane + size_t(first) * w; }, b) != 0) return 1;
        }
    }
    // Inner low-low planes are no longer needed.
    for (SubbandNode* n = tree_->child[0][0].get(); n && n->split; n = n->child[0][0].get()) {
        spare_.push_back(std::move(n->plane));
    }
    leaves_ = treeLeaves(*tree_);
    return 0;
}

int BlockAnalysis::analyseLevel(SubbandNode& node, const PlaneRows& plane, int band) {
    SubbandNode& ll = *node.child[LowPass][LowPass];
    SubbandNode& hl = *node.child[HighPass][LowPass];
    SubbandNode& lh = *node.child[LowPass][HighPass];
    SubbandNode& hh = *node.child[HighPass][HighPass];
    // An inner low-low plane serves one band's next level at a time: it
    // holds one band; a leaf's holds them all.
    for (SubbandNode* c : {&ll, &hl, &lh, &hh})
        if (c->plane.empty()) c->plane = takePlane(size_t(c->split ? 1 : bands_) * planeSize(*c));

    const int w = node.extWidth(), h = node.extHeight();
    const int lw = ll.extWidth(), hw = hl.extWidth();

    // Column outputs: y-low at even, y-high at odd absolute rows.
    LiftingOutputs lo;
    lo.low = ll.plane.data() + size_t(ll.split ? 0 : band) * planeSize(ll);
    lo.lowStart = ll.ey0;
    lo.lowCount = ll.extHeight();
    lo.high = lh.plane.data() + size_t(band) * planeSize(lh);
    lo.highStart = lh.ey0;
    lo.highCount = lh.extHeight();
    LiftingOutputs hi;
    hi.low = hl.plane.data() + size_t(band) * planeSize(hl);
    hi.lowStart = hl.ey0;
    hi.lowCount = hl.extHeight();
    hi.high = hh.plane.data() + size_t(band) * planeSize(hh);
    hi.highStart = hh.ey0;
    hi.highCount = hh.extHeight();
    // The row passes write straight into the buffers the column passes lift
    // in, at the rows of their positions. Grown only and left unfilled:
    // every value read is written first.
    const LaneSpan lowSpan = laneSpan(node.ey0, h, lo), highSpan = laneSpan(node.ey0, h, hi);
    const size_t lowRows = size_t(lowSpan.last - lowSpan.first + 1);
    const size_t highRows = size_t(highSpan.last - highSpan.first + 1);
    if (lowHalf_.size() < size_t(lw) * lowRows) lowHalf_.resize(size_t(lw) * lowRows);
    if (highHalf_.size() < size_t(hw) * highRows) highHalf_.resize(size_t(hw) * highRows);

    // Rows: x-low at even, x-high at odd absolute columns.
    LiftingOutputs out;
    out.low = lowHalf_.data() + size_t(node.ey0 - lowSpan.first) * size_t(lw);
    out.lowStart = ll.ex0;
    out.lowCount = lw;
    out.high = highHalf_.data() + size_t(node.ey0 - highSpan.first) * size_t(hw);
    out.highStart = hl.ex0;
    out.highCount = hw;
    // A strip of rows at a time, so that the plane may come a strip at a
    // time; each row's outputs are the same.
    constexpr int kStripRows = 32;
    for (int first = 0; first < h; first += kStripRows) {
        const int count = std::min(kStripRows, h - first);
        LiftingOutputs strip = out;
        strip.low += size_t(first) * size_t(lw);
        strip.high += size_t(first) * size_t(hw);
        if (conv_ds_rows(plane(first, count), size_t(w), count, node.ex0, w, node.fullWidth, strip, size_t(lw),
                         size_t(hw), lineScratch_) != 0)
            return 1;
    }

    if (conv_ds_lanes_in_place(lowHalf_.data(), lw, lowSpan, node.ey0, h, node.fullHeight, lo) != 0) return 1;
    return conv_ds_lanes_in_place(highHalf_.data(), hw, highSpan, node.ey0, h, node.fullHeight, hi);
}
