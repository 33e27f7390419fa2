#include "encoder/codec/SubbandTree.h"

#include <algorithm>
#include <cstdio>

#include "format/Wavelet.h"
#include "wavra/diagnostics.h"

namespace {

void numberLeaves(SubbandNode& node, int& next) {
    if (!node.split) {
        node.leaf = next++;
        return;
    }
    // Children in the order LL, HL, LH, HH; the walk reaches the deepest
    // low-low leaf first.
    numberLeaves(*node.child[0][0], next);
    numberLeaves(*node.child[1][0], next);
    numberLeaves(*node.child[0][1], next);
    numberLeaves(*node.child[1][1], next);
}

void collectLeaves(SubbandNode& node, std::vector<SubbandNode*>& out) {
    if (!node.split) {
        if (node.leaf >= 0) {
            if (size_t(node.leaf) >= out.size()) out.resize(size_t(node.leaf) + 1, nullptr);
            out[size_t(node.leaf)] = &node;
        }
        return;
    }
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) collectLeaves(*node.child[x][y], out);
}

int splitDown(SubbandNode& node, int kind, int levels) {
    if (node.depth >= levels) return 0;
    if (subband_split(node) != 0) return 1;
    if (splitDown(*node.child[0][0], kind, levels) != 0) return 1;
    if (kind == FullTree) {
        if (splitDown(*node.child[1][0], kind, levels) != 0) return 1;
        if (splitDown(*node.child[0][1], kind, levels) != 0) return 1;
        if (splitDown(*node.child[1][1], kind, levels) != 0) return 1;
    }
    return 0;
}

}  // namespace

void childOwnRange(int a, int b, int filter, int& c0, int& c1) {
    if (filter == LowPass) {
        c0 = Lumetra::ceilDiv2(a);
        c1 = Lumetra::floorDiv2(b);
    } else {
        c0 = Lumetra::ceilDiv2(a - 1);
        c1 = Lumetra::floorDiv2(b - 1);
    }
}

void childExtendedRange(int e0, int e1, int filter, bool touchesEnd, int length, int& c0, int& c1) {
    c0 = std::max(0, (e0 - 3) / 2);
    if (touchesEnd)
        c1 = length - 1;
    else
        c1 = std::min(length - 1, filter == LowPass ? (e1 + 4) / 2 : (e1 + 2) / 2);
}

int subband_split(SubbandNode& node) {
    if (node.split) {
        wavra::diagnostic("Internal error in subroutine subband_split.\n");
        return 1;
    }
    for (int fy = 0; fy < 2; ++fy) {
        for (int fx = 0; fx < 2; ++fx) {
            auto c = std::make_unique<SubbandNode>();
            c->depth = node.depth + 1;
            c->xFilter = fx;
            c->yFilter = fy;
            c->fullWidth = childLength(node.fullWidth, fx);
            c->fullHeight = childLength(node.fullHeight, fy);
            c->rightEdge = node.rightEdge;
            c->bottomEdge = node.bottomEdge;
            childOwnRange(node.x0, node.x1, fx, c->x0, c->x1);
            childOwnRange(node.y0, node.y1, fy, c->y0, c->y1);
            childExtendedRange(node.ex0, node.ex1, fx, node.rightEdge, c->fullWidth, c->ex0, c->ex1);
            childExtendedRange(node.ey0, node.ey1, fy, node.bottomEdge, c->fullHeight, c->ey0, c->ey1);
            c->parent = &node;
            node.child[fx][fy] = std::move(c);
        }
    }
    node.split = true;
    return 0;
}

std::unique_ptr<SubbandNode> tree_gen(int kind, int levels, int x0, int x1, int y0, int y1, int fullWidth,
                                      int fullHeight, bool rightEdge, bool bottomEdge) {
    if (kind != DyadicTree && kind != FullTree) {
        wavra::diagnostic("Internal error in tree_gen.\n");
        return nullptr;
    }
    auto root = std::make_unique<SubbandNode>();
    root->x0 = root->ex0 = x0;
    root->x1 = root->ex1 = x1;
    root->y0 = root->ey0 = y0;
    root->y1 = root->ey1 = y1;
    root->fullWidth = fullWidth;
    root->fullHeight = fullHeight;
    root->rightEdge = rightEdge;
    root->bottomEdge = bottomEdge;
    if (splitDown(*root, kind, levels) != 0) return nullptr;
    int next = 0;
    numberLeaves(*root, next);
    return root;
}

std::vector<SubbandNode*> treeLeaves(SubbandNode& root) {
    std::vector<SubbandNode*> out;
    collectLeaves(root, out);
    return out;
}
