#pragma once
// Reconstruction of quantised coefficients, with the subtractive dither: the
// decoder's and the encoder's (its thumbnail pass reads its own low-pass
// band back) one rule.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Lumetra {

struct DitherSetting {
    bool on = false;
    int d0 = 0, d1 = 0;  // the subband's dither offsets
    int x0 = 0, y0 = 0;  // the region's corner in subband coordinates
};

// out = (|q| + 0.06) * step with q's sign (0 stays 0), minus
// step * T[(y0 + d1 + i) % 128][(x0 + d0 + j) % 128] when dithering; a step
// of 0 gives zeros. q and out are width x height, rows qStride and
// outStride apart. For 16- and 32-bit indices.
template <class Index>
void dequantise(const Index* q, std::ptrdiff_t qStride, int width, int height, float step,
                const DitherSetting& dither, float* out, std::ptrdiff_t outStride);

// The value one quantised integer stands for, before dithering.
float dequantisedValue(int32_t q, float step);

// The same without a branch on q's sign, for indices met one at a time
// (|q| below 2^24). Equal to dequantisedValue but for the sign of a zero,
// which only a subnormal step can give.
inline float quickDequantisedValue(int32_t q, float step) {
    if (q == 0) return 0.0f;
    const float magnitude = step * 0.5f + (float(q < 0 ? -q : q) - 0.44f) * step;
    uint32_t bits;
    std::memcpy(&bits, &magnitude, sizeof bits);
    bits ^= uint32_t(q) & 0x80000000u;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The dither part of dequantise alone, in place: out -= step * T[...] over
// width x height samples, rows outStride apart. Nothing when dither is off.
void subtractDither(const DitherSetting& dither, int width, int height, float step, float* out,
                    std::ptrdiff_t outStride);

}  // namespace Lumetra
