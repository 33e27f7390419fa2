#include "format/HuffmanTable.h"

#include <cstddef>

namespace Lumetra {

int HuffmanTable::codeCount() const {
    int n = 0;
    for (int i = 0; i < 16; ++i) n += counts[i];
    return n;
}

bool HuffmanTable::isValid() const {
    const int n = codeCount();
    if (n > 256 || std::size_t(n) != symbols.size()) return false;
    // Every canonical code must fit its length: the running code never
    // reaches 2^length.
    uint32_t code = 0;
    for (int len = 1; len <= 16; ++len) {
        code += counts[len - 1];
        if (code > (1u << len)) return false;
        code <<= 1;
    }
    return true;
}

void appendTableDescription(std::vector<uint8_t>& out, const HuffmanTable& table) {
    out.insert(out.end(), table.counts, table.counts + 16);
    out.insert(out.end(), table.symbols.begin(), table.symbols.end());
}

bool canonicalCodes(const HuffmanTable& table, std::vector<CanonicalCode>& codes) {
    codes.clear();
    if (!table.isValid()) return false;
    codes.reserve(table.symbols.size());
    uint32_t code = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int k = 0; k < table.counts[len - 1]; ++k) {
            CanonicalCode c;
            c.bits = uint16_t(code);
            c.length = uint8_t(len);
            codes.push_back(c);
            ++code;
        }
        code <<= 1;
    }
    return true;
}

bool canonicalCodesBySymbol(const HuffmanTable& table, CanonicalCode (&bySymbol)[256]) {
    for (auto& c : bySymbol) c = CanonicalCode();
    std::vector<CanonicalCode> codes;
    if (!canonicalCodes(table, codes)) return false;
    for (std::size_t k = 0; k < codes.size(); ++k) {
        CanonicalCode& slot = bySymbol[table.symbols[k]];
        if (slot.length == 0) slot = codes[k];
    }
    return true;
}

}  // namespace Lumetra
