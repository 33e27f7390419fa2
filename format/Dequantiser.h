#pragma once
// Reconstruction of quantised coefficients, with the subtractive dither: the
// decoder's and the encoder's (its thumbnail pass reads its own low-pass
// band back) one rule.

#include <cstddef>
#include <cstdint>

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

}  // namespace Lumetra
