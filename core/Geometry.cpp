#include "core/Geometry.h"

#include <algorithm>

#include "core/Exception.h"

namespace Lumetra {

namespace {
const char* const kNegativeDimension =
    "Error construction a dimension object: Cannot have negative dimensions";

// Truncation toward zero. The values come from 32-bit corners and sizes, so
// they always fit 64 bits; the caller range-checks the result.
int64_t truncToInt(double v) { return static_cast<int64_t>(v); }
}  // namespace

Dimension::Dimension(int32_t width, int32_t height) : width_(width), height_(height) {
    if (width < 0 || height < 0) throw GeometryException(kNegativeDimension);
}

Rectangle::Rectangle(const Point& a, const Point& b)
    : x0_(a.x), y0_(a.y), z0_(a.z), x1_(b.x), y1_(b.y), z1_(b.z) {
    const int64_t w = int64_t(b.x) - a.x + 1;
    const int64_t h = int64_t(b.y) - a.y + 1;
    if (w < 0 || h < 0)
        throw GeometryException(
            "Error constructing rectangle object: points do not specify a valid rectangle.");
    if (w > INT32_MAX || h > INT32_MAX)
        throw GeometryException(
            "Error constructing rectangle object: points do not specify a valid rectangle.");
    if (a.z != b.z)
        throw GeometryException("Error constructing rectangle object: points are not in the same z plane");
}

Rectangle Rectangle::fromCorners(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t z) {
    Rectangle r;
    r.x0_ = x0;
    r.y0_ = y0;
    r.x1_ = x1;
    r.y1_ = y1;
    r.z0_ = r.z1_ = z;
    return r;
}

Rectangle& Rectangle::intersect(const Rectangle& o) {
    x0_ = std::max(x0_, o.x0_);
    x1_ = std::min(x1_, o.x1_);
    y0_ = std::max(y0_, o.y0_);
    y1_ = std::min(y1_, o.y1_);
    if (int64_t(x1_) - x0_ + 1 < 0) {
        x0_ = 0;
        x1_ = -1;
    }
    if (int64_t(y1_) - y0_ + 1 < 0) {
        y0_ = 1;
        y1_ = 0;
    }
    return *this;
}

Rectangle& Rectangle::resize(const Dimension& size, int anchor) {
    const int64_t W = int64_t(x1_) - x0_ + 1;
    const int64_t H = int64_t(y1_) - y0_ + 1;
    if (W < 0 || H < 0) throw GeometryException(kNegativeDimension);
    const int32_t w = size.width(), h = size.height();
    if (W == w && H == h) return *this;

    const int64_t cx = x0_ + W / 2;
    const int64_t cy = y0_ + H / 2;
    const int64_t centredX = truncToInt(double(cx) - w * 0.5);
    const int64_t centredY = truncToInt(double(cy) - h * 0.5);
    const int64_t rightX = int64_t(x1_) - w;
    const int64_t bottomY = int64_t(y1_) - h;

    int64_t nx = x0_, ny = y0_;
    switch (anchor) {
        case AnchorCenter:
            nx = centredX;
            ny = centredY;
            break;
        case AnchorMiddleLeft:
            ny = centredY;
            break;
        case AnchorMiddleRight:
            nx = rightX;
            ny = centredY;
            break;
        case AnchorTopLeft:
            break;
        case AnchorTopCenter:
            nx = centredX;
            break;
        case AnchorTopRight:
            nx = rightX;
            break;
        case AnchorBottomLeft:
            ny = bottomY;
            break;
        case AnchorBottomCenter:
            nx = centredX;
            ny = bottomY;
            break;
        case AnchorBottomRight:
            nx = rightX;
            ny = bottomY;
            break;
        default:
            break;
    }
    const int64_t nx1 = nx + w - 1;
    const int64_t ny1 = ny + h - 1;
    if (nx < INT32_MIN || ny < INT32_MIN || nx1 > INT32_MAX || ny1 > INT32_MAX)
        throw GeometryException(
            "Error constructing rectangle object: points do not specify a valid rectangle.");
    x0_ = int32_t(nx);
    y0_ = int32_t(ny);
    x1_ = int32_t(nx1);
    y1_ = int32_t(ny1);
    return *this;
}

}  // namespace Lumetra
