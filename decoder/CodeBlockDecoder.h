#pragma once
// Entropy decoding of the part of one code-block's payload that a region
// needs, resumable across strips.

#include <cstddef>
#include <cstdint>

#include "format/CodedBlockReader.h"
#include "format/HuffmanDecoder.h"

namespace Lumetra {

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
