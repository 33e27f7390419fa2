// Instantiations of the conversions that involve inks.
#include "imaging/transform/TransformerFactory.h"

namespace Lumetra {

template class XColorSpaceTransformerFactory<CMYKtoRGBFactoryImp>;
template class XColorSpaceTransformerFactory<CMYKtoRGBKFactoryImp>;
template class XColorSpaceTransformerFactory<RGBtoCMYKFactoryImp>;
template class XColorSpaceTransformerFactory<CMYKtoYIQKFactoryImp>;

}  // namespace Lumetra
