#pragma once
// Entropy decoding of one code-block's payload into the part of it that a
// region needs, resumable across strips.

#include <cstddef>
#include <cstdint>

#include "decoder/HuffmanDecoder.h"

namespace Lumetra {

// Where a code-block's decoding stopped: the payload offset of the next byte
// to load, the byte being read (-1 when it lay beyond the payload), the next
// bit within it (0 = most significant) and the raster position of the next
// coefficient.
struct CodeBlockCursor {
    int64_t byteOffset = 0;
    int32_t currentByte = 0;
    int32_t bitIndex = 0;
    int64_t position = 0;
};

// A rectangle in subband coordinates: corner and size.
struct CodeBlockArea {
    int x0 = 0, y0 = 0, width = 0, height = 0;
};

// Decodes the coefficients of `region` (inside `codeBlock`) into `out`
// (zero-filled, region.width x region.height, row-major). Starts at the
// payload's marker when `resume` is null, else where `resume` stopped.
// Returns false for an empty code-block (no cursor, region left zero);
// otherwise true with `next` set to where decoding stopped. Throws
// "Invalid marker sequence ..." for a wrong marker and "Read error ..." for
// an invalid code or a payload that ends before the region is complete.
bool decodeCodeBlockRegion(const HuffmanDecoder& decoder, const uint8_t* payload, std::size_t size,
                           int32_t* out, const CodeBlockArea& codeBlock, const CodeBlockArea& region,
                           const CodeBlockCursor* resume, CodeBlockCursor& next);

}  // namespace Lumetra
