#pragma once
// Raster conversions: two rasters, optional colour tables and range
// adjustments (RasterTransformer), one per-pixel conversion P
// (BasicRasterTransformer) and the row loop that applies it
// (ColorSpaceTransformer). P::apply is called directly in the loop.

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <vector>

#include "core/Exception.h"
#include "imaging/pixels/Clut.h"
#include "imaging/pixels/Raster.h"
#include "imaging/transform/ImageTransformer.h"

namespace Lumetra {

template <class D, class S>
class RasterTransformer : public ImageTransformer {
public:
    static constexpr float kWindowNotSet = 3.4028235e38f;

    void setDestination(void* data, int width, int height, int64_t rowBytes,
                        const ImageBufferInfo& info) override {
        destination_ = Raster<D>(static_cast<D*>(data), width, height, rowBytes, info);
    }
    void setDestinationClut(const Clut& clut) override { destinationClut_ = clut; }
    void setSource(const void* data, int width, int height, int64_t rowBytes,
                   const ImageBufferInfo& info) override {
        source_ = Raster<S>(static_cast<S*>(const_cast<void*>(data)), width, height, rowBytes, info);
    }
    void setSourceClut(const Clut& clut) override { sourceClut_ = clut; }
    void setSourceWindow(float w) override { sourceWindow_ = w; }
    void setSourceLevel(float l) override { sourceLevel_ = l; }
    void setDestinationWindow(float w) override { destinationWindow_ = w; }
    void setDestinationLevel(float l) override { destinationLevel_ = l; }

protected:
    // A usable window: positive, finite and not the "not set" value.
    static bool windowIsSet(float w) { return w > 0 && w < kWindowNotSet && std::isfinite(w); }
    static bool levelIsSet(float l) { return l != 0 && std::isfinite(l); }

    Raster<S> source_;
    Clut sourceClut_;
    Raster<D> destination_;
    Clut destinationClut_;
    float sourceWindow_ = kWindowNotSet;
    float sourceLevel_ = 0;
    float destinationWindow_ = kWindowNotSet;
    float destinationLevel_ = 0;
};

template <class P>
class BasicRasterTransformer : public RasterTransformer<typename P::Destination, typename P::Source> {
public:
    using Destination = typename P::Destination;
    using Source = typename P::Source;
    // The per-pixel conversion (initialised by each transform()).
    const P& pixelTransformer() const { return pixel_; }

protected:
    P pixel_;
};

// Whether P converts whole rows of one-sample-apart planes (applyRow).
template <class P, class = void>
struct HasRowKernel : std::false_type {};
template <class P>
struct HasRowKernel<P, std::enable_if_t<P::kRowKernel>> : std::true_type {};

template <class P>
class ColorSpaceTransformer : public BasicRasterTransformer<P> {
public:
    using D = typename P::Destination;
    using S = typename P::Source;

    // Throws NullPointerException without data on either side,
    // InvalidArgumentException when a table does not fit its raster, and
    // the exceptions of P::init.
    void transform() override;

private:
    static bool fitsTable(const ImageBufferInfo& info, const Clut& clut) {
        return (info.sampleType == ImageBufferInfo::UInt8 || info.sampleType == ImageBufferInfo::UInt16 ||
                info.sampleType == ImageBufferInfo::Int32) &&
               info.samplesPerPixel == 1 && info.colorSpace == clut.info().colorSpace &&
               info.bands == clut.info().bands;
    }
    // Entry for a source index sample, null outside the table.
    const S* sourceEntry(S indexSample) const {
        const double v = double(indexSample);
        if (!(v >= 0) || v >= double(this->sourceClut_.entryCount())) return nullptr;
        return this->sourceClut_.template entry<S>(int(v));
    }
};

template <class P>
void ColorSpaceTransformer<P>::transform() {
    Raster<S>& src = this->source_;
    Raster<D>& dst = this->destination_;
    if (!dst.data() || !src.data()) throw NullPointerException();
    const bool srcTable = this->sourceClut_.hasEntries();
    const bool dstTable = this->destinationClut_.hasEntries();
    if (srcTable && !fitsTable(src.info(), this->sourceClut_))
        throw InvalidArgumentException("Source raster type incompatible with lookup table");
    if (dstTable && !fitsTable(dst.info(), this->destinationClut_))
        throw InvalidArgumentException("Destination raster type incompatible with lookup table");

    P& op = this->pixel_;
    op.init(dstTable ? this->destinationClut_.info() : dst.info(),
            srcTable ? this->sourceClut_.info() : src.info());
    if (this->windowIsSet(this->sourceWindow_)) {
        op.sourceRange.setWindow(this->sourceWindow_);
        op.updateScale();
    }
    if (this->levelIsSet(this->sourceLevel_)) op.sourceRange.setLevel(this->sourceLevel_);
    if (this->windowIsSet(this->destinationWindow_)) {
        op.destinationRange.setWindow(this->destinationWindow_);
        op.updateScale();
    }
    if (this->levelIsSet(this->destinationLevel_)) op.destinationRange.setLevel(this->destinationLevel_);

    const int rows = std::min(src.height(), dst.height());
    const int cols = std::min(src.width(), dst.width());
    const int srcStep = src.columnStep();
    const int dstStep = dst.columnStep();
    // Scratch pixel in the destination table's entry format.
    std::vector<D> scratch(dstTable ? size_t(std::max(1, this->destinationClut_.info().samplesPerPixel)) : 0);

    // A local copy the sample stores cannot alias, so the ranges and
    // coefficients stay in registers across the row loop.
    const P kernel = op;
    for (int y = 0; y < rows; ++y) {
        const S* s = src.row(y);
        D* d = dst.row(y);
        if (!srcTable && !dstTable) {
            if constexpr (HasRowKernel<P>::value) {
                if (srcStep == 1) {
                    kernel.applyRow(d, dstStep, s, cols);
                    continue;
                }
            }
            for (int x = 0; x < cols; ++x, s += srcStep, d += dstStep) kernel.apply(d, s);
        } else if (!dstTable) {
            for (int x = 0; x < cols; ++x, s += srcStep, d += dstStep)
                if (const S* e = sourceEntry(*s)) op.apply(d, e);
        } else {
            for (int x = 0; x < cols; ++x, s += srcStep, d += dstStep) {
                const S* in = srcTable ? sourceEntry(*s) : s;
                if (!in) continue;
                op.apply(scratch.data(), in);
                *d = D(this->destinationClut_.lookUp(scratch.data()));
            }
        }
    }
}

}  // namespace Lumetra
