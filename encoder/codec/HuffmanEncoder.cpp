#include "encoder/codec/HuffmanEncoder.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "format/CodedBlockSymbols.h"
#include "format/FileLayout.h"

namespace {

namespace cb = Lumetra::CodedBlock;
namespace layout = Lumetra::FileLayout;

constexpr uint32_t kLongestRun = 65535;
constexpr int kReserved = 256;
constexpr int kEntries = 257;
constexpr int kMaxCodeLength = 16;

// Calls emit(symbol, extraLength, extraValue) for every symbol of a record.
template <class Emit>
inline void emit_run(uint32_t run, Emit& emit) {
    if (run <= uint32_t(kShortRunLimit))
        emit(int(run), 0, 0u);
    else if (run <= 255)
        emit(cb::kRun8, 8, run);
    else
        emit(cb::kRun16, 16, run);
}

template <class Emit>
inline void emit_value(int v, Emit& emit) {
    if (v >= -kDirectValueLimit && v <= kDirectValueLimit)
        emit((v + cb::kDirectOffset) & 0xFF, 0, 0u);
    else if (v > 0)
        emit(v <= 255 ? cb::kPositive8 : cb::kPositive16, v <= 255 ? 8 : 16, uint32_t(v));
    else
        emit(v >= -255 ? cb::kNegative8 : cb::kNegative16, v >= -255 ? 8 : 16, uint32_t(-v));
}

// Zero runs are found four indices at a time; a run reaching 65,535 is
// emitted and counting starts again.
template <class Emit>
void for_each_symbol(const IndexRecord& record, Emit&& emit) {
    uint32_t run = 0;
    const int w = record.width;
    for (int y = 0; y < record.height; ++y) {
        const int16_t* row = record.data + size_t(y) * record.stride;
        int x = 0;
        while (x < w) {
            const int start = x;
            for (uint64_t four; x + 4 <= w; x += 4) {
                std::memcpy(&four, row + x, sizeof four);
                if (four) break;
            }
            while (x < w && row[x] == 0) ++x;
            run += uint32_t(x - start);
            while (run >= kLongestRun) {
                emit_run(kLongestRun, emit);
                run -= kLongestRun;
            }
            if (x == w) break;
            if (run) {
                emit_run(run, emit);
                run = 0;
            }
            emit_value(row[x], emit);
            ++x;
        }
    }
    if (run) emit_run(run, emit);
}

// Packs bits most significant first, stuffing a 0x00 after every 0xFF;
// bytes gather in a small chunk that is appended to the output when full.
class BitPacker {
public:
    explicit BitPacker(std::vector<uint8_t>& out) : out_(out) {}
    ~BitPacker() { flushChunk(); }
    // Up to 32 bits at a time.
    void put(uint32_t bits, int length) {
        buffer_ = (buffer_ << length) | bits;
        pending_ += length;
        while (pending_ >= 8) {
            pending_ -= 8;
            byte(uint8_t(buffer_ >> pending_));
        }
    }
    // Completes a partly filled byte with 1 bits.
    void finish() {
        if (pending_ > 0) {
            const int fill = 8 - pending_;
            byte(uint8_t((buffer_ << fill) | ((1u << fill) - 1)));
            pending_ = 0;
        }
        flushChunk();
    }

private:
    void byte(uint8_t b) {
        if (used_ + 2 > sizeof chunk_) flushChunk();
        chunk_[used_++] = b;
        if (b == layout::kMarker) chunk_[used_++] = layout::kStuffedByte;
    }
    void flushChunk() {
        out_.insert(out_.end(), chunk_, chunk_ + used_);
        used_ = 0;
    }
    std::vector<uint8_t>& out_;
    uint64_t buffer_ = 0;
    int pending_ = 0;
    size_t used_ = 0;
    uint8_t chunk_[4096];
};

}  // namespace

void count_symbols(const IndexRecord& record, uint32_t* frequencies) {
    for_each_symbol(record, [frequencies](int symbol, int, uint32_t) { ++frequencies[symbol]; });
}

int huffman_table_from_frequencies(const uint32_t* frequencies, Lumetra::HuffmanTable& table) {
    uint64_t freq[kEntries];
    int codeSize[kEntries];
    int others[kEntries];
    std::vector<int> live;  // entries with a non-zero frequency, ascending
    live.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i) {
        freq[i] = frequencies[i];
        codeSize[i] = 0;
        others[i] = -1;
        if (freq[i]) live.push_back(i);
    }
    // Merge the two least frequent entries until one is left; among equal
    // frequencies the lower entry is taken.
    for (;;) {
        int c1 = -1, c2 = -1;
        uint64_t least = std::numeric_limits<uint64_t>::max();
        for (int i : live)
            if (freq[i] < least) least = freq[i], c1 = i;
        least = std::numeric_limits<uint64_t>::max();
        for (int i : live)
            if (i != c1 && freq[i] < least) least = freq[i], c2 = i;
        if (c2 < 0) break;
        freq[c1] += freq[c2];
        freq[c2] = 0;
        live.erase(std::find(live.begin(), live.end(), c2));
        ++codeSize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codeSize[c1];
        }
        others[c1] = c2;
        ++codeSize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codeSize[c2];
        }
    }
    // Codes per length; a chain of 257 entries is at most 256 long.
    int bits[kEntries + 1] = {};
    int longest = 0;
    for (int i = 0; i < kEntries; ++i) {
        if (codeSize[i]) {
            ++bits[codeSize[i]];
            longest = std::max(longest, codeSize[i]);
        }
    }
    for (int i = longest; i > kMaxCodeLength; --i) {
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0) --j;
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    }
    table = Lumetra::HuffmanTable();
    if (longest == 0) return 0;  // no symbols at all
    int i = kMaxCodeLength;
    while (i > 0 && bits[i] == 0) --i;
    if (i > 0) --bits[i];  // the reserved entry's code
    for (int n = 1; n <= kMaxCodeLength; ++n) table.counts[n - 1] = uint8_t(bits[n]);
    // Symbols by increasing (unlimited) code length, then value.
    std::vector<int> order;
    order.reserve(kReserved);
    for (int s = 0; s < kReserved; ++s)
        if (codeSize[s]) order.push_back(s);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return codeSize[a] < codeSize[b]; });
    table.symbols.assign(order.begin(), order.end());
    return 0;
}

int GenHTDesc2(const IndexRecord* records, size_t count, Lumetra::HuffmanTable& table) {
    uint32_t frequencies[kEntries] = {};
    for (size_t r = 0; r < count; ++r) count_symbols(records[r], frequencies);
    frequencies[kReserved] = 1;
    return huffman_table_from_frequencies(frequencies, table);
}

int GenCode2(const Lumetra::HuffmanTable& table, SymbolCodes& codes) {
    return Lumetra::canonicalCodesBySymbol(table, codes.bySymbol) ? 0 : 1;
}

int encode_block2(const IndexRecord& record, const SymbolCodes& codes, std::vector<uint8_t>& out) {
    out.push_back(layout::kMarker);
    out.push_back(layout::kCodeBlock);
    BitPacker packer(out);
    bool missing = false;
    for_each_symbol(record, [&](int symbol, int extraLength, uint32_t extra) {
        const Lumetra::CanonicalCode& c = codes.bySymbol[symbol];
        if (c.length == 0) {
            missing = true;
            return;
        }
        packer.put((uint32_t(c.bits) << extraLength) | extra, c.length + extraLength);
    });
    packer.finish();
    return missing ? 1 : 0;
}
