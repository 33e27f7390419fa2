#pragma once
// The entropy decoder of a coded-block payload (FF A3, then Huffman-coded
// symbols, most significant bit first, a stuffed 0x00 after every data byte
// 0xFF): the bits come through a 64-bit buffer, refilled eight bytes at once
// where no byte needs unstuffing, and byte by byte with a bounds check near
// the end of the payload, so nothing past it is ever read; each symbol comes
// out with its extra bits as a run of zeros or one coefficient. Both the
// region decoder and the encoder's temporary-file reader decode through it.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "format/CodedBlockSymbols.h"
#include "format/FileLayout.h"
#include "format/HuffmanDecoder.h"

namespace Lumetra {

// Where a code-block's decoding stopped: the payload offset of the next byte
// to load, the byte being read (only its bits from bitIndex on are kept; -1
// when it lay beyond the payload), the next bit within it (0 = most
// significant) and the raster position of the next coefficient.
struct CodeBlockCursor {
    int64_t byteOffset = 0;
    int32_t currentByte = 0;
    int32_t bitIndex = 0;
    int64_t position = 0;
};

// Checks the marker of a payload (Exception "Invalid marker sequence ...")
// and that it has data: false for a code-block that holds none (first data
// byte 0xFF not followed by 0x00). A payload of the marker alone is a read
// error.
bool codedBlockHasData(const uint8_t* payload, std::size_t size);

class CodedBlockReader {
public:
    // Reads the bits of `payload` from byte `start` (after the marker) on.
    CodedBlockReader(const uint8_t* payload, std::size_t size, std::size_t start = 2)
        : data_(payload), size_(size) {
        state_.next = start < size ? start : size;
    }
    // Continues where `cursor` stopped (its position is the caller's); a
    // cursor no decoding can have left is a read error.
    CodedBlockReader(const uint8_t* payload, std::size_t size, const CodeBlockCursor& cursor);

    // Decodes symbols while the raster position `n` is before `end` and
    // returns the position reached: a run of zeros advances it, a
    // coefficient is handed to store(position, value) and advances it by
    // one. Throws Exception "Read error encountered while decompressing.
    // Possible file corruption." when the bits are no code of the table or
    // the payload ends first.
    template <class Store>
    int64_t decode(const HuffmanDecoder& decoder, int64_t n, int64_t end, Store&& store) {
        State s = state_;
        while (n < end) {
            if (s.count < 16) fill(s);
            const uint32_t code = decoder.decode(uint32_t(s.bits >> 48));
            const int length = int(code >> 8);
            // No code (length 0) or more bits than are left, in one comparison.
            if (unsigned(length) - 1u >= unsigned(s.count)) throwReadError();
            s.bits <<= length;
            s.count -= length;
            const int symbol = int(code & 0xFF);
            if (symbol >= CodedBlock::kFirstDirect) {
                store(n++, symbol - CodedBlock::kDirectOffset);
                continue;
            }
            if (symbol <= CodedBlock::kMaxShortRun) {
                n += symbol;
                continue;
            }
            // An escape: 8 or 16 extra bits, a value or a run length.
            const bool eight = symbol == CodedBlock::kPositive8 || symbol == CodedBlock::kNegative8 ||
                               symbol == CodedBlock::kRun8;
            const int extra = eight ? 8 : 16;
            if (s.count < extra) {
                fill(s);
                if (s.count < extra) throwReadError();
            }
            const uint32_t v = uint32_t(s.bits >> (64 - extra));
            s.bits <<= extra;
            s.count -= extra;
            switch (symbol) {
                case CodedBlock::kPositive8:
                    store(n++, int32_t(v));
                    break;
                case CodedBlock::kNegative8:
                    store(n++, -int32_t(v));
                    break;
                case CodedBlock::kPositive16:
                    store(n++, int32_t(int16_t(uint16_t(v))));
                    break;
                case CodedBlock::kNegative16:
                    store(n++, -int32_t(int16_t(uint16_t(v))));
                    break;
                default:  // kRun8, kRun16
                    n += v;
                    break;
            }
        }
        state_ = s;
        return n;
    }

    // Decodes symbols while `n` is before `end`, as decode() does, keeping
    // no value: each symbol whose code is short moves `n` on by one lookup.
    int64_t passOver(const HuffmanDecoder& decoder, int64_t n, int64_t end) {
        State s = state_;
        while (n < end) {
            if (s.count < 32) fill(s);
            const uint32_t step = decoder.passOver(uint32_t(s.bits >> 48));
            const int length = int(step >> 8);
            if (step == 0 || length > s.count) {
                // A long code, a run escape, the payload's end or an error:
                // one symbol the full way.
                state_ = s;
                n = decode(decoder, n, n + 1, [](int64_t, int32_t) {});
                s = state_;
                continue;
            }
            s.bits <<= length;
            s.count -= length;
            n += step & 0xFF;
        }
        state_ = s;
        return n;
    }

    // Where the reading stands, as a cursor at raster position `position`.
    CodeBlockCursor cursor(int64_t position) const;

private:
    struct State {
        uint64_t bits = 0;      // unread bits, the next one most significant
        int count = 0;          // how many of them there are
        std::size_t next = 0;   // the next byte to load
        std::size_t loads = 0;  // bytes loaded so far
    };

    [[noreturn]] static void throwReadError();

    // Loads bytes until more than 56 bits are held or the payload ends:
    // without bounds checks while 16 bytes are left (seven bytes, each with
    // a stuffed byte after it, fit), eight bytes at once when none of them
    // is 0xFF, and with a check a byte near the end.
    __attribute__((always_inline)) void fill(State& s) {
        if (s.next + 16 > size_) {
            fillCarefully(s);
            return;
        }
        uint64_t word;
        std::memcpy(&word, data_ + s.next, 8);
        word = fromBigEndian(word);
        const uint64_t inverted = ~word;  // a marker byte 0xFF becomes a zero byte
        if ((inverted - 0x0101010101010101u) & word & 0x8080808080808080u) {
            do {
                load(s);
            } while (s.count <= 56);
            return;
        }
        const std::size_t bytes = std::size_t(64 - s.count) >> 3;
        s.bits |= (word & (~uint64_t(0) << (64 - 8 * bytes))) >> s.count;
        // These bytes end one after another: they continue the run of such
        // loads, or begin one.
        if (linearEnd_ != s.loads) {
            linearFrom_ = s.loads;
            linearOffset_ = s.next + 1 - s.loads;
        }
        s.loads += bytes;
        linearEnd_ = s.loads;
        s.next += bytes;
        s.count += int(8 * bytes);
    }
    void fillCarefully(State& s) {
        while (s.count <= 56 && s.next < size_) load(s);
    }
    static uint64_t fromBigEndian(uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        return v;
#else
        return __builtin_bswap64(v);
#endif
    }
    void load(State& s) {
        const uint8_t b = data_[s.next];
        s.next += 1 + (b == FileLayout::kMarker);
        ends_[s.loads++ & 7] = s.next;
        s.bits |= uint64_t(b) << (56 - s.count);
        s.count += 8;
    }

    // Where load number k ended (stuffing included).
    std::size_t endOfLoad(std::size_t k) const {
        return k - linearFrom_ < linearEnd_ - linearFrom_ ? k + linearOffset_ : ends_[k & 7];
    }

    const uint8_t* data_;
    std::size_t size_;
    State state_;
    // Where each of the last bytes loaded one at a time ends; and the loads
    // linearFrom_ .. linearEnd_ - 1 of the last run of eight-byte loads,
    // without stuffing, where load k ends at k + linearOffset_. A byte that
    // is still being read is either among the last eight single loads or in
    // that run: single loads come at least six at a time.
    std::size_t ends_[8];
    std::size_t linearFrom_ = ~std::size_t(0), linearEnd_ = ~std::size_t(0), linearOffset_ = 0;
};

}  // namespace Lumetra
