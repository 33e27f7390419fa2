#pragma once
// The colour matrices between RGB (or CMYK) and the YIQ (or YIQK) planes the
// codec works in, as single-precision coefficients. The pixel transformers
// and the encoder's block conversion both take them from here.

namespace Lumetra {
namespace Yiq {

// RGB to YIQ: rows Y, I, Q; columns R, G, B.
constexpr float kFromRgb[3][3] = {{0.3f, 0.6f, 0.1f}, {0.6f, -0.28f, -0.32f}, {0.21f, -0.53f, 0.32f}};

// CMYK to YIQK, columns C, M, Y(ellow), K: Y = 255 minus the weighted inks,
// I and Q from the three colour inks, K the smallest colour ink.
constexpr float kLumaFromInks[4] = {0.15f, 0.3f, 0.05f, 0.5f};
constexpr float kIFromInks[3] = {-0.3f, 0.14f, 0.16f};
constexpr float kQFromInks[3] = {-0.105f, 0.265f, -0.16f};

// YIQ to RGB: R, G and B are Y plus these multiples of I and Q.
constexpr float kRfromI = 0.94521606f, kRfromQ = 0.63271606f;
constexpr float kGfromI = -0.28935185f, kGfromQ = -0.60185188f;
constexpr float kBfromI = -1.0995370f, kBfromQ = 1.7129630f;

}  // namespace Yiq
}  // namespace Lumetra
