#include "decoder/CodeBlockDecoder.h"

namespace Lumetra {

bool decodeCodeBlockRegion(const HuffmanDecoder& decoder, const uint8_t* payload, std::size_t size,
                           int32_t* out, const CodeBlockArea& codeBlock, const CodeBlockArea& region,
                           const CodeBlockCursor* resume, CodeBlockCursor& next) {
    if (!resume && !codedBlockHasData(payload, size)) return false;
    CodedBlockReader reader =
        resume ? CodedBlockReader(payload, size, *resume) : CodedBlockReader(payload, size);
    int64_t n = resume ? resume->position : 0;

    // Positions before a region row are decoded and passed over; a run may
    // reach over the rest of a row and whole rows, which stay zero.
    const int64_t width = codeBlock.width;
    for (int i = 0; i < region.height; ++i) {
        const int64_t p0 =
            (int64_t(region.y0) + i - codeBlock.y0) * width + (int64_t(region.x0) - codeBlock.x0);
        const int64_t end = p0 + region.width;
        int32_t* row = out + std::size_t(i) * std::size_t(region.width);
        n = reader.decode(decoder, n, end, [row, p0](int64_t at, int32_t value) {
            if (at >= p0) row[at - p0] = value;
        });
    }
    next = reader.cursor(n);
    return true;
}

}  // namespace Lumetra
