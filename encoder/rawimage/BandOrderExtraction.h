#pragma once
// Copying a rectangle out of a raw file into band planes, for every stored
// band order. One file open per call and one read per row span.

#include <cstdint>

#include "core/FileSpecification.h"

// Where the samples lie in the file and which pixels to skip.
struct RawSource {
    Lumetra::FileSpecification file;
    int support[2][2] = {{0, -1}, {0, -1}};      // inclusive x0, x1, y0, y1 of the file
    int width = 0;                               // W
    int height = 0;                              // H
    int bands = 0;                               // samples per stored pixel
    int64_t skip = 0;                            // bytes before the first sample
    const unsigned char* transparent = nullptr;  // 3 bytes, or null
    int64_t rowStride = 0;                       // bytes per stored row; 0: W x bands x sample size
};

// Fills the part of the rectangle R (inclusive x0, x1, y0, y1) that the
// support covers, in an output of `bands` planes of R's size. Band orders:
// pixel-interleaved "GRAYSCALE", "RGB", "BGR", "XRGB", "XBGR"; line-
// interleaved "RGB_BIL", "BGRX_BIL"; band-sequential "RGB_BSQ", "CMYK_BSQ".
// A rectangle outside the support leaves the output untouched. Throws
// OpenError, ReadError or Error.
void extract_raw(const RawSource& source, const int rect[2][2], unsigned char* out, const char* bandOrder);
void extract_raw(const RawSource& source, const int rect[2][2], unsigned short* out, const char* bandOrder);
void extract_raw(const RawSource& source, const int rect[2][2], float* out, const char* bandOrder);
