#pragma once
// Dithered scalar quantiser and its inverse for one band of one coded block.

#include <cstddef>
#include <cstdint>

// Column and row offsets of a subband into the shared dither table.
struct DitherOffsets {
    uint8_t column = 0;  // d0
    uint8_t row = 0;     // d1
};

// Quantises width x height coefficients (row-major, `stride` floats apart
// from one row to the next) into indices (row-major, width apart). The
// block's first coefficient sits at subband position (x0, y0); when `dither`
// is given, step x T[(y + d1) mod 128][(x + d0) mod 128] is added at subband
// position (x, y) first. A step of 0 gives all zeros. Returns the step
// actually used: enlarged to about max|c| / 32760 when the indices would
// not fit 16 bits. `rounding` places the decision points: |c| gets index
// floor(|c| / step + rounding) with the sign of c (0.5: to the nearest).
float sq(const float* coefficients, int width, int height, size_t stride, float step,
         const DitherOffsets* dither, int x0, int y0, int16_t* indices, float rounding = 0.5f);

// Inverse of sq for a block whose first index sits at subband position
// (x0, y0): dequantises `width` x `height` indices with the decoder's rule
// (format/Dequantiser.h) and, when `dither` is given, removes the dither at
// the same subband positions sq added it.
void sq_inv(const int16_t* indices, int width, int height, float step, const DitherOffsets* dither, int x0,
            int y0, float* values);
