#pragma once
// A picture stamped opaquely over the strips of an image buffer: 8-bit grey
// or RGB rows, shared between copies.

#include <cstdint>

#include "imaging/pixels/ImageBufferInfo.h"
#include "imaging/pixels/SharedBuffer.h"

namespace Lumetra {

class Watermark {
public:
    Watermark() = default;
    // Copies share the pixels and copy the size and format.
    Watermark(const Watermark&) = default;
    Watermark& operator=(const Watermark&) = default;
    virtual ~Watermark() = default;

    // True when there is nothing to stamp.
    bool isEmpty() const { return width == 0 || height == 0; }
    // rowBytes * height, in 64 bits.
    int64_t byteSize() const { return int64_t(rowBytes) * int64_t(height); }

    SharedBuffer<unsigned char> pixels;  // `height` rows of `rowBytes` bytes
    ImageBufferInfo info;                // Grayscale or RGB, unsigned 8-bit, BIP
    int width = 0;
    int height = 0;
    int rowBytes = 0;  // width * samplesPerPixel
};

// Nine placements of the watermark over the image (other values act as
// WatermarkBottomRight).
enum WatermarkPosition {
    WatermarkCenter = 1,
    WatermarkMiddleLeft = 2,
    WatermarkMiddleRight = 3,
    WatermarkTopLeft = 4,
    WatermarkTopCenter = 5,
    WatermarkTopRight = 6,
    WatermarkBottomLeft = 7,
    WatermarkBottomCenter = 8,
    WatermarkBottomRight = 9
};

}  // namespace Lumetra
