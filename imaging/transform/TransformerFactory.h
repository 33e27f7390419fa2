#pragma once
// Factories that build the raster conversion for one pair of colour spaces,
// choosing the instantiation that matches the two sample types.

#include <memory>

#include "imaging/pixels/ImageBufferInfo.h"
#include "imaging/transform/ImageTransformer.h"
#include "imaging/transform/PixelTransformers.h"
#include "imaging/transform/RasterTransformer.h"

namespace Lumetra {

class TransformerFactory {
public:
    virtual ~TransformerFactory() = default;
    // A new transformer from `source` to `destination` format, or null when
    // the sample types are not supported.
    virtual std::unique_ptr<ImageTransformer> create(const ImageBufferInfo& destination,
                                                     const ImageBufferInfo& source) const = 0;
};

class ColorSpaceTransformerFactory : public TransformerFactory {
public:
    std::unique_ptr<ImageTransformer> create(const ImageBufferInfo& destination,
                                             const ImageBufferInfo& source) const override {
        return createFor(destination, source);
    }
    // The colour spaces the factory converts between (-1: any).
    virtual int destinationColorSpace() const = 0;
    virtual int sourceColorSpace() const = 0;

protected:
    virtual std::unique_ptr<ImageTransformer> createFor(const ImageBufferInfo& destination,
                                                        const ImageBufferInfo& source) const = 0;
};

template <class Imp>
class SlimColorSpaceTransformerFactory : public ColorSpaceTransformerFactory {
public:
    int destinationColorSpace() const override { return Imp::destination; }
    int sourceColorSpace() const override { return Imp::source; }
};

// Picks ColorSpaceTransformer<Imp::Kind<D, S>> by the sample types
// (0: unsigned char, 1: unsigned short, 10: float; others: null).
template <class Imp>
class XColorSpaceTransformerFactory : public SlimColorSpaceTransformerFactory<Imp> {
protected:
    std::unique_ptr<ImageTransformer> createFor(const ImageBufferInfo& destination,
                                                const ImageBufferInfo& source) const override {
        switch (destination.sampleType) {
            case ImageBufferInfo::UInt8:
                return forSource<unsigned char>(source.sampleType);
            case ImageBufferInfo::UInt16:
                return forSource<unsigned short>(source.sampleType);
            case ImageBufferInfo::Float32:
                return forSource<float>(source.sampleType);
            default:
                return nullptr;
        }
    }

private:
    template <class D>
    static std::unique_ptr<ImageTransformer> forSource(int sourceType) {
        switch (sourceType) {
            case ImageBufferInfo::UInt8:
                return make<D, unsigned char>();
            case ImageBufferInfo::UInt16:
                return make<D, unsigned short>();
            case ImageBufferInfo::Float32:
                return make<D, float>();
            default:
                return nullptr;
        }
    }
    template <class D, class S>
    static std::unique_ptr<ImageTransformer> make() {
        return std::unique_ptr<ImageTransformer>(
            new ColorSpaceTransformer<typename Imp::template Kind<D, S>>());
    }
};

#define WAVRA_FACTORY_IMP(NAME, SOURCE, DESTINATION, KIND) \
    struct NAME {                                          \
        static constexpr int source = SOURCE;              \
        static constexpr int destination = DESTINATION;    \
        template <class D, class S>                        \
        using Kind = KIND<D, S>;                           \
    }

WAVRA_FACTORY_IMP(CMYKtoRGBFactoryImp, 2, 0, CMYKtoRGBPixelTransformer);
WAVRA_FACTORY_IMP(CMYKtoRGBKFactoryImp, 2, 4, CMYKtoRGBKPixelTransformer);
WAVRA_FACTORY_IMP(RGBtoCMYKFactoryImp, 0, 2, RGBtoCMYKPixelTransformer);
WAVRA_FACTORY_IMP(RGBtoGrayscaleFactoryImp, 0, 3, RGBtoGrayscalePixelTransformer);
WAVRA_FACTORY_IMP(YIQtoRGBFactoryImp, 10, 0, YIQtoRGBPixelTransformer);
WAVRA_FACTORY_IMP(RGBtoYIQFactoryImp, 0, 10, RGBtoYIQPixelTransformer);
WAVRA_FACTORY_IMP(CMYKtoYIQKFactoryImp, 2, 11, CMYKtoYIQKPixelTransformer);
WAVRA_FACTORY_IMP(YIQKtoCMYKFactoryImp, 11, 2, YIQKtoCMYKPixelTransformer);
WAVRA_FACTORY_IMP(YIQKtoRGBFactoryImp, 11, 0, YIQKtoRGBPixelTransformer);
WAVRA_FACTORY_IMP(GrayscaleToRGBFactoryImp, 3, 0, GrayscaleToRGBPixelTransformer);
WAVRA_FACTORY_IMP(IdentityImp, -1, -1, PixelCopier);

#undef WAVRA_FACTORY_IMP

// The factory of each kind (their createFor bodies are compiled once, in
// the registry's sources).
extern template class XColorSpaceTransformerFactory<CMYKtoRGBFactoryImp>;
extern template class XColorSpaceTransformerFactory<CMYKtoRGBKFactoryImp>;
extern template class XColorSpaceTransformerFactory<RGBtoCMYKFactoryImp>;
extern template class XColorSpaceTransformerFactory<RGBtoGrayscaleFactoryImp>;
extern template class XColorSpaceTransformerFactory<YIQtoRGBFactoryImp>;
extern template class XColorSpaceTransformerFactory<RGBtoYIQFactoryImp>;
extern template class XColorSpaceTransformerFactory<CMYKtoYIQKFactoryImp>;
extern template class XColorSpaceTransformerFactory<YIQKtoCMYKFactoryImp>;
extern template class XColorSpaceTransformerFactory<YIQKtoRGBFactoryImp>;
extern template class XColorSpaceTransformerFactory<GrayscaleToRGBFactoryImp>;
extern template class XColorSpaceTransformerFactory<IdentityImp>;

}  // namespace Lumetra
