#pragma once
// A node of the subband tree that the decoder reconstructs a region from.
// The root is the region at the decoding scale; each inner node has four
// children one wavelet level coarser; leaves take their coefficients from
// the file. Every node is also a multi-band array holding its support.

#include <functional>
#include <memory>
#include <vector>

#include "core/FloatBuffer.h"
#include "decoder/Array2D.h"

namespace Lumetra {

class WorkerPool;

// Non-zero asks the running operation to stop (it then throws Interrupt).
using InterruptHook = std::function<int()>;

// Inclusive column and row range held by a node, or none.
struct SubbandSupport {
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1;
    bool present = false;
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
};

class Subband : public Array2DFloat {
public:
    // The tree for region [x0, x1] x [y0, y1] at `scale` of a width x height
    // image with `bands` bands and `levels` wavelet levels; leaves numbered,
    // no coefficients loaded. Throws on a bad region or scale.
    static std::unique_ptr<Subband> buildTree(int width, int height, int bands, int levels, int scale, int x0,
                                              int x1, int y0, int y1);

    // Calls `visit` on every leaf in increasing leaf-index order.
    void forEachLeaf(const std::function<void(Subband&)>& visit);

    // The part of a's coefficients that b also covers (none when a or b is
    // none, or the deepest LL leaf of the result holds nothing).
    static std::unique_ptr<Subband> intersect(const Subband* a, const Subband* b, WorkerPool* pool = nullptr);
    // The rows of each leaf of a below those of b (b is the overlap kept from
    // the previous strip).
    static std::unique_ptr<Subband> difference(const Subband* a, const Subband* b, Subband* parent = nullptr);
    // Copies other's coefficients into the matching rows of this tree (the
    // bands of the leaves shared out over `pool` when one is given).
    void copy(const Subband* other, WorkerPool* pool = nullptr);
    // Makes every leaf of this tree, a difference of `owner`'s, a view of
    // the same rows of owner's leaf; owner's leaves without planes get
    // zeroed ones first. The views stay valid while owner keeps its planes.
    void viewRowsOf(Subband& owner);

    // Working lines of the synthesis, one set for each part a pass splits
    // into; kept by the caller from one strip to the next so that they are
    // not allocated (and faulted in) again for every node.
    using SynthesisScratch = std::vector<FloatBuffer>;

    // Merges every inner node from the coarsest level up; afterwards this node
    // is a leaf holding its support's samples, all bands in one allocation.
    // Large passes are shared out over `pool` when one is given.
    void synthesize(const InterruptHook& interrupt, WorkerPool* pool = nullptr,
                    SynthesisScratch* scratch = nullptr);

    bool isLeaf() const { return !children_[0][0]; }
    int leafIndex() const { return leafIndex_; }
    int fullWidth() const { return fullWidth_; }
    int fullHeight() const { return fullHeight_; }
    float weight() const { return weight_; }
    int organisation() const { return organisation_; }
    bool negativeScale() const { return negativeScale_; }
    const SubbandSupport& support() const { return support_; }
    // [xFilter][yFilter], 0 low-pass, 1 high-pass; null for a leaf.
    Subband* child(int xFilter, int yFilter) const { return children_[xFilter][yFilter].get(); }
    Subband* parent() const { return parent_; }
    // Follows [0][0] down to the coarsest low-pass leaf.
    Subband* deepestLowPass();
    // Allocates planes for the support (one per band), zeroed unless the
    // caller writes every sample.
    void allocateSupport(bool zeroed = true);

    void setOrganisation(int code) { organisation_ = code; }  // for tests of the synthesis guard

private:
    // A node without support or planes, in the same place of the tree as `a`.
    static std::unique_ptr<Subband> shapeLike(const Subband* a, Subband* parent);
    Subband() = default;
    static std::unique_ptr<Subband> makeNode(int fullWidth, int fullHeight, int bands, int levels, int level,
                                             int x0, int x1, int y0, int y1, bool negativeScale,
                                             Subband* parent, int xFilter, int yFilter);
    void numberLeaves(int& next);
    // A leaf of this tree, the leaf of another it copies from, and whether
    // its planes were taken for the copy (the rest of them then zeroed).
    struct LeafCopy {
        Subband* to;
        const Subband* from;
        bool fresh;
    };
    // The intersection below `parent`, its leaves' copies gathered.
    static std::unique_ptr<Subband> intersect(const Subband* a, const Subband* b, Subband* parent,
                                              std::vector<LeafCopy>& copies);
    // Checks the trees match and gathers their leaf pairs, taking planes.
    void gatherCopies(const Subband* other, std::vector<LeafCopy>& copies);
    void copyBand(const Subband& other, int band, bool fresh);
    void merge(const InterruptHook& interrupt, WorkerPool* pool, SynthesisScratch& scratch);

    int leafIndex_ = -1;
    int fullWidth_ = 0;
    int fullHeight_ = 0;
    int organisation_ = 1;
    float weight_ = 1.0f;
    SubbandSupport support_;
    std::unique_ptr<Subband> children_[2][2];
    Subband* parent_ = nullptr;
    bool negativeScale_ = false;
    int bandCount_ = 0;
};

}  // namespace Lumetra
