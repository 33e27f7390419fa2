#pragma once
// The thumbnail of a deep encoding: the low-pass band of the first pass,
// dequantised (and undithered) back into floats and written as a raw float
// image file that the second pass reads as its input.

#include "core/FileSpecification.h"
#include "encoder/codec/SubbandMap.h"

// Icon size of a width x height image after n levels: each dimension halved
// n times, rounding up.
int icon_dimension(int size, int levels);

// Writes the icon of subband-0 entry `entry` of a `levels`-level encoding
// of a width x height image with `bands` bands: three native-order int32
// (width, height, bands), then the band planes of floats. Band 0 is
// undithered when `dither` is set. The subband file is only read. Throws
// Error "File open error in output_icon.", "Write error in output_icon." or
// what reading the blocks back throws.
void output_icon(const Lumetra::FileSpecification& name, SubbandMapEntry& entry, int width, int height,
                 int levels, int bands, bool dither);
