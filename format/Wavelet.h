#pragma once
// What the wavelet analysis (encoder) and synthesis (decoder) share: the
// CDF 9/7 lifting constants and the halving of indices toward minus infinity.

namespace Lumetra {

// The two directions hold the constants at different single-precision
// values, and the coded files and decoded pixels depend on those exact
// floats: moving either side to the other's values changes its output. So
// both sets stay, side by side.
namespace Cdf97Analysis {
constexpr float alpha = 1.586134f;
constexpr float beta = 0.05298f;
constexpr float gamma = 0.882911f;
constexpr float delta = 0.443507f;
constexpr float K = 1.149604f;
constexpr float invK = 0.86986476f;  // its own stored constant, not 1 / K
}  // namespace Cdf97Analysis

namespace Cdf97Synthesis {
constexpr float alpha = 1.5861344f;
constexpr float beta = 0.052980117f;
constexpr float gamma = 0.8829111f;
constexpr float delta = 0.44350684f;
}  // namespace Cdf97Synthesis

// floor(v / 2) and ceil(v / 2) for any sign of v.
template <class T>
constexpr T floorDiv2(T v) {
    return v >= 0 ? v / 2 : -((-v + 1) / 2);
}
template <class T>
constexpr T ceilDiv2(T v) {
    return -floorDiv2(-v);
}

}  // namespace Lumetra
