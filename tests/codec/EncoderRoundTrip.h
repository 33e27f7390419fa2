#pragma once
// Helpers of the encoder tests: generated pictures written as raw BIP files
// with their header, encoding them, and decoding the result through the
// navigator.

#include <cstdint>
#include <string>
#include <vector>

#include "format/WavraFile.h"

namespace codectest {

struct Picture {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> pixels;  // row-major, channels interleaved
};

// Smooth gradients and waves; `textured` adds grey detail from coarse to
// nearly the finest scale and a little noise.
Picture generatePicture(int width, int height, int channels, bool textured, unsigned seed = 1);

// Writes NAME.bip and NAME.hdr (BIP layout, georeferenced) in `dir`;
// returns the raw file's path.
std::string writeRawPicture(const std::string& dir, const std::string& name, const Picture& picture);

// Decodes the whole image at `scale` (grey or RGB after the colour scheme).
Picture decodeAtScale(const Lumetra::WavraFile& file, int scale);

// Peak signal-to-noise ratio in dB over all samples (0 when the shapes differ).
double psnr(const Picture& a, const Picture& b);

// The rectangle [x0, x0 + w) x [y0, y0 + h) of a picture (inside it).
Picture crop(const Picture& p, int x0, int y0, int w, int h);

// Mean of 2^scale x 2^scale boxes (the last box of a row or column partial).
Picture reduce(const Picture& p, int scale);

}  // namespace codectest
