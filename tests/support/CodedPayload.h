#pragma once
// Coded-block payloads assembled bit by bit, for tests of the entropy
// decoding: symbols with the canonical codes of a table, extra bits, stuffing
// and padding as the encoder writes them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/HuffmanTable.h"

namespace testsupport {

// Symbols 0..254 get 8-bit codes (code = symbol), 255 a 9-bit code.
inline Lumetra::HuffmanTable wideTable() {
    Lumetra::HuffmanTable t;
    t.counts[7] = 255;
    t.counts[8] = 1;
    for (int s = 0; s < 255; ++s) t.symbols.push_back(uint8_t(s));
    t.symbols.push_back(255);
    return t;
}

class PayloadWriter {
public:
    explicit PayloadWriter(const Lumetra::HuffmanTable& table) {
        Lumetra::canonicalCodesBySymbol(table, codes_);
    }
    void symbol(int s) { bits(codes_[s].bits, codes_[s].length); }
    void bits(unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc_ = (acc_ << 1) | ((value >> i) & 1);
            if (++n_ == 8) flush();
        }
    }
    // The finished payload: marker, data, padding with 1 bits, plus two
    // trailing bytes as the block reader delivers them (none when `exact`).
    std::vector<uint8_t> finish(bool exact = false) {
        while (n_ != 0) {
            acc_ = (acc_ << 1) | 1;
            if (++n_ == 8) flush();
        }
        std::vector<uint8_t> out(data_.size() + (exact ? 2 : 4));
        out[0] = 0xFF;
        out[1] = 0xA3;
        for (std::size_t i = 0; i < data_.size(); ++i) out[i + 2] = data_[i];
        if (!exact) {
            out[data_.size() + 2] = 0xFF;
            out[data_.size() + 3] = 0xAA;
        }
        return out;
    }

private:
    void flush() {
        data_.push_back(uint8_t(acc_));
        if (uint8_t(acc_) == 0xFF) data_.push_back(0x00);
        acc_ = 0;
        n_ = 0;
    }
    Lumetra::CanonicalCode codes_[256];
    std::vector<uint8_t> data_;
    unsigned acc_ = 0;
    int n_ = 0;
};

}  // namespace testsupport
