// Instantiations of the conversions to and from luminance/chrominance.
#include "imaging/transform/TransformerFactory.h"

namespace Lumetra {

template class XColorSpaceTransformerFactory<YIQtoRGBFactoryImp>;
template class XColorSpaceTransformerFactory<RGBtoYIQFactoryImp>;
template class XColorSpaceTransformerFactory<YIQKtoCMYKFactoryImp>;
template class XColorSpaceTransformerFactory<YIQKtoRGBFactoryImp>;

}  // namespace Lumetra
