#pragma once
// The symbol alphabet of a coded code-block payload.
//
// Payload: 0xFF 0xA3, then Huffman-coded symbols, most significant bit
// first; every data byte 0xFF is followed by a stuffed 0x00 (markers in
// format/FileLayout.h). A payload whose first data byte is 0xFF followed by
// anything but 0x00 holds no data.

#include <cstdint>

namespace Lumetra {
namespace CodedBlock {

// Symbols 0..100: a run of that many zero coefficients (0 is an empty run).
constexpr int kMaxShortRun = 100;
constexpr int kPositive8 = 101;   // +m, m = next 8 bits
constexpr int kNegative8 = 102;   // -m, m = next 8 bits
constexpr int kPositive16 = 103;  // +m, m = next 16 bits as signed 16-bit
constexpr int kNegative16 = 104;  // -m, m = next 16 bits as signed 16-bit
constexpr int kRun8 = 105;        // run of r zeros, r = next 8 bits
constexpr int kRun16 = 106;       // run of r zeros, r = next 16 bits (unsigned)
// Symbols 107..255: one coefficient of value symbol - kDirectOffset.
constexpr int kFirstDirect = 107;
constexpr int kLastDirect = 255;
constexpr int kDirectOffset = 180;
constexpr int kMinDirect = kFirstDirect - kDirectOffset;  // -73
constexpr int kMaxDirect = kLastDirect - kDirectOffset;   // 75

// Number of distinct symbols.
constexpr int kSymbolCount = 256;

}  // namespace CodedBlock
}  // namespace Lumetra
