#include "imaging/transform/TransformerRegistry.h"

#include <cstdio>
#include <map>

namespace Lumetra {

namespace {

struct Registry {
    std::map<std::string, std::unique_ptr<ColorSpaceTransformerFactory>> factories;
    std::unique_ptr<ColorSpaceTransformerFactory> fallback;
};

Registry& registry() {
    static Registry table;
    return table;
}

template <class Imp>
void registerStandard() {
    registerFactory(std::unique_ptr<ColorSpaceTransformerFactory>(new XColorSpaceTransformerFactory<Imp>()));
}

}  // namespace

std::string transformerKey(int sourceColorSpace, int destinationColorSpace) {
    char key[64];
    std::snprintf(key, sizeof key, "%d.to.%d", sourceColorSpace, destinationColorSpace);
    return key;
}

void registerFactory(std::unique_ptr<ColorSpaceTransformerFactory> factory) {
    if (!factory) return;
    const std::string key = transformerKey(factory->sourceColorSpace(), factory->destinationColorSpace());
    registry().factories[key] = std::move(factory);
}

void setFallbackFactory(std::unique_ptr<ColorSpaceTransformerFactory> factory) {
    registry().fallback = std::move(factory);
}

void registerStandardFactories() {
    registerStandard<CMYKtoRGBFactoryImp>();
    registerStandard<CMYKtoRGBKFactoryImp>();
    registerStandard<RGBtoCMYKFactoryImp>();
    registerStandard<RGBtoGrayscaleFactoryImp>();
    registerStandard<YIQtoRGBFactoryImp>();
    registerStandard<RGBtoYIQFactoryImp>();
    registerStandard<CMYKtoYIQKFactoryImp>();
    registerStandard<YIQKtoCMYKFactoryImp>();
    registerStandard<YIQKtoRGBFactoryImp>();
    registerStandard<GrayscaleToRGBFactoryImp>();
    setFallbackFactory(
        std::unique_ptr<ColorSpaceTransformerFactory>(new XColorSpaceTransformerFactory<IdentityImp>()));
}

const ColorSpaceTransformerFactory* registeredFactory(const std::string& key) {
    const auto& factories = registry().factories;
    const auto it = factories.find(key);
    return it == factories.end() ? nullptr : it->second.get();
}

std::unique_ptr<ImageTransformer> findTransformer(const ImageBufferInfo& destination,
                                                  const ImageBufferInfo& source) {
    if (const ColorSpaceTransformerFactory* factory =
            registeredFactory(transformerKey(source.colorSpace, destination.colorSpace)))
        return factory->create(destination, source);
    const bool luminance =
        destination.colorSpace == ImageBufferInfo::Grayscale &&
        (source.colorSpace == ImageBufferInfo::YIQ || source.colorSpace == ImageBufferInfo::YIQK);
    if ((destination.colorSpace == source.colorSpace || luminance) && registry().fallback)
        return registry().fallback->create(destination, source);
    return nullptr;
}

}  // namespace Lumetra
