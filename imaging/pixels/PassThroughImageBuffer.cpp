#include "imaging/pixels/PassThroughImageBuffer.h"

#include <algorithm>

namespace Lumetra {

unsigned char* PassThroughImageBuffer::stripMemory(int64_t index, const Rectangle&) {
    return data_ + index % memories_ * stripBytes_;
}

int64_t PassThroughImageBuffer::computeSize() {
    const int64_t rows = std::max(0, stripStep_.dy);
    if (rowStride_ > 0 && rows > kMaxBufferBytes / memories_ / rowStride_) return kMaxBufferBytes + 1;
    stripBytes_ = rows * rowStride_;
    return stripBytes_ * memories_;
}

}  // namespace Lumetra
