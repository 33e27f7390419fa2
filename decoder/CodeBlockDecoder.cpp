#include "decoder/CodeBlockDecoder.h"

namespace Lumetra {

bool decodeCodeBlockRegion(const HuffmanDecoder& decoder, const uint8_t* payload, std::size_t size,
                           int32_t* out, const CodeBlockArea& codeBlock, const CodeBlockArea& region,
                           const CodeBlockCursor* resume, CodeBlockCursor& next) {
    return decodeCodeBlockRegion(
        decoder, payload, size, out, region.width, [](int32_t v) { return v; }, codeBlock, region, resume,
        next);
}

}  // namespace Lumetra
