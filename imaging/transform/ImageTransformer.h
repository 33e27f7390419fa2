#pragma once
// The interface of every raster conversion handed out by the registry.

#include <cstdint>

#include "imaging/pixels/Clut.h"
#include "imaging/pixels/ImageBufferInfo.h"

namespace Lumetra {

class ImageTransformer {
public:
    virtual ~ImageTransformer() = default;
    // Where the converted samples go: width x height pixels, rows rowBytes apart.
    virtual void setDestination(void* data, int width, int height, int64_t rowBytes,
                                const ImageBufferInfo& info) = 0;
    // Destination samples become indices of the nearest entry of `clut`.
    virtual void setDestinationClut(const Clut& clut) = 0;
    // Where the samples come from.
    virtual void setSource(const void* data, int width, int height, int64_t rowBytes,
                           const ImageBufferInfo& info) = 0;
    // Source samples are indices into `clut`.
    virtual void setSourceClut(const Clut& clut) = 0;
    // Window (range width) and level (range centre) adjustments; a window of
    // 0 or below, or the largest float, and a level of 0 mean "not set".
    virtual void setSourceWindow(float window) = 0;
    virtual void setSourceLevel(float level) = 0;
    virtual void setDestinationWindow(float window) = 0;
    virtual void setDestinationLevel(float level) = 0;
    // Converts the overlap of source and destination, pixel by pixel.
    virtual void transform() = 0;
};

}  // namespace Lumetra
