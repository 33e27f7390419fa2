#pragma once
// The six-line information listing of an image file.

#include <cstdio>

#include "core/FileSpecification.h"

namespace Lumetra {

// Opens `input` (index mode 0) and writes its file name, width, height, band
// count, level count and version ("1.0.1.") to `out`, one per line. Throws
// Exception when the file cannot be opened as a Wavra file.
void printInformationListing(const FileSpecification& input, std::FILE* out);

}  // namespace Lumetra
