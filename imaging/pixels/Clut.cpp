#include "imaging/pixels/Clut.h"

#include <algorithm>
#include <cstring>

#include "core/Exception.h"

namespace Lumetra {

namespace {
// Tables larger than this are refused rather than allocated.
const int64_t kMaxClutBytes = int64_t(1) << 30;
}  // namespace

Clut::Clut(int colorSpace, int entries, int sampleType, const void* initial) {
    info_.setColorSpace(colorSpace);
    info_.samplesPerPixel = info_.bands;
    info_.layout = ImageBufferInfo::BIP;
    info_.sampleType = sampleType;
    switch (sampleType) {
        case ImageBufferInfo::UInt8:
            lookUp_.reset(new DefaultClutLookUp<unsigned char>(this));
            break;
        case ImageBufferInfo::UInt16:
            lookUp_.reset(new DefaultClutLookUp<unsigned short>(this));
            break;
        case ImageBufferInfo::Float32:
            lookUp_.reset(new DefaultClutLookUp<float>(this));
            break;
        default:
            throw Exception("Illegal sample type");
    }
    const int64_t bytes = int64_t(entries) * info_.bytesPerPixel();
    if (entries < 0 || bytes > kMaxClutBytes)
        throw InvalidArgumentException("Colour table entry count out of range");
    entries_ = entries;
    bytes_.assign(size_t(bytes), 0);
    if (initial && bytes > 0) std::memcpy(bytes_.data(), initial, size_t(bytes));
}

Clut::Clut(const Clut& other) { *this = other; }

Clut& Clut::operator=(const Clut& other) {
    if (this == &other) return *this;
    entries_ = other.entries_;
    info_ = other.info_;
    lookUp_.reset(other.lookUp_ ? other.lookUp_->cloneFor(*this) : nullptr);
    bytes_ = other.bytes_;
    return *this;
}

void Clut::setEntry(int index, const Pixel& pixel) {
    unsigned char* e = entry<unsigned char>(index);
    if (!e || !pixel.hasValues()) return;
    std::memcpy(e, pixel.values(), std::min(size_t(entrySize()), pixel.valueBytes()));
}

}  // namespace Lumetra
