#include "format/DitherTable.h"

#include <cstdint>

namespace Lumetra {

namespace {

struct Table {
    float values[kDitherSize * kDitherSize];
};

// Built by the compiler: the table lies in the program's read-only data,
// not computed again by every process that decodes or encodes.
constexpr Table makeTable() {
    Table t{};
    uint32_t x = 0x9E3779B9u;
    for (int i = 0; i < kDitherSize * kDitherSize; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        t.values[i] = float(double(x >> 8) * (1.0 / 16777216.0) * 0.5 - 0.25);
    }
    // The row beginnings the format fixes.
    const float row0[8] = {-0.164586f, 0.124951f, -0.201814f, 0.185233f,
                           0.038652f,  0.1429f,   0.096097f,  -0.065617f};
    const float row1[4] = {0.178876f, 0.144467f, 0.039238f, -0.200255f};
    for (int c = 0; c < 8; ++c) t.values[c] = row0[c];
    for (int c = 0; c < 4; ++c) t.values[kDitherSize + c] = row1[c];
    return t;
}

constexpr Table kTable = makeTable();

}  // namespace

const float* ditherTable() { return kTable.values; }

}  // namespace Lumetra
