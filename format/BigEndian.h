#pragma once
// Big-endian numbers: every multi-byte number of a Wavra file, floats
// included (as their IEEE bits), is stored most significant byte first.

#include <cstdint>
#include <cstring>
#include <vector>

namespace Lumetra {

// The `bytes` (1 to 8) at p as an unsigned number.
inline uint64_t getBigEndian(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

inline uint32_t getU32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline float floatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

inline uint32_t bitsOfFloat(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

inline float getFloat(const uint8_t* p) { return floatFromBits(getU32(p)); }

// Stores the low `bytes` (1 to 8) bytes of v at p.
inline void putBigEndian(uint8_t* p, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * (bytes - 1 - i)));
}

inline void putU32(uint8_t* p, uint32_t v) { putBigEndian(p, v, 4); }

inline void appendU32(std::vector<uint8_t>& out, uint32_t v) {
    const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    out.insert(out.end(), b, b + 4);
}

inline void appendFloat(std::vector<uint8_t>& out, float v) { appendU32(out, bitsOfFloat(v)); }

}  // namespace Lumetra
