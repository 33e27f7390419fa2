#pragma once
// Decoding the canonical codes of one Huffman table description: a lookup on
// the next kLookBits bits resolves every code that short at once, the
// per-length code ranges the longer ones. The same lookup also tells how a
// coded-block symbol moves the raster position when its value is not
// wanted.

#include <cstdint>

#include "format/HuffmanTable.h"

namespace Lumetra {

class HuffmanDecoder {
public:
    static constexpr int kLookBits = 10;

    // Throws Exception "Read error encountered while decompressing. Possible
    // file corruption." when the counts exceed 256 or disagree with the
    // symbol list, a code does not fit its length, or the code tree needs
    // more than 255 inner nodes besides its root.
    explicit HuffmanDecoder(const HuffmanTable& table);

    // The code that begins `window` (16 bits, the first bit most
    // significant) as its length << 8 | its symbol; 0 when no code does.
    uint32_t decode(uint32_t window) const {
        const uint32_t f = fast_[window >> (16 - kLookBits)] & 0xFFFF;
        return f ? f : decodeLong(window);
    }
    // For the symbol whose code begins `window`: the bits it takes with its
    // extra bits << 8 | the positions it moves on; 0 for a code longer than
    // kLookBits, no code, or a run whose length lies in its extra bits.
    uint32_t passOver(uint32_t window) const { return fast_[window >> (16 - kLookBits)] >> 16; }

private:
    uint32_t decodeLong(uint32_t window) const;

    // passOver << 16 | length << 8 | symbol; 0 for longer or no code
    uint32_t fast_[1 << kLookBits];
    int32_t firstCode_[17] = {};     // the first code of each length
    int32_t lastCode_[17] = {};      // the last, or -1 without codes of that length
    int firstIndex_[17] = {};        // its position in the symbol list
    uint8_t symbols_[256] = {};
};

}  // namespace Lumetra
