#pragma once
// An image buffer that holds one strip at a time and hands each finished
// strip to flushStrip(). It may keep several strips' memory and use them in
// turn, so that a strip handed on stays as it is while the next are written.

#include <algorithm>

#include "imaging/pixels/ImageBuffer.h"

namespace Lumetra {

class PassThroughImageBuffer : public ImageBuffer {
public:
    PassThroughImageBuffer() = default;
    explicit PassThroughImageBuffer(const ImageBufferInfo& info) : ImageBuffer(info) {}

    // The strips' memories to use in turn (1, the default, or more), of
    // which flushStrip() may leave `held` in use after it returns; the rest
    // but the current one may be written ahead. Set before begin().
    void setStripMemories(int count, int held = 0) {
        memories_ = count < 1 ? 1 : count;
        held_ = held < 0 ? 0 : held;
    }
    int stripsAhead() const override { return std::max(0, memories_ - 1 - held_); }

protected:
    void onStripDone() override { flushStrip(); }
    // Strip `index` starts at the first byte of memory index % count.
    unsigned char* stripMemory(int64_t index, const Rectangle& strip) override;
    // The strips' memories: each strip height * rowStride bytes.
    int64_t computeSize() override;
    // Does whatever the buffer does with a finished strip (nothing here).
    virtual void flushStrip() {}

private:
    int memories_ = 1;
    int held_ = 0;
    int64_t stripBytes_ = 0;  // the size of each
};

}  // namespace Lumetra
