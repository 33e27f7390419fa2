#include "format/CodedBlockReader.h"

#include "core/Exception.h"
#include "format/FileLayout.h"
#include "format/FormatMessages.h"

namespace Lumetra {

bool codedBlockHasData(const uint8_t* payload, std::size_t size) {
    if (size < 2 || payload[0] != FileLayout::kMarker || payload[1] != FileLayout::kCodeBlock)
        throw Exception(kMarkerErrorMessage);
    if (size < 3) throw Exception(kReadErrorMessage);
    return !(payload[2] == FileLayout::kMarker && (size < 4 || payload[3] != FileLayout::kStuffedByte));
}

CodedBlockReader::CodedBlockReader(const uint8_t* payload, std::size_t size, const CodeBlockCursor& cursor)
    : data_(payload), size_(size) {
    if (cursor.byteOffset < 0 || cursor.bitIndex < 0 || cursor.bitIndex > 7) throwReadError();
    State& s = state_;
    s.next = uint64_t(cursor.byteOffset) < size_ ? std::size_t(cursor.byteOffset) : size_;
    if (cursor.currentByte < 0) {
        s.next = size_;  // the byte being read lay beyond the payload: nothing is left
        return;
    }
    s.count = 8 - cursor.bitIndex;
    s.bits = uint64_t(uint32_t(cursor.currentByte) & ((1u << s.count) - 1)) << (64 - s.count);
    ends_[s.loads++ & 7] = s.next;
}

void CodedBlockReader::throwReadError() { throw Exception(kReadErrorMessage); }

CodeBlockCursor CodedBlockReader::cursor(int64_t position) const {
    // A byte-at-a-time reader loads the next byte as soon as the last bit of
    // the current one is read: the current byte is the one holding the next
    // unread bit.
    const State& s = state_;
    CodeBlockCursor c;
    c.position = position;
    const int whole = s.count / 8, part = s.count % 8;
    if (part) {
        c.byteOffset = int64_t(endOfLoad(s.loads - std::size_t(whole) - 1));
        c.currentByte = int32_t(s.bits >> (64 - part));
        c.bitIndex = 8 - part;
    } else if (whole) {
        c.byteOffset = int64_t(endOfLoad(s.loads - std::size_t(whole)));
        c.currentByte = int32_t(s.bits >> 56);
        c.bitIndex = 0;
    } else if (s.next < size_) {
        c.currentByte = data_[s.next];
        c.byteOffset = int64_t(s.next) + 1 + (data_[s.next] == FileLayout::kMarker);
        c.bitIndex = 0;
    } else {
        c.currentByte = -1;
        c.byteOffset = int64_t(s.next);
        c.bitIndex = 0;
    }
    return c;
}

}  // namespace Lumetra
