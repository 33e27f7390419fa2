#pragma once
// The Huffman table description stored with each block and band: sixteen
// counts BITS[1..16] (codes of each length) followed by the symbols in code
// order; how it is written and read; and the canonical codes it defines.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Lumetra {

struct HuffmanTable {
    uint8_t counts[16] = {};       // counts[n - 1] = number of codes of length n
    std::vector<uint8_t> symbols;  // in code order; size = sum of counts

    // Sum of the sixteen counts.
    int codeCount() const;
    // True when the counts sum to at most 256, match the symbol list, and
    // every code fits its length (Kraft sum at most 1).
    bool isValid() const;
};

// Appends the description: the sixteen counts, then the symbols.
void appendTableDescription(std::vector<uint8_t>& out, const HuffmanTable& table);

// Reads a description through `read(destination, n)`, which delivers n
// bytes and answers true, or answers false (or throws) when it cannot. The
// table is not checked for validity. False when a read failed.
template <class Read>
bool readTableDescription(Read&& read, HuffmanTable& table) {
    if (!read(table.counts, std::size_t(16))) return false;
    table.symbols.resize(std::size_t(table.codeCount()));
    return table.symbols.empty() || read(table.symbols.data(), table.symbols.size());
}

// One canonical code: `length` bits, right-aligned in `bits`.
struct CanonicalCode {
    uint16_t bits = 0;
    uint8_t length = 0;  // 0: the symbol has no code
};

// Canonical codes in code order: the first code is 0, the next of the same
// length is the previous + 1, and a longer length doubles the code after the
// increment. The k-th code belongs to symbols[k]. Returns false (and leaves
// `codes` empty) when the table is not valid.
bool canonicalCodes(const HuffmanTable& table, std::vector<CanonicalCode>& codes);

// The same codes indexed by symbol value (256 entries; length 0 where the
// symbol has no code). A symbol listed twice keeps its first code. Returns
// false when the table is not valid.
bool canonicalCodesBySymbol(const HuffmanTable& table, CanonicalCode (&bySymbol)[256]);

}  // namespace Lumetra
