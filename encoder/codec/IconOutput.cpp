#include "encoder/codec/IconOutput.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/Error.h"
#include "encoder/codec/Quantiser.h"

int icon_dimension(int size, int levels) {
    for (int i = 0; i < levels; ++i) size = (size + 1) / 2;
    return size;
}

void output_icon(const Lumetra::FileSpecification& name, SubbandMapEntry& entry, int width, int height,
                 int levels, int bands, bool dither) {
    const int w = icon_dimension(width, levels);
    const int h = icon_dimension(height, levels);
    if (w <= 0 || h <= 0 || bands <= 0) throw Error("Write error in output_icon.");
    const size_t plane = size_t(w) * size_t(h);
    std::vector<float> pixels(plane * size_t(bands), 0.0f);

    std::vector<int16_t> indices;
    std::vector<float> values;
    for (const SubbandBlockRecord& block : entry.blocks) {
        if (block.x0 < 0 || block.y0 < 0 || block.x1 >= w || block.y1 >= h || block.x1 < block.x0 ||
            block.y1 < block.y0)
            throw Error("Write error in output_icon.");
        const int bw = block.width(), bh = block.height();
        for (int k = 0; k < bands && size_t(k) < block.stored.size(); ++k) {
            if (block.stored[size_t(k)].offset < 0) continue;
            if (!entry.file) throw Error("File offset error in subroutine decode_indices.\n");
            float step = 0.0f;
            decode_indices(*entry.file, block.stored[size_t(k)], bw, bh, indices, step);
            values.resize(indices.size());
            const DitherOffsets* d = (k == 0 && dither) ? &entry.dither : nullptr;
            sq_inv(indices.data(), bw, bh, step, d, block.x0, block.y0, values.data());
            float* out = pixels.data() + size_t(k) * plane;
            for (int y = 0; y < bh; ++y)
                std::copy(values.begin() + ptrdiff_t(y) * bw, values.begin() + ptrdiff_t(y + 1) * bw,
                          out + size_t(block.y0 + y) * size_t(w) + size_t(block.x0));
        }
    }

    FILE* f = name.open("wb");
    if (!f) throw Error("File open error in output_icon.");
    const int32_t head[3] = {w, h, bands};
    bool ok = std::fwrite(head, sizeof head[0], 3, f) == 3 &&
              std::fwrite(pixels.data(), sizeof(float), pixels.size(), f) == pixels.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) throw Error("Write error in output_icon.");
}
