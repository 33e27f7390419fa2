#pragma once
// The subband tree of one block and band: nodes with their own and extended
// bounds, built dyadically (only the low-low child is split again) or fully.
//
// Along one axis a node covering absolute positions a .. b has a low child
// with the even positions, ceil(a/2) .. floor(b/2), and a high child with the
// odd positions, ceil((a-1)/2) .. floor((b-1)/2). The extended bounds are
// where the block's own pixels still contribute after the filter has spread
// them: start max(0, (e0 - 3) / 2) for both children, end (e1 + 4) / 2 for
// the low and (e1 + 2) / 2 for the high child, or the child's own end when
// the block touches that image edge (always clipped to the child's length).

#include <array>
#include <memory>
#include <vector>

#include "core/FloatBuffer.h"

enum { LowPass = 0, HighPass = 1 };

// Own range of a child along one axis (filter LowPass or HighPass).
void childOwnRange(int a, int b, int filter, int& c0, int& c1);
// Extended range of a child along one axis; childLength is the child's full length.
void childExtendedRange(int e0, int e1, int filter, bool touchesEnd, int childLength, int& c0, int& c1);
// Full length of a child of a line of n samples.
inline int childLength(int n, int filter) { return filter == LowPass ? (n + 1) / 2 : n / 2; }

struct SubbandNode {
    int depth = 0;  // 0 = the block itself
    int xFilter = LowPass, yFilter = LowPass;
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1;        // own bounds at the node's level
    int ex0 = 0, ex1 = -1, ey0 = 0, ey1 = -1;    // extended bounds
    int fullWidth = 0, fullHeight = 0;           // length of the whole subband
    bool rightEdge = false, bottomEdge = false;  // the block touches that image edge
    bool split = false;
    int leaf = -1;  // leaf number, -1 for inner nodes
    SubbandNode* parent = nullptr;
    std::unique_ptr<SubbandNode> child[2][2];  // [x filter][y filter]
    FloatBuffer plane;                         // bands planes over the extended bounds

    int extWidth() const { return ex1 - ex0 + 1; }
    int extHeight() const { return ey1 - ey0 + 1; }
};

enum TreeKind { DyadicTree = 0, FullTree = 1 };

// Splits a node into its four children (bounds only, no planes). Prints
// "Internal error in subroutine subband_split." and returns non-zero when
// the node is already split.
int subband_split(SubbandNode& node);

// Builds a tree of the given kind, `levels` deep, on a root with the given
// own (= extended) bounds, and numbers its leaves. Prints
// "Internal error in tree_gen." and returns null for an unknown kind.
std::unique_ptr<SubbandNode> tree_gen(int kind, int levels, int x0, int x1, int y0, int y1, int fullWidth,
                                      int fullHeight, bool rightEdge, bool bottomEdge);

// The leaves in leaf order (index = leaf number).
std::vector<SubbandNode*> treeLeaves(SubbandNode& root);
