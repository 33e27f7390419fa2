#include "imaging/pixels/Pixel.h"

namespace Lumetra {

Pixel::Pixel(const ImageBufferInfo& info) : info_(info) { setValues(nullptr); }

void Pixel::setValues(const void* src) {
    const int n = info_.samplesPerPixel * info_.bytesPerSample();
    values_.assign(n > 0 ? size_t(n) : 0, 0);
    if (src && !values_.empty()) std::memcpy(values_.data(), src, values_.size());
}

}  // namespace Lumetra
