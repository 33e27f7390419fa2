#pragma once
// An image buffer that holds one strip at a time and hands each finished
// strip to flushStrip().

#include "imaging/pixels/ImageBuffer.h"

namespace Lumetra {

class PassThroughImageBuffer : public ImageBuffer {
public:
    PassThroughImageBuffer() = default;
    explicit PassThroughImageBuffer(const ImageBufferInfo& info) : ImageBuffer(info) {}

    // Strip-relative memory: the strip starts at the buffer's first byte.
    unsigned char* stripAddress(int x, int y, int z) override;

protected:
    void onStripDone() override { flushStrip(); }
    // One strip: strip height * rowStride bytes.
    int64_t computeSize() override;
    // Does whatever the buffer does with a finished strip (nothing here).
    virtual void flushStrip() {}
};

}  // namespace Lumetra
