#pragma once
// The raw image as the wavelet analysis reads it: each block extracted from
// the image, converted to floats and, unless the image already holds floats
// (a thumbnail), transformed to YIQ (YIQK for a CMYK image).

#include <memory>

#include "encoder/codec/BlockPixelSource.h"
#include "encoder/codec/EncoderCallbacks.h"

class Image;
class PixelData;

class ImagePixelSource : public BlockPixelSource {
public:
    // The interrupt hook is polled after the extraction, the conversion and
    // the colour transform of every block read by readBlock, and after the
    // extraction of every block fetched by fetchBlock.
    ImagePixelSource(const Image& image, EncoderInterrupt interrupt);

    int width() const override;
    int height() const override;
    int bands() const override;
    bool fullWidth() const override;
    int readBlock(int x0, int x1, int y0, int y1, float* planes) override;
    // The extraction; the conversion and the colour transform are left to
    // convertBlock, which touches nothing but the block.
    int fetchBlock(int x0, int x1, int y0, int y1, float* planes, std::unique_ptr<Fetched>& fetched) override;
    void convertBlock(std::unique_ptr<Fetched>& fetched, float* planes) override;
    // 8-bit grey and RGB blocks convert a few rows of a band at a time.
    bool convertsBands(const Fetched& fetched) const override;
    void convertRows(const Fetched& fetched, int band, int first, int rows, float* out) override;
    bool fetchesPlanes() const override { return false; }
    // Concurrent when the image extracts concurrently; the interrupt hook is
    // then polled by pollFetched alone.
    bool fetchesConcurrently() const override;
    void readFetched(int x0, int x1, int y0, int y1, std::unique_ptr<Fetched>& fetched) override;
    int pollFetched() override { return interrupted() ? 1 : 0; }

private:
    bool interrupted() const { return interrupt_ && interrupt_() != 0; }
    std::unique_ptr<PixelData> extract(int x0, int x1, int y0, int y1) const;
    // YIQ (YIQK) of a block converted from integer samples.
    void transform(PixelData& block) const;
    void copyPlanes(const PixelData& block, float* planes) const;

    const Image& image_;
    EncoderInterrupt interrupt_;
};
