#pragma once
// Huffman coding of quantiser indices: the table description built from the
// symbol frequencies of one or more records (GenHTDesc2), its canonical codes
// (GenCode2), and the coded payload of one record (encode_block2).
//
// Indices become symbols of the coded-block alphabet: zero runs up to
// kShortRunLimit are direct symbols, longer runs use the 8- or 16-bit run
// symbols (a run is cut at 65,535); values within +-kDirectValueLimit are
// direct symbols, larger ones use the 8- or 16-bit value symbols.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/HuffmanTable.h"

constexpr int kDirectValueLimit = 45;  // V
constexpr int kShortRunLimit = 30;     // Z

// A width x height window of indices, rows `stride` indices apart, read in
// raster order.
struct IndexRecord {
    const int16_t* data = nullptr;
    int width = 0;
    int height = 0;
    size_t stride = 0;
};

// Codes by symbol value; length 0 where a symbol has no code.
struct SymbolCodes {
    Lumetra::CanonicalCode bySymbol[256];
};

// Adds the symbols of a record to `frequencies` (257 entries; the last is
// the reserved entry, not touched here).
void count_symbols(const IndexRecord& record, uint32_t* frequencies);

// Table description from 257 frequencies (entry 256 the reserved one):
// code lengths by merging the two least frequent entries (ties go to the
// lower symbol), limited to 16 bits, one longest code removed for the
// reserved entry, symbols by increasing length then value. Returns 0.
int huffman_table_from_frequencies(const uint32_t* frequencies, Lumetra::HuffmanTable& table);

// The table description for the symbols of all `count` records. Returns 0,
// non-zero on failure.
int GenHTDesc2(const IndexRecord* records, size_t count, Lumetra::HuffmanTable& table);

// Canonical codes of a table description. Returns 0, non-zero when the
// description is not valid.
int GenCode2(const Lumetra::HuffmanTable& table, SymbolCodes& codes);

// Appends marker FF A3 and the record's coded symbols (0xFF bytes followed
// by 0x00, the last byte padded with 1 bits) to `out`. Returns 0, non-zero
// when a symbol has no code.
int encode_block2(const IndexRecord& record, const SymbolCodes& codes, std::vector<uint8_t>& out);
