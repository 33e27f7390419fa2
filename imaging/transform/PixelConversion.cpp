// Single-pixel conversion through the registry.
#include "imaging/pixels/Pixel.h"
#include "imaging/transform/TransformerRegistry.h"

namespace Lumetra {

Pixel& Pixel::convertTo(Pixel& target) const {
    // Values missing, or sized for another format, are made afresh.
    const int wanted = target.info().bytesPerPixel();
    if (!target.hasValues() || int64_t(target.valueBytes()) != int64_t(wanted)) target.setValues(nullptr);
    std::unique_ptr<ImageTransformer> transformer = findTransformer(target.info(), info_);
    if (!transformer) throw Exception("No transformer exists for what you want.");
    transformer->setDestination(target.values(), 1, 1, target.info().bytesPerPixel(), target.info());
    transformer->setSource(values(), 1, 1, info_.bytesPerPixel(), info_);
    transformer->transform();
    return target;
}

}  // namespace Lumetra
