#pragma once
// Helpers of the decoder tests: PNM reading, decoding through the navigator
// into a raw BIP file, and the conformance folder.

#include "support/Conformance.h"
#include <cstdint>
#include <string>
#include <vector>

#include "core/Geometry.h"
#include "format/WavraFile.h"

namespace decodertest {

struct Image {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> pixels;  // row-major, channels interleaved
};

using testsupport::conformanceDir;
// Reads a binary P5 or P6 file with maxval 255; an empty image on failure.
Image readPnm(const std::string& path);
// Decodes `support` at `scale` through a navigator into a BIP file buffer
// (grey or RGB after the file's colour scheme) with the given strip height,
// and reads the raw file back.
Image decodeThroughNavigator(const Lumetra::WavraFile& file, int scale, const Lumetra::Rectangle& support,
                             int stripHeight = 128);
// The rectangle [x0, x0 + w) x [y0, y0 + h) of an image.
Image crop(const Image& image, int x0, int y0, int w, int h);
// Largest absolute sample difference (256 when the shapes differ), and how
// many samples differ at all.
int maxDifference(const Image& a, const Image& b, long* differing = nullptr);

}  // namespace decodertest
