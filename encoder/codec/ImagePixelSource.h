#pragma once
// The raw image as the wavelet analysis reads it: each block extracted from
// the image, converted to floats and, unless the image already holds floats
// (a thumbnail), transformed to YIQ (YIQK for a CMYK image).

#include "encoder/codec/BlockPixelSource.h"
#include "encoder/codec/EncoderCallbacks.h"

class Image;

class ImagePixelSource : public BlockPixelSource {
public:
    // The interrupt hook is polled after the extraction, the conversion and
    // the colour transform of every block.
    ImagePixelSource(const Image& image, EncoderInterrupt interrupt);

    int width() const override;
    int height() const override;
    int bands() const override;
    bool fullWidth() const override;
    int readBlock(int x0, int x1, int y0, int y1, float* planes) override;

private:
    bool interrupted() const { return interrupt_ && interrupt_() != 0; }

    const Image& image_;
    EncoderInterrupt interrupt_;
};
