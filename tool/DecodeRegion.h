#pragma once
// Decoding a navigator's region into 8-bit grey or RGB pixels, either as a
// raw BIP file with its text header or strip by strip into a row consumer.

#include <cstdint>
#include <functional>

#include "core/FileSpecification.h"
#include "decoder/WavraNavigator.h"
#include "imaging/pixels/Watermark.h"

// Rows per strip of every decode.
constexpr int kDecodeStripHeight = 128;

// The decoder's wording for a scale the file cannot deliver.
extern const char* const kIncompatibleScaleMessage;

// The centre coordinate brought to `scale`: v / 2^scale in double precision,
// truncated toward zero (v itself for a scale of 0 or below).
int32_t centreAtScale(int32_t v, int scale);

// The tool's region: a negative scale counts as 0 and a scale above the
// file's level count throws Exception kIncompatibleScaleMessage; then the
// width x height rectangle centred on (x0, y0), given in full-resolution
// pixels, at that scale. With `icon`, the whole image at its coarsest scale
// (the other values are not used). Negative sizes throw GeometryException.
Lumetra::WavraNavigator regionNavigator(const Lumetra::WavraFile& file, bool icon, int32_t scale, int32_t x0,
                                        int32_t y0, int32_t width, int32_t height);

// The whole image at `scale`, after the same scale rules.
Lumetra::WavraNavigator wholeImageNavigator(const Lumetra::WavraFile& file, int32_t scale);

// Grayscale for a grey file, RGB for every other colour scheme.
int decodedColorSpace(const Lumetra::WavraFile& file);

// Decodes the region into `rawFile` (BIP) and its header (same name with
// extension "hdr") carrying the region's georeferencing; with a watermark it
// is stamped at `position`. Both files are complete when this returns.
void decodeToRawFile(Lumetra::WavraNavigator& navigator, const Lumetra::FileSpecification& rawFile,
                     const Lumetra::Watermark* watermark, int position);

// Receives `count` consecutive rows of `rowBytes` bytes each, top to bottom.
using RowConsumer = std::function<void(const unsigned char* rows, int count, int64_t rowBytes)>;

// Decodes the region strip by strip; every row of the region reaches
// `consumer` exactly once, in order.
void decodeToRows(Lumetra::WavraNavigator& navigator, const RowConsumer& consumer);
