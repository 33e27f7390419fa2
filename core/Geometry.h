#pragma once
// Integer pixel geometry: points, dimensions and inclusive rectangles.

#include <cstdint>

namespace Lumetra {

// Column, row and plane of a pixel.
struct Point {
    int32_t x = 0, y = 0, z = 0;
    Point() = default;
    Point(int32_t x_, int32_t y_, int32_t z_ = 0) : x(x_), y(y_), z(z_) {}
    bool operator==(const Point& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const Point& o) const { return !(*this == o); }
};

// Width and height, never negative (construction throws GeometryException).
class Dimension {
public:
    Dimension() = default;
    Dimension(int32_t width, int32_t height);
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    bool operator==(const Dimension& o) const { return width_ == o.width_ && height_ == o.height_; }

private:
    int32_t width_ = 0, height_ = 0;
};

// Where a rectangle stays fixed while it is resized.
enum Anchor {
    AnchorCenter = 1,
    AnchorMiddleLeft = 2,
    AnchorMiddleRight = 3,
    AnchorTopLeft = 4,
    AnchorTopCenter = 5,
    AnchorTopRight = 6,
    AnchorBottomLeft = 7,
    AnchorBottomCenter = 8,
    AnchorBottomRight = 9
};

// Rectangle with both corners inclusive. The default rectangle is empty:
// (0, 1, 0) .. (-1, 0, 0).
class Rectangle {
public:
    Rectangle() = default;
    // Throws GeometryException when the points do not span a valid rectangle.
    Rectangle(const Point& topLeft, const Point& bottomRight);
    // Unchecked corner assignment, for callers that build rectangles from
    // values already known to be consistent.
    static Rectangle fromCorners(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t z = 0);

    int32_t x0() const { return x0_; }
    int32_t y0() const { return y0_; }
    int32_t z0() const { return z0_; }
    int32_t x1() const { return x1_; }
    int32_t y1() const { return y1_; }
    int32_t z1() const { return z1_; }
    Point topLeft() const { return Point(x0_, y0_, z0_); }
    Point bottomRight() const { return Point(x1_, y1_, z1_); }
    // Computed in 64 bits, so corners set through fromCorners never overflow.
    int32_t width() const { return int32_t(int64_t(x1_) - x0_ + 1); }
    int32_t height() const { return int32_t(int64_t(y1_) - y0_ + 1); }
    bool isEmpty() const { return int64_t(x1_) < x0_ || int64_t(y1_) < y0_; }
    bool isValid() const { return int64_t(x1_) + 1 >= x0_ && int64_t(y1_) + 1 >= y0_ && z0_ == z1_; }
    bool contains(int32_t x, int32_t y) const { return x >= x0_ && x <= x1_ && y >= y0_ && y <= y1_; }

    // In place: the overlap of both; an empty overlap becomes x0 = 0, x1 = -1
    // (no horizontal overlap) and/or y0 = 1, y1 = 0 (no vertical overlap).
    Rectangle& intersect(const Rectangle& other);
    // In place: width w and height h about one of the nine anchors.
    Rectangle& resize(const Dimension& size, int anchor);

    bool operator==(const Rectangle& o) const {
        return x0_ == o.x0_ && y0_ == o.y0_ && z0_ == o.z0_ && x1_ == o.x1_ && y1_ == o.y1_ && z1_ == o.z1_;
    }
    bool operator!=(const Rectangle& o) const { return !(*this == o); }

private:
    int32_t x0_ = 0, y0_ = 1, z0_ = 0;
    int32_t x1_ = -1, y1_ = 0, z1_ = 0;
};

}  // namespace Lumetra
