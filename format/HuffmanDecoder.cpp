#include "format/HuffmanDecoder.h"

#include <cstring>
#include <vector>

#include "core/Exception.h"
#include "format/CodedBlockSymbols.h"
#include "format/FormatMessages.h"

namespace Lumetra {

namespace {

// The inner nodes (besides the root) of the code tree of canonical codes in
// code order: the distinct proper prefixes of the codes.
int innerNodes(const std::vector<CanonicalCode>& codes) {
    int nodes = 0;
    for (int length = 1; length < 16; ++length) {
        int32_t last = -1;
        for (const CanonicalCode& c : codes) {
            if (c.length <= length) continue;
            // Codes in code order, left-aligned, ascend; so do their prefixes.
            const int32_t prefix = int32_t(c.bits >> (c.length - length));
            if (prefix != last) ++nodes;
            last = prefix;
        }
    }
    return nodes;
}

// What passing over `symbol`, coded in `length` bits, takes: bits << 8 |
// positions; 0 where its extra bits hold a run length.
uint32_t passOverEntry(int length, int symbol) {
    using namespace CodedBlock;
    if (symbol >= kFirstDirect) return uint32_t(length) << 8 | 1u;
    if (symbol <= kMaxShortRun) return uint32_t(length) << 8 | uint32_t(symbol);
    if (symbol == kPositive8 || symbol == kNegative8) return uint32_t(length + 8) << 8 | 1u;
    if (symbol == kPositive16 || symbol == kNegative16) return uint32_t(length + 16) << 8 | 1u;
    return 0;
}

}  // namespace

HuffmanDecoder::HuffmanDecoder(const HuffmanTable& table) {
    std::vector<CanonicalCode> codes;
    if (!canonicalCodes(table, codes) || innerNodes(codes) > 255) throw Exception(kReadErrorMessage);
    std::memset(fast_, 0, sizeof fast_);
    int k = 0;
    for (int length = 1; length <= 16; ++length) {
        const int n = table.counts[length - 1];
        firstIndex_[length] = k;
        firstCode_[length] = n ? codes[std::size_t(k)].bits : 0;
        lastCode_[length] = n ? int32_t(codes[std::size_t(k + n - 1)].bits) : -1;
        for (int i = 0; i < n; ++i, ++k) {
            symbols_[k] = table.symbols[std::size_t(k)];
            if (length > kLookBits) continue;
            const uint32_t first = uint32_t(codes[std::size_t(k)].bits) << (kLookBits - length);
            const uint32_t span = 1u << (kLookBits - length);
            const uint32_t entry =
                passOverEntry(length, symbols_[k]) << 16 | uint32_t(length) << 8 | symbols_[k];
            for (uint32_t j = 0; j < span; ++j) fast_[first + j] = entry;
        }
    }
}

uint32_t HuffmanDecoder::decodeLong(uint32_t window) const {
    for (int n = kLookBits + 1; n <= 16; ++n) {
        const int32_t code = int32_t(window >> (16 - n));
        if (code <= lastCode_[n] && code >= firstCode_[n])
            return uint32_t(n) << 8 | symbols_[firstIndex_[n] + code - firstCode_[n]];
    }
    return 0;
}

}  // namespace Lumetra
