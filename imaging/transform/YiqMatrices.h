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

// YIQ to RGB: R, G and B are Y plus these multiples of I and Q. The
// decoder's single-precision values (decoded pixels depend on them; G from
// Q is one step off the nearest float of the exact inverse)...
constexpr float kRfromI = 0.94521606f, kRfromQ = 0.63271606f;
constexpr float kGfromI = -0.28935185f, kGfromQ = -0.60185188f;
constexpr float kBfromI = -1.0995370f, kBfromQ = 1.7129630f;
// ...and the inverse of kFromRgb to eight decimals, rows R, G, B, columns
// Y, I, Q, for the encoder's estimates of how coding errors reach pixels.
constexpr double kToRgb[3][3] = {
    {1.0, 0.94521605, 0.63271605}, {1.0, -0.28935185, -0.60185185}, {1.0, -1.09953704, 1.71296296}};

}  // namespace Yiq
}  // namespace Lumetra
