// Instantiations of the grey conversions and the copier.
#include "imaging/transform/TransformerFactory.h"

namespace Lumetra {

template class XColorSpaceTransformerFactory<RGBtoGrayscaleFactoryImp>;
template class XColorSpaceTransformerFactory<GrayscaleToRGBFactoryImp>;
template class XColorSpaceTransformerFactory<IdentityImp>;

}  // namespace Lumetra
