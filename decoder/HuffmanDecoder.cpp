#include "decoder/HuffmanDecoder.h"

#include <vector>

#include "core/Exception.h"
#include "decoder/DecodeErrors.h"

namespace Lumetra {

HuffmanDecoder::HuffmanDecoder(const HuffmanTable& table) {
    for (int i = 0; i < 256; ++i) zero_[i] = one_[i] = kEmpty;
    std::vector<CanonicalCode> codes;
    if (!canonicalCodes(table, codes)) throw Exception(kReadErrorMessage);

    int nextNode = 1;
    for (std::size_t k = 0; k < codes.size(); ++k) {
        const CanonicalCode& code = codes[k];
        int node = 0;
        for (int bit = code.length - 1; bit >= 0; --bit) {
            uint16_t* entry = ((code.bits >> bit) & 1) ? &one_[node] : &zero_[node];
            if (bit == 0) {
                if (*entry != kEmpty) throw Exception(kReadErrorMessage);  // occupied
                *entry = uint16_t(table.symbols[k] + 256);
            } else {
                if (*entry == kEmpty) {
                    if (nextNode > 255) throw Exception(kReadErrorMessage);  // too many inner nodes
                    *entry = uint16_t(nextNode++);
                } else if (*entry > 255) {
                    throw Exception(kReadErrorMessage);  // passes through a leaf
                }
                node = *entry;
            }
        }
    }

    for (int byte = 0; byte < 256; ++byte) {
        int node = 0;
        Step s{0, 0};
        for (int i = 0; i < 8; ++i) {
            const uint16_t v = child(node, (byte >> (7 - i)) & 1);
            s.bits = uint8_t(i + 1);
            if (v > 255) {
                s.value = v;  // leaf or the empty mark
                break;
            }
            node = v;
            s.value = v;
        }
        steps_[byte] = s;
    }
}

}  // namespace Lumetra
