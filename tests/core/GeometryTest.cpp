#include <gtest/gtest.h>

#include <climits>

#include "core/Exception.h"
#include "core/Geometry.h"

using namespace Lumetra;

namespace {

struct Corners {
    int32_t x0, y0, x1, y1;
};

void expectCorners(const Rectangle& r, Corners c) {
    EXPECT_EQ(r.x0(), c.x0);
    EXPECT_EQ(r.y0(), c.y0);
    EXPECT_EQ(r.x1(), c.x1);
    EXPECT_EQ(r.y1(), c.y1);
}

std::string geometryMessage(void (*action)()) {
    try {
        action();
    } catch (const GeometryException& e) {
        return e.getMessage() ? e.getMessage() : "(null)";
    }
    return "(nothing thrown)";
}

}  // namespace

TEST(Rectangle, defaultIsTheEmptyRectangleZeroOneMinusOneZero) {
    const Rectangle r;
    expectCorners(r, {0, 1, -1, 0});
    EXPECT_EQ(r.z0(), 0);
    EXPECT_EQ(r.z1(), 0);
    EXPECT_EQ(r.width(), 0);
    EXPECT_EQ(r.height(), 0);
    EXPECT_TRUE(r.isEmpty());
    EXPECT_TRUE(r.isValid());
}

TEST(Rectangle, constructionRejectsInvertedCornersAndMixedPlanesWithTheirMessages) {
    EXPECT_EQ(geometryMessage([] { Rectangle(Point(5, 0), Point(3, 0)); }),
              "Error constructing rectangle object: points do not specify a valid rectangle.");
    EXPECT_EQ(geometryMessage([] { Rectangle(Point(0, 5), Point(0, 3)); }),
              "Error constructing rectangle object: points do not specify a valid rectangle.");
    EXPECT_EQ(geometryMessage([] { Rectangle(Point(0, 0, 1), Point(4, 4, 2)); }),
              "Error constructing rectangle object: points are not in the same z plane");
    // Width zero is an empty but valid rectangle.
    EXPECT_NO_THROW(Rectangle(Point(5, 0), Point(4, 0)));
}

TEST(Rectangle, negativeDimensionIsRefused) {
    EXPECT_EQ(geometryMessage([] { Dimension(-1, 3); }),
              "Error construction a dimension object: Cannot have negative dimensions");
    EXPECT_EQ(geometryMessage([] { Dimension(3, -1); }),
              "Error construction a dimension object: Cannot have negative dimensions");
    EXPECT_NO_THROW(Dimension(0, 0));
}

TEST(Rectangle, resizeMovesTheTopLeftCornerByEachAnchor) {
    // 10 x 10 at (10, 20): centre (15, 25); resized to 4 x 6.
    const struct {
        int anchor;
        int32_t x0, y0;
    } cases[] = {
        {1, 13, 22},  // centre
        {2, 10, 22},  // middle left
        {3, 15, 22},  // middle right: x0 = x1 - w, y0 as anchor 2
        {4, 10, 20},  // top left
        {5, 13, 20},  // top centre
        {6, 15, 20},  // top right
        {7, 10, 23},  // bottom left: x0 kept, y0 = y1 - h
        {8, 13, 23},  // bottom centre
        {9, 15, 23},  // bottom right
        {0, 10, 20},  // outside 1..9: top-left kept
        {10, 10, 20}, {-3, 10, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("anchor " + std::to_string(c.anchor));
        Rectangle r(Point(10, 20), Point(19, 29));
        r.resize(Dimension(4, 6), c.anchor);
        expectCorners(r, {c.x0, c.y0, c.x0 + 3, c.y0 + 5});
    }
}

TEST(Rectangle, resizeOfOnePixelAboutTheCentre) {
    Rectangle r(Point(10, 10), Point(10, 10));
    r.resize(Dimension(1, 1), AnchorCenter);
    expectCorners(r, {10, 10, 10, 10});
    r.resize(Dimension(4, 2), AnchorCenter);
    expectCorners(r, {8, 9, 11, 10});
}

TEST(Rectangle, resizeToTheSameSizeKeepsTheRectangleEvenWhenCentring) {
    // Centring a 5-wide rectangle to width 5 would move it by one pixel;
    // an unchanged size must not move it.
    Rectangle r(Point(10, 10), Point(14, 14));
    r.resize(Dimension(5, 5), AnchorCenter);
    expectCorners(r, {10, 10, 14, 14});
}

TEST(Rectangle, resizeTruncatesTowardZeroNotDownward) {
    // Centre (-10, -10) minus 1.5 is -11.5: truncation gives -11, flooring -12.
    Rectangle r(Point(-10, -10), Point(-10, -10));
    r.resize(Dimension(3, 3), AnchorCenter);
    expectCorners(r, {-11, -11, -9, -9});
}

TEST(Rectangle, resizeOfAnInvertedRectangleThrowsTheDimensionMessage) {
    EXPECT_EQ(
        geometryMessage([] { Rectangle::fromCorners(5, 0, 2, 0).resize(Dimension(2, 2), AnchorCenter); }),
        "Error construction a dimension object: Cannot have negative dimensions");
}

TEST(Rectangle, resizeBeyondThe32BitRangeThrowsInsteadOfWrapping) {
    // The centred corner would lie far below INT32_MIN.
    EXPECT_THROW(
        Rectangle::fromCorners(INT32_MIN, 0, INT32_MIN, 0).resize(Dimension(INT32_MAX, 1), AnchorCenter),
        GeometryException);
    // The far corner would lie above INT32_MAX.
    EXPECT_THROW(
        Rectangle::fromCorners(INT32_MAX - 1, 0, INT32_MAX, 0).resize(Dimension(10, 1), AnchorTopLeft),
        GeometryException);
}

TEST(Rectangle, intersectionKeepsTheOverlap) {
    Rectangle a(Point(0, 0), Point(9, 9));
    a.intersect(Rectangle(Point(5, -3), Point(20, 4)));
    expectCorners(a, {5, 0, 9, 4});
}

TEST(Rectangle, intersectionWithoutOverlapBecomesTheCanonicalEmptyForm) {
    Rectangle horizontal(Point(0, 0), Point(9, 9));
    horizontal.intersect(Rectangle(Point(20, 2), Point(30, 5)));
    expectCorners(horizontal, {0, 2, -1, 5});
    EXPECT_EQ(horizontal.width(), 0);

    Rectangle vertical(Point(0, 0), Point(9, 9));
    vertical.intersect(Rectangle(Point(2, 20), Point(5, 30)));
    expectCorners(vertical, {2, 1, 5, 0});
    EXPECT_EQ(vertical.height(), 0);

    Rectangle neither(Point(0, 0), Point(9, 9));
    neither.intersect(Rectangle(Point(-30, -30), Point(-20, -20)));
    expectCorners(neither, {0, 1, -1, 0});

    // Touching edges still overlap by one pixel; adjacent ones leave width
    // zero, which is empty but not negative, so the corners stay.
    Rectangle touching(Point(0, 0), Point(9, 9));
    touching.intersect(Rectangle(Point(9, 0), Point(12, 9)));
    EXPECT_EQ(touching.width(), 1);
    Rectangle adjacent(Point(0, 0), Point(9, 9));
    adjacent.intersect(Rectangle(Point(10, 0), Point(12, 9)));
    expectCorners(adjacent, {10, 0, 9, 9});
    EXPECT_TRUE(adjacent.isEmpty());
}

TEST(Rectangle, widthOfExtremeCornersDoesNotOverflow) {
    const Rectangle r = Rectangle::fromCorners(INT32_MIN, 0, INT32_MIN + 9, 0);
    EXPECT_EQ(r.width(), 10);
    EXPECT_FALSE(Rectangle::fromCorners(INT32_MAX, 0, INT32_MIN, 0).isValid());
    EXPECT_TRUE(Rectangle::fromCorners(INT32_MAX, 0, INT32_MIN, 0).isEmpty());
}
