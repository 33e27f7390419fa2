#pragma once
// The decoding tree of one block and band's Huffman table, with a lookup
// table that resolves up to eight bits per step.

#include <cstdint>

#include "format/HuffmanTable.h"

namespace Lumetra {

class HuffmanDecoder {
public:
    static constexpr uint16_t kEmpty = 666;  // no node or leaf here

    // Builds the tree from the table description. Throws "Read error
    // encountered while decompressing. Possible file corruption." when a
    // code passes through a leaf, lands on an occupied entry or does not fit
    // its length, more than 255 inner nodes are needed, or the counts exceed
    // 256 or disagree with the symbol list.
    explicit HuffmanDecoder(const HuffmanTable& table);

    // Child entry of `node` for `bit`: a node number (1..255), symbol + 256,
    // or kEmpty.
    uint16_t child(int node, int bit) const { return bit ? one_[node] : zero_[node]; }

    // Result of walking at most eight bits from the root.
    struct Step {
        uint16_t value;  // symbol + 256 (leaf), a node number (more bits needed), or kEmpty
        uint8_t bits;    // bits consumed
    };
    // The walk for the eight bits `byte` (most significant first).
    const Step& step(uint8_t byte) const { return steps_[byte]; }

private:
    uint16_t zero_[256];
    uint16_t one_[256];
    Step steps_[256];
};

}  // namespace Lumetra
