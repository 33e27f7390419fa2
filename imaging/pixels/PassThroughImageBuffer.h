#pragma once
// An image buffer that holds one strip at a time and hands each finished
// strip to flushStrip(). It may keep several strips' memory and use them in
// turn, so that a strip handed on stays as it is while the next are written.

#include "imaging/pixels/ImageBuffer.h"

namespace Lumetra {

class PassThroughImageBuffer : public ImageBuffer {
public:
    PassThroughImageBuffer() = default;
    explicit PassThroughImageBuffer(const ImageBufferInfo& info) : ImageBuffer(info) {}

    // Strip-relative memory: the strip starts at its memory's first byte.
    unsigned char* stripAddress(int x, int y, int z) override;
    // The strips' memories to use in turn (1, the default, or more); set
    // before begin().
    void setStripMemories(int count) { memories_ = count < 1 ? 1 : count; }

protected:
    void onBegin() override { turn_ = 0; }
    void onStripDone() override {
        flushStrip();
        turn_ = (turn_ + 1) % memories_;
    }
    // The strips' memories: each strip height * rowStride bytes.
    int64_t computeSize() override;
    // Does whatever the buffer does with a finished strip (nothing here).
    virtual void flushStrip() {}

private:
    int memories_ = 1;
    int turn_ = 0;            // the memory of the current strip
    int64_t stripBytes_ = 0;  // the size of each
};

}  // namespace Lumetra
