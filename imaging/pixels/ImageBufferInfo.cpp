#include "imaging/pixels/ImageBufferInfo.h"

#include <cstddef>

namespace Lumetra {

int bandsFor(int colorSpace) {
    switch (colorSpace) {
        case ImageBufferInfo::RGB:
            return 3;
        case ImageBufferInfo::CMYK:
            return 4;
        case ImageBufferInfo::Grayscale:
            return 1;
        case ImageBufferInfo::RGBK:
            return 4;
        case ImageBufferInfo::YIQ:
            return 3;
        case ImageBufferInfo::YIQK:
            return 4;
        default:
            return 0;
    }
}

int sampleSize(int sampleType) {
    switch (sampleType) {
        case ImageBufferInfo::UInt8:
            return 1;
        case ImageBufferInfo::UInt16:
            return 2;
        case ImageBufferInfo::Int32:
            return 4;
        case ImageBufferInfo::Float32:
            return 4;
        case ImageBufferInfo::Float64:
            return 8;
        default:
            return 0;
    }
}

ImageBufferInfo::ImageBufferInfo() : bandMap{0, 1, 2} {}

void ImageBufferInfo::setColorSpace(int space) { setColorSpace(space, bandsFor(space)); }

void ImageBufferInfo::setColorSpace(int space, int bandCount) {
    colorSpace = space;
    bands = bandCount < 0 ? 0 : bandCount;
    if (samplesPerPixel < bands || colorSpace == Grayscale) samplesPerPixel = bands;
    setBandMap(nullptr);
}

void ImageBufferInfo::setBandMap(const int* offsets) {
    bandMap.assign(bands < 0 ? 0 : size_t(bands), 0);
    for (size_t i = 0; i < bandMap.size(); ++i) bandMap[i] = offsets ? offsets[i] : int(i);
}

int ImageBufferInfo::bytesPerSample() const { return sampleSize(sampleType); }

}  // namespace Lumetra
