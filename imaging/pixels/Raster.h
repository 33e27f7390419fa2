#pragma once
// A strided view of T samples (does not own them). Rows run top to bottom,
// pixels left to right by the column step; band i of a pixel lies at the
// pixel's first sample plus bandMap[i].

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/pixels/ImageBufferInfo.h"
#include "imaging/pixels/Pixel.h"

namespace Lumetra {

template <class T>
class Raster {
public:
    Raster() = default;
    Raster(T* data, int width, int height, int64_t rowStrideBytes, const ImageBufferInfo& info)
        : data_(data),
          width_(width < 0 ? 0 : width),
          height_(height < 0 ? 0 : height),
          rowStride_(rowStrideBytes),
          info_(info) {}
    virtual ~Raster() = default;

    T* data() const { return data_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int64_t rowStride() const { return rowStride_; }
    const ImageBufferInfo& info() const { return info_; }
    // Samples from one pixel to the next within a row.
    int columnStep() const { return info_.columnStep(); }
    // First sample of row y.
    T* row(int y) const {
        return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(data_) + rowStride_ * y);
    }

    // Writes the pixel's values into every pixel, band by band. Does nothing
    // when the pixel has no values or its samples are not T.
    void fill(const Pixel& pixel) {
        if (!pixel.hasValues() || !data_ || pixel.info().bytesPerSample() != int(sizeof(T))) return;
        int bands = info_.bands;
        if (bands > pixel.info().samplesPerPixel) bands = pixel.info().samplesPerPixel;
        if (bands > int(info_.bandMap.size())) bands = int(info_.bandMap.size());
        T values[16];
        if (bands > 16) bands = 16;
        for (int i = 0; i < bands; ++i) values[i] = pixel.template sample<T>(i);
        const int step = columnStep();
        const int* map = info_.bandMap.data();
        // When the bands fill each pixel completely, every row equals the
        // first and is copied from it.
        const int rowsToFill = coversWholePixels(bands) ? std::min(height_, 1) : height_;
        for (int y = 0; y < rowsToFill; ++y) {
            T* p = row(y);
            for (int x = 0; x < width_; ++x, p += step)
                for (int i = 0; i < bands; ++i) p[map[i]] = values[i];
        }
        const size_t rowSamples = size_t(width_) * size_t(step);
        for (int y = rowsToFill; y < height_; ++y) std::memcpy(row(y), row(0), rowSamples * sizeof(T));
    }

private:
    // True for BIP pixels whose `bands` samples are exactly the pixel.
    bool coversWholePixels(int bands) const {
        if (info_.layout != ImageBufferInfo::BIP || bands != info_.samplesPerPixel) return false;
        unsigned seen = 0;
        for (int i = 0; i < bands; ++i) {
            const int at = info_.bandMap[i];
            if (at < 0 || at >= bands || (seen >> at) & 1u) return false;
            seen |= 1u << at;
        }
        return true;
    }

    T* data_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int64_t rowStride_ = 0;
    ImageBufferInfo info_;
};

}  // namespace Lumetra
