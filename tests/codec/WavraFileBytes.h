#pragma once
// Reads the raw layout of a written Wavra file for the encoder tests: the
// header, the subband offset table, each section's dither offsets and block
// table.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace codectest {

struct BlockEntry {
    std::vector<uint32_t> headerOffsets;  // one per band
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

struct SectionBytes {
    uint32_t offset = 0;
    uint8_t d0 = 0, d1 = 0;
    std::vector<BlockEntry> blocks;
};

struct FileBytes {
    std::vector<uint8_t> bytes;
    int32_t bands = 0, levels = 0, width = 0, height = 0;
    std::vector<SectionBytes> sections;

    uint32_t u32(size_t at) const {
        return at + 4 <= bytes.size() ? uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 |
                                            uint32_t(bytes[at + 2]) << 8 | uint32_t(bytes[at + 3])
                                      : 0;
    }
};

inline FileBytes readFileBytes(const std::string& path) {
    FileBytes f;
    if (FILE* in = std::fopen(path.c_str(), "rb")) {
        uint8_t buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) f.bytes.insert(f.bytes.end(), buf, buf + n);
        std::fclose(in);
    }
    if (f.bytes.size() < 23) return f;
    f.bands = int32_t(f.u32(7));
    f.levels = int32_t(f.u32(11));
    f.width = int32_t(f.u32(15));
    f.height = int32_t(f.u32(19));
    if (f.levels < 0 || f.levels > 20 || f.bands < 1 || f.bands > 4) return f;
    for (int s = 0; s <= 3 * f.levels; ++s) {
        SectionBytes sec;
        sec.offset = f.u32(23 + 4 * size_t(s));
        if (sec.offset + 8 > f.bytes.size()) break;
        sec.d0 = f.bytes[sec.offset + 2];
        sec.d1 = f.bytes[sec.offset + 3];
        const uint32_t n = f.u32(sec.offset + 4);
        size_t at = sec.offset + 8;
        for (uint32_t j = 0; j < n && at + 4 * (size_t(f.bands) + 4) <= f.bytes.size(); ++j) {
            BlockEntry e;
            for (int k = 0; k < f.bands; ++k, at += 4) e.headerOffsets.push_back(f.u32(at));
            e.x0 = int32_t(f.u32(at));
            e.y0 = int32_t(f.u32(at + 4));
            e.x1 = int32_t(f.u32(at + 8));
            e.y1 = int32_t(f.u32(at + 12));
            at += 16;
            sec.blocks.push_back(e);
        }
        f.sections.push_back(sec);
    }
    return f;
}

}  // namespace codectest
