#include "decoder/CodeBlockDecoder.h"

#include "core/Exception.h"
#include "decoder/DecodeErrors.h"
#include "format/CodedBlockSymbols.h"

namespace Lumetra {

namespace {

// Most-significant-first bit reader over a stuffed payload. A byte is
// loaded as soon as the previous one is used up; a byte beyond the payload
// is only an error when one of its bits is actually read.
class BitReader {
public:
    BitReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    void start(std::size_t next, int current, int index) {
        next_ = next;
        current_ = current;
        index_ = index;
    }
    // The first data byte at offset 2: returns false for an empty code-block.
    bool startAtMarker() {
        if (size_ < 2 || data_[0] != CodedBlock::kMarkerPrefix || data_[1] != CodedBlock::kCodeBlockMarker)
            throw Exception(kMarkerErrorMessage);
        if (size_ < 3) throw Exception(kReadErrorMessage);
        if (data_[2] == 0xFF && (size_ < 4 || data_[3] != CodedBlock::kStuffedByte)) return false;
        next_ = 2;
        index_ = 0;
        load();
        return true;
    }

    int bit() {
        if (current_ < 0) throw Exception(kReadErrorMessage);
        const int b = (current_ >> (7 - index_)) & 1;
        if (++index_ == 8) {
            index_ = 0;
            load();
        }
        return b;
    }
    // Eight bits can be taken with one lookup.
    bool canPeek() const { return current_ >= 0 && next_ < size_; }
    unsigned peek8() const { return ((unsigned(current_) << 8 | data_[next_]) >> (8 - index_)) & 0xFFu; }
    void skip(int n) {  // n <= 8, after canPeek()
        index_ += n;
        if (index_ >= 8) {
            index_ -= 8;
            load();
        }
    }
    unsigned bits8() {
        if (canPeek()) {
            const unsigned v = peek8();
            skip(8);
            return v;
        }
        unsigned v = 0;
        for (int i = 0; i < 8; ++i) v = (v << 1) | unsigned(bit());
        return v;
    }

    std::size_t next() const { return next_; }
    int current() const { return current_; }
    int index() const { return index_; }

private:
    void load() {
        if (next_ < size_) {
            current_ = data_[next_++];
            if (current_ == 0xFF) ++next_;  // the stuffed byte that follows
        } else {
            current_ = -1;
        }
    }

    const uint8_t* data_;
    std::size_t size_;
    std::size_t next_ = 0;
    int current_ = -1;
    int index_ = 0;
};

inline int decodeSymbol(const HuffmanDecoder& decoder, BitReader& reader) {
    int node = 0;
    if (reader.canPeek()) {
        const HuffmanDecoder::Step& s = decoder.step(uint8_t(reader.peek8()));
        if (s.value > 255) {
            if (s.value > 512) throw Exception(kReadErrorMessage);
            reader.skip(s.bits);
            return s.value - 256;
        }
        reader.skip(8);
        node = s.value;
    }
    for (;;) {
        const int v = decoder.child(node, reader.bit());
        if (v > 255) {
            if (v > 512) throw Exception(kReadErrorMessage);
            return v - 256;
        }
        node = v;
    }
}

}  // namespace

bool decodeCodeBlockRegion(const HuffmanDecoder& decoder, const uint8_t* payload, std::size_t size,
                           int32_t* out, const CodeBlockArea& codeBlock, const CodeBlockArea& region,
                           const CodeBlockCursor* resume, CodeBlockCursor& next) {
    BitReader reader(payload, size);
    int64_t n = 0;
    if (resume) {
        if (resume->byteOffset < 0 || resume->bitIndex < 0 || resume->bitIndex > 7)
            throw Exception(kReadErrorMessage);
        reader.start(std::size_t(resume->byteOffset), resume->currentByte, resume->bitIndex);
        n = resume->position;
    } else if (!reader.startAtMarker()) {
        return false;
    }

    const int64_t width = codeBlock.width;
    for (int i = 0; i < region.height; ++i) {
        const int64_t p0 =
            (int64_t(region.y0) + i - codeBlock.y0) * width + (int64_t(region.x0) - codeBlock.x0);
        const int64_t end = p0 + region.width;
        int32_t* row = out + std::size_t(i) * std::size_t(region.width);
        while (n < end) {
            const int s = decodeSymbol(decoder, reader);
            int32_t value;
            if (s >= CodedBlock::kFirstDirect) {
                value = s - CodedBlock::kDirectOffset;
            } else if (s <= CodedBlock::kMaxShortRun) {
                n += s;
                continue;
            } else {
                switch (s) {
                    case CodedBlock::kPositive8:
                        value = int32_t(reader.bits8());
                        break;
                    case CodedBlock::kNegative8:
                        value = -int32_t(reader.bits8());
                        break;
                    case CodedBlock::kPositive16:
                    case CodedBlock::kNegative16: {
                        const unsigned hi = reader.bits8();
                        const unsigned lo = reader.bits8();
                        const int32_t m = int16_t(uint16_t(hi << 8 | lo));
                        value = s == CodedBlock::kPositive16 ? m : -m;
                        break;
                    }
                    case CodedBlock::kRun8:
                        n += reader.bits8();
                        continue;
                    default: {  // kRun16
                        const unsigned hi = reader.bits8();
                        n += (hi << 8) | reader.bits8();
                        continue;
                    }
                }
            }
            if (n >= p0) row[n - p0] = value;
            ++n;
        }
    }
    next.byteOffset = int64_t(reader.next());
    next.currentByte = reader.current();
    next.bitIndex = reader.index();
    next.position = n;
    return true;
}

}  // namespace Lumetra
