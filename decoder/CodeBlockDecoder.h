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

// The same into rows `outStride` apart, each coefficient stored as
// convert(value); positions without one are left as they are.
template <class T, class Convert>
bool decodeCodeBlockRegion(const HuffmanDecoder& decoder, const uint8_t* payload, std::size_t size, T* out,
                           std::ptrdiff_t outStride, const Convert& convert, const CodeBlockArea& codeBlock,
                           const CodeBlockArea& region, const CodeBlockCursor* resume,
                           CodeBlockCursor& next) {
    if (!resume && !codedBlockHasData(payload, size)) return false;
    CodedBlockReader reader =
        resume ? CodedBlockReader(payload, size, *resume) : CodedBlockReader(payload, size);
    int64_t n = resume ? resume->position : 0;

    // Positions before a region row are decoded and passed over, storing
    // nothing; a run may reach over the rest of a row and whole rows, which
    // stay as they are.
    const int64_t width = codeBlock.width;
    for (int i = 0; i < region.height; ++i) {
        const int64_t p0 =
            (int64_t(region.y0) + i - codeBlock.y0) * width + (int64_t(region.x0) - codeBlock.x0);
        const int64_t end = p0 + region.width;
        if (n < p0) n = reader.passOver(decoder, n, p0);
        // Position p0 of the row is its first sample. The address of
        // position 0 is worked out in integers, as it may lie outside the
        // plane; the stores land at p0 and after.
        const std::uintptr_t origin = reinterpret_cast<std::uintptr_t>(out + std::ptrdiff_t(i) * outStride) -
                                      std::uintptr_t(p0) * sizeof(T);
        n = reader.decode(decoder, n, end, [origin, &convert](int64_t at, int32_t value) {
            *reinterpret_cast<T*>(origin + std::uintptr_t(at) * sizeof(T)) = convert(value);
        });
    }
    next = reader.cursor(n);
    return true;
}

}  // namespace Lumetra
