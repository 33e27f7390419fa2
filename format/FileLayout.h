#pragma once
// Where things lie in a Wavra file: the header, the subband offset table,
// the markers, the subband sections with their block tables, the block
// headers, and the marker and metadata offset that follow the table. The
// reader (DBInfo, WavraMetadata) and the writer (ImageWriter) both place
// bytes by these.
//
//   0   "wvra"
//   4   version: major, minor, revision
//   7   band count, level count L, width, height (32-bit each)
//   23  offset of each of the 3L + 1 subband sections (32-bit each)
//   12L + 27   FF D0, then the metadata block's offset (32-bit)
//   sections:  FF AC, dither offsets d0 d1, block count B, then B block
//              table entries of (band count + 4) 32-bit values: per band
//              the offset of its block header (0: no data), then x0 y0 x1 y1
//   block header of one band: FF AA, 16 code-length counts, the symbols,
//              the step (float), code-block width and height, one offset
//              per code-block; each code-block payload starts FF A3
//   metadata block: FF D1 ... FF D2, then FF A1

#include <cstdint>

namespace Lumetra {
namespace FileLayout {

constexpr char kMagic[4] = {'w', 'v', 'r', 'a'};
constexpr uint8_t kWrittenVersion[3] = {1, 0, 1};
constexpr int64_t kSubbandTableAt = 23;

// Versions 0.x.x and 1.0.x are read; a newer layout is refused.
inline bool isReadableVersion(const uint8_t version[3]) {
    return version[0] == 0 || (version[0] == 1 && version[1] == 0);
}

// Subbands of an image with L levels: 0 is the coarsest low-pass band, then
// HL, LH and HH of each level from the coarsest to the finest.
constexpr int subbandCount(int levels) { return 3 * levels + 1; }
// Where subband s's section offset is stored.
constexpr int64_t subbandSlotAt(int s) { return kSubbandTableAt + 4 * int64_t(s); }
// Where the FF D0 marker after the subband offset table lies (12L + 27);
// the metadata block's offset follows it.
constexpr int64_t headerEndAt(int levels) { return subbandSlotAt(subbandCount(levels)); }

// Extent of subband s (numbered as above) of a width x height image with L
// levels: the low-pass half of n samples is ceil(n / 2), the high-pass half
// floor(n / 2). Level l's low-pass band is ceil(n / 2^l) samples across.
struct Extent {
    int64_t width = 0, height = 0;
};
// n up to 2^31, level 0 to 30.
constexpr int64_t lowPassAt(int64_t n, int level) { return (n + (int64_t(1) << level) - 1) >> level; }
constexpr Extent subbandExtent(int64_t width, int64_t height, int levels, int s) {
    if (s <= 0) return {lowPassAt(width, levels), lowPassAt(height, levels)};
    const int level = levels - (s - 1) / 3;
    const int orientation = (s - 1) % 3;  // 0 HL, 1 LH, 2 HH
    const int64_t lowW = lowPassAt(width, level), lowH = lowPassAt(height, level);
    const int64_t highW = lowPassAt(width, level - 1) - lowW, highH = lowPassAt(height, level - 1) - lowH;
    return {orientation == 1 ? lowW : highW, orientation == 0 ? lowH : highH};
}

// Every marker is kMarker followed by its code.
constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kHeaderEnd = 0xD0;
constexpr uint8_t kSubbandStart = 0xAC;
constexpr uint8_t kBlockHeader = 0xAA;
constexpr uint8_t kCodeBlock = 0xA3;
constexpr uint8_t kMetadataStart = 0xD1;
constexpr uint8_t kMetadataEnd = 0xD2;
constexpr uint8_t kFileEnd = 0xA1;
// In coded data every data byte 0xFF is followed by this stuffed byte.
constexpr uint8_t kStuffedByte = 0x00;
// The encoder's temporary subband files: each stored block starts with
// FF A6 and the file ends with FF A9.
constexpr uint8_t kStoredBlock = 0xA6;
constexpr uint8_t kStoredEnd = 0xA9;

// A subband section: marker, two dither offsets and the block count, then
// the block table.
constexpr int64_t kSectionHeadBytes = 8;
constexpr int64_t blockTableEntryBytes(int bands) { return 4 * (int64_t(bands) + 4); }
// The block table entry of block j of the section at `section`.
constexpr int64_t blockTableEntryAt(int64_t section, int bands, int64_t j) {
    return section + kSectionHeadBytes + j * blockTableEntryBytes(bands);
}

}  // namespace FileLayout
}  // namespace Lumetra
