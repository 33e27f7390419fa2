// Tree shapes, leaf numbering, child supports and the set operations that
// carry coefficients between strips.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/Exception.h"
#include "decoder/Array2D.h"
#include "decoder/Subband.h"

using namespace Lumetra;

namespace {

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

const char* const kScaleMessage =
    "Error: incompatible scale parameter input for image synthesis.\n scale is less than 0 or greater than "
    "nlev\n";

}  // namespace

TEST(SubbandTree, leavesAreNumberedCoarsestLowPassFirstThenByLevel) {
    auto root = Subband::buildTree(40, 30, 1, 2, 0, 0, 39, 0, 29);
    std::vector<const Subband*> leaves;
    root->forEachLeaf([&](Subband& l) { leaves.push_back(&l); });
    ASSERT_EQ(leaves.size(), 7u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(leaves[i]->leafIndex(), i);
    const Subband* ll1 = root->child(0, 0);
    EXPECT_EQ(leaves[0], ll1->child(0, 0));   // LL2
    EXPECT_EQ(leaves[1], ll1->child(1, 0));   // HL2
    EXPECT_EQ(leaves[2], ll1->child(0, 1));   // LH2
    EXPECT_EQ(leaves[3], ll1->child(1, 1));   // HH2
    EXPECT_EQ(leaves[4], root->child(1, 0));  // HL1
    EXPECT_EQ(leaves[5], root->child(0, 1));  // LH1
    EXPECT_EQ(leaves[6], root->child(1, 1));  // HH1
    // Full sizes round up for low-pass and down for high-pass.
    EXPECT_EQ(root->child(0, 0)->fullWidth(), 20);
    EXPECT_EQ(root->child(1, 1)->fullHeight(), 15);
    EXPECT_EQ(ll1->child(0, 0)->fullHeight(), 8);
    EXPECT_EQ(ll1->child(1, 1)->fullHeight(), 7);
    // Weights: K per low-pass direction, 1/K per high-pass one.
    EXPECT_FLOAT_EQ(root->child(0, 0)->weight(), 1.1496044f * 1.1496044f);
    EXPECT_FLOAT_EQ(root->child(1, 1)->weight(), 0.8698644f * 0.8698644f);
}

TEST(SubbandTree, treeAtTheCoarsestScaleIsOneLeafAndOutOfRangeScalesAreRefused) {
    auto leaf = Subband::buildTree(1000, 700, 3, 4, 4, 0, 62, 0, 43);
    EXPECT_TRUE(leaf->isLeaf());
    EXPECT_EQ(leaf->leafIndex(), 0);
    EXPECT_EQ(leaf->fullWidth(), 63);
    EXPECT_EQ(leaf->fullHeight(), 44);
    EXPECT_EQ(messageOf([] { Subband::buildTree(100, 100, 1, 3, 4, 0, 0, 0, 0); }), kScaleMessage);
    EXPECT_EQ(messageOf([] { Subband::buildTree(100, 100, 1, 3, 40, 0, 0, 0, 0); }), kScaleMessage);
    EXPECT_EQ(messageOf([] { Subband::buildTree(100, 100, 1, 3, 0, 0, 100, 0, 0); }),
              "Error: bogus image support specified.");
    EXPECT_EQ(messageOf([] { Subband::buildTree(100, 100, 1, 3, 0, 5, 4, 0, 0); }),
              "Error: bogus image support specified.");
}

TEST(SubbandTree, childSupportsAreWidenedThenClippedAtTheEdges) {
    // Region [0, 0] of a 20-sample line: children 10 long.
    auto root = Subband::buildTree(20, 20, 1, 1, 0, 0, 0, 0, 0);
    EXPECT_EQ(root->child(0, 0)->support().x0, 0);
    EXPECT_EQ(root->child(0, 0)->support().x1, 3);
    EXPECT_EQ(root->child(1, 0)->support().x0, 0);
    EXPECT_EQ(root->child(1, 0)->support().x1, 2);
    // A region ending on the last sample of a 13-sample line: children 7 and 6.
    auto end = Subband::buildTree(13, 13, 1, 1, 0, 12, 12, 12, 12);
    EXPECT_EQ(end->child(0, 0)->support().x1, 6);
    EXPECT_EQ(end->child(1, 0)->support().x1, 5);
    EXPECT_EQ(end->child(0, 0)->support().x0, 5);
    EXPECT_EQ(end->child(1, 0)->support().x0, 4);
}

TEST(SubbandTree, largestIntSizesHalveWithoutOverflow) {
    // A header may claim the largest int as width or height; its children are
    // 2^30 and 2^30 - 1 wide, not negative.
    auto root = Subband::buildTree(INT32_MAX, INT32_MAX, 1, 1, 0, 0, 15, 0, 15);
    EXPECT_EQ(root->child(0, 0)->fullWidth(), 1 << 30);
    EXPECT_EQ(root->child(1, 0)->fullWidth(), (1 << 30) - 1);
    EXPECT_EQ(root->child(0, 1)->fullHeight(), (1 << 30) - 1);
}

TEST(SubbandTree, negativeScaleTreeNumbersItsFinerLeavesAfterTheFileOnes) {
    auto root = Subband::buildTree(16, 16, 1, 2, -1, 0, 31, 0, 31);
    EXPECT_TRUE(root->negativeScale());
    EXPECT_EQ(root->fullWidth(), 32);
    int count = 0, maxIndex = -1;
    root->forEachLeaf([&](Subband& l) {
        ++count;
        maxIndex = std::max(maxIndex, l.leafIndex());
    });
    EXPECT_EQ(count, 10);
    EXPECT_EQ(root->child(1, 1)->leafIndex(), 9);  // 3 * nlev + 1 and above
}

TEST(SubbandTree, overlapAndDifferenceSplitTheNextStripsRows) {
    // Two adjacent strips of a 64 x 64 image with 2 levels.
    auto first = Subband::buildTree(64, 64, 2, 2, 0, 0, 63, 0, 31);
    auto second = Subband::buildTree(64, 64, 2, 2, 0, 0, 63, 32, 63);
    // Fill the first tree's leaves with a recognisable pattern.
    first->forEachLeaf([](Subband& l) {
        l.allocateSupport();
        for (int b = 0; b < 2; ++b)
            for (int y = 0; y < l.height(); ++y)
                for (int x = 0; x < l.width(); ++x)
                    l.at(b, x, y) = float(l.leafIndex() * 10000 + (l.support().y0 + y) * 100 + x + b * 0.5f);
    });
    auto overlap = Subband::intersect(first.get(), second.get());
    ASSERT_TRUE(overlap);
    auto diff = Subband::difference(second.get(), overlap.get());
    // Every leaf: overlap rows + difference rows = the second tree's rows.
    std::vector<Subband*> o, d, s;
    overlap->forEachLeaf([&](Subband& l) { o.push_back(&l); });
    diff->forEachLeaf([&](Subband& l) { d.push_back(&l); });
    second->forEachLeaf([&](Subband& l) { s.push_back(&l); });
    ASSERT_EQ(o.size(), s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        ASSERT_TRUE(o[i]->support().present) << i;
        EXPECT_EQ(o[i]->support().y0, s[i]->support().y0);
        if (d[i]->support().present) {
            EXPECT_EQ(d[i]->support().y0, o[i]->support().y1 + 1);
            EXPECT_EQ(d[i]->support().y1, s[i]->support().y1);
        } else {
            EXPECT_EQ(o[i]->support().y1, s[i]->support().y1);
        }
    }
    // Copying the overlap carries the first tree's samples over.
    second->copy(overlap.get());
    const Subband* leaf = s[4];
    const float want = float(leaf->leafIndex() * 10000 + leaf->support().y0 * 100 + 3 + 0.5f);
    EXPECT_EQ(leaf->at(1, 3, 0), want);
    // Rows the first strip never held stay zero.
    EXPECT_EQ(leaf->at(0, 3, leaf->height() - 1), 0.0f);
}

TEST(SubbandTree, differenceAndCopyRefuseMismatchedTrees) {
    auto a = Subband::buildTree(64, 64, 1, 2, 0, 0, 63, 0, 31);
    auto shifted = Subband::buildTree(64, 64, 1, 2, 0, 0, 31, 0, 31);
    EXPECT_EQ(messageOf([&] { Subband::difference(a.get(), nullptr); }), "Error 1 in Subband::difference()");
    EXPECT_EQ(messageOf([&] { Subband::difference(a.get(), shifted.get()); }),
              "Error 3 in Subband::difference()");
    auto threeBands = Subband::buildTree(64, 64, 3, 2, 0, 0, 63, 0, 31);
    EXPECT_EQ(messageOf([&] { Subband::intersect(a.get(), threeBands.get()); }),
              "Error 1 in Subband::intersect()");
    auto leafOnly = Subband::buildTree(64, 64, 1, 2, 2, 0, 15, 0, 7);
    EXPECT_EQ(messageOf([&] { a->copy(leafOnly.get()); }), "Error 1 in Subband::copy()");
    EXPECT_EQ(messageOf([&] { a->copy(shifted.get()); }), "Error 2 in Subband::copy()");
}

TEST(SubbandSynthesis, constantLowPassSynthesisesToAConstantRegionUpToTheBorders) {
    // Only the coarsest LL holds a value; every other band is zero.
    for (int scale : {0, 1}) {
        auto root = Subband::buildTree(37, 29, 1, 3, scale, 0, (37 >> scale) - 1 + (scale ? 1 : 0), 0,
                                       (29 >> scale) - 1 + (scale ? 1 : 0));
        root->forEachLeaf([](Subband& l) {
            l.allocateSupport();
            if (l.leafIndex() == 0)
                for (int y = 0; y < l.height(); ++y)
                    for (int x = 0; x < l.width(); ++x) l.at(0, x, y) = 50.0f;
        });
        root->synthesize(nullptr);
        EXPECT_TRUE(root->isLeaf());
        const float level = root->at(0, 0, 0);
        EXPECT_GT(level, 1.0f);
        for (int y = 0; y < root->height(); ++y)
            for (int x = 0; x < root->width(); ++x)
                ASSERT_NEAR(root->at(0, x, y), level, 1e-3) << x << "," << y;
    }
}

TEST(SubbandSynthesis, rootPlanesShareOneAllocationBandAfterBand) {
    auto root = Subband::buildTree(40, 40, 3, 2, 0, 3, 30, 5, 20);
    root->forEachLeaf([](Subband& l) { l.allocateSupport(); });
    root->synthesize(nullptr);
    const std::ptrdiff_t plane = std::ptrdiff_t(root->width()) * root->height();
    EXPECT_EQ(root->band(1), root->band(0) + plane);
    EXPECT_EQ(root->band(2), root->band(0) + 2 * plane);
}

TEST(SubbandSynthesis, unknownOrganisationAndInterruptAreReported) {
    auto root = Subband::buildTree(40, 40, 1, 1, 0, 0, 39, 0, 39);
    root->forEachLeaf([](Subband& l) { l.allocateSupport(); });
    root->setOrganisation(2);
    EXPECT_EQ(messageOf([&] { root->synthesize(nullptr); }),
              "Unknown data organization encountered during subband synthesis.");
    auto other = Subband::buildTree(40, 40, 1, 1, 0, 0, 39, 0, 39);
    other->forEachLeaf([](Subband& l) { l.allocateSupport(); });
    EXPECT_EQ(messageOf([&] { other->synthesize([] { return 1; }); }), "Program interrupt encountered");
}

TEST(Array2D, constructionAndBandTransferCheckTheirArguments) {
    float* planes[2] = {new float[6](), new float[6]()};
    EXPECT_EQ(messageOf([&] { Array2D<float> bad(planes, 3, 2, 2, 0, 3); }), "Error 1 in Array2D ctor 1.");
    Array2D<float> a(planes, 3, 2, 2, 0, 0);  // owns both planes now
    EXPECT_EQ(a.rowStep(), 3);
    EXPECT_EQ(messageOf([&] { Array2D<float> taken(a, 2); }), "Error 1 in Array2D ctor 3.");
    Array2D<float> one(a, 1);
    EXPECT_EQ(a.band(1), nullptr);
    Array2D<float> wrong;
    wrong.allocate(2, 2, 1);
    EXPECT_EQ(messageOf([&] { a.setBand(wrong, 1); }), "Error 1 in Array2D<T>::set_band()");
    a.setBand(one, 1);
    EXPECT_NE(a.band(1), nullptr);
    Array2D<float> big;
    big.allocate(4, 4, 1);
    EXPECT_EQ(messageOf([&] { a.insert(big, 0, 0); }), "Error 1 in Array2D::insert()");
    Array2D<float> small;
    small.allocate(1, 1, 1);
    EXPECT_EQ(messageOf([&] { a.insert(small, 0, 0); }), "Error 2 in Array2D::insert()");
}

TEST(SubbandSynthesis, tinyImagesEitherSynthesiseInsideTheirPlanesOrAreRefused) {
    // Lines shorter than five samples at some level (only other writers make
    // them): values may be anything finite, but nothing is read outside the
    // planes (checked under the address sanitizer) and bad shapes are refused.
    for (int w = 1; w <= 9; ++w) {
        for (int h = 1; h <= 9; h += 2) {
            for (int levels = 1; levels <= 3; ++levels) {
                std::unique_ptr<Subband> root;
                try {
                    root = Subband::buildTree(w, h, 1, levels, 0, 0, w - 1, 0, h - 1);
                } catch (const Exception& e) {
                    EXPECT_STREQ(e.what(), "Error: bogus image support specified.");
                    continue;
                }
                root->forEachLeaf([](Subband& l) {
                    l.allocateSupport();
                    for (int y = 0; y < l.height(); ++y)
                        for (int x = 0; x < l.width(); ++x) l.at(0, x, y) = float(x + 2 * y);
                });
                root->synthesize(nullptr);
                ASSERT_EQ(root->width(), w);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) ASSERT_TRUE(std::isfinite(root->at(0, x, y)));
            }
        }
    }
}
