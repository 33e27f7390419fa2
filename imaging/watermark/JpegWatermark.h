#pragma once
// A watermark decoded from a one-component (grey) or three-component (RGB)
// JPEG file.

#include <cstdint>

#include "core/FileSpecification.h"
#include "imaging/pixels/Watermark.h"

namespace Lumetra {

class JpegWatermark : public Watermark {
public:
    // Largest decoded picture accepted, in bytes (rowBytes x height).
    static constexpr int64_t kMaxPictureBytes = int64_t(1) << 28;

    // An empty watermark.
    JpegWatermark() = default;
    // Decodes the whole picture into 8-bit grey or RGB rows. Throws
    // OpenError "Error opening file %s for read." when the file cannot be
    // opened; Exception "This watermark must be Grayscale or RGB!\n" for any
    // other component count; Exception with the JPEG library's message for a
    // damaged or truncated file; Exception when the picture exceeds
    // kMaxPictureBytes. The conversion goes through the transformer
    // registry, so the standard factories must be registered.
    explicit JpegWatermark(const FileSpecification& file);

    // Shares the other watermark's pixels and copies its size and format.
    JpegWatermark& operator=(const Watermark& other);
};

}  // namespace Lumetra
