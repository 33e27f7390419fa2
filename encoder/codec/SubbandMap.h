#pragma once
// The subband map of an analysis pass: one entry per subband (3L + 1, in
// the decoder's numbering), each with its dither offsets, its temporary
// file and the records of the blocks written to it.

#include <memory>
#include <vector>

#include "encoder/codec/Quantiser.h"
#include "encoder/codec/SubbandFile.h"

// One coded block of a subband: its bounds in the subband's coefficient
// grid and, per band, the step sq actually used (0 = not coded) and where
// the band's data lies in the subband file.
struct SubbandBlockRecord {
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1;
    std::vector<float> steps;
    std::vector<StoredBlock> stored;

    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
};

struct SubbandMapEntry {
    DitherOffsets dither;
    std::unique_ptr<SubbandFile> file;  // null once the writer has copied it
    std::vector<SubbandBlockRecord> blocks;
};

// Entries are owned one by one so that a deep encoding can move the pass
// maps' entries into the merged map; every file is thus closed and deleted
// exactly once, by whichever map holds its entry.
using SubbandMap = std::vector<std::unique_ptr<SubbandMapEntry>>;

// Dither offsets of `count` subbands: the C library's linear congruential
// generator seeded with 0, two draws per entry, each (value >> 8) as a byte.
std::vector<DitherOffsets> dither_offsets(int count);

// A map of 3L + 1 entries with dither offsets and an open temporary file
// each (created in map order in `directory`, none: the default place).
// Throws what SubbandFile throws.
SubbandMap subband_map_init(int levels, const Lumetra::FileSpecification* directory);
