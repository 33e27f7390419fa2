#include "encoder/codec/SubbandMap.h"

#include <cstdint>

std::vector<DitherOffsets> dither_offsets(int count) {
    std::vector<DitherOffsets> offsets(size_t(count > 0 ? count : 0));
    uint32_t state = 0;
    auto draw = [&state]() {
        state = state * 214013u + 2531011u;
        return int((state >> 16) & 0x7FFF);
    };
    for (DitherOffsets& d : offsets) {
        d.column = uint8_t(draw() >> 8);
        d.row = uint8_t(draw() >> 8);
    }
    return offsets;
}

SubbandMap subband_map_init(int levels, const Lumetra::FileSpecification* directory) {
    const int count = 3 * levels + 1;
    const std::vector<DitherOffsets> offsets = dither_offsets(count);
    SubbandMap map;
    map.reserve(size_t(count));
    for (int s = 0; s < count; ++s) {
        auto entry = std::make_unique<SubbandMapEntry>();
        entry->dither = offsets[size_t(s)];
        entry->file = std::make_unique<SubbandFile>(directory);
        map.push_back(std::move(entry));
    }
    return map;
}
