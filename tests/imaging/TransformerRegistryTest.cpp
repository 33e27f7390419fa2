// Raster transformers (loop, tables, window and level) and the registry.
#include <gtest/gtest.h>

#include "imaging/pixels/Pixel.h"
#include "imaging/transform/RasterTransformer.h"
#include "imaging/transform/TransformerRegistry.h"
#include "ImagingTestHelpers.h"

using namespace Lumetra;
using imagingtest::asInts;
using imagingtest::convertPixel;
using imagingtest::format;
using namespace imagingtest::formats;

namespace {

template <template <class, class> class Kind, class D, class S>
bool isKind(const ImageTransformer* t) {
    return dynamic_cast<const ColorSpaceTransformer<Kind<D, S>>*>(t) != nullptr;
}

template <template <class, class> class Kind>
void expectKindForEveryTypePair(int source, int destination) {
    registerStandardFactories();
    const int types[] = {U8, U16, F32};
    for (int d : types)
        for (int s : types) {
            auto t = findTransformer(format(destination, d), format(source, s));
            ASSERT_NE(t, nullptr) << source << ".to." << destination << " " << d << "<-" << s;
            bool right = false;
            if (d == U8 && s == U8) right = isKind<Kind, unsigned char, unsigned char>(t.get());
            if (d == U8 && s == U16) right = isKind<Kind, unsigned char, unsigned short>(t.get());
            if (d == U8 && s == F32) right = isKind<Kind, unsigned char, float>(t.get());
            if (d == U16 && s == U8) right = isKind<Kind, unsigned short, unsigned char>(t.get());
            if (d == U16 && s == U16) right = isKind<Kind, unsigned short, unsigned short>(t.get());
            if (d == U16 && s == F32) right = isKind<Kind, unsigned short, float>(t.get());
            if (d == F32 && s == U8) right = isKind<Kind, float, unsigned char>(t.get());
            if (d == F32 && s == U16) right = isKind<Kind, float, unsigned short>(t.get());
            if (d == F32 && s == F32) right = isKind<Kind, float, float>(t.get());
            EXPECT_TRUE(right) << source << ".to." << destination << " " << d << "<-" << s;
        }
}

// A factory that counts what it is asked to build.
struct CountingFactory : ColorSpaceTransformerFactory {
    mutable int calls = 0;
    int destinationColorSpace() const override { return GREY; }
    int sourceColorSpace() const override { return RGB; }

protected:
    std::unique_ptr<ImageTransformer> createFor(const ImageBufferInfo&,
                                                const ImageBufferInfo&) const override {
        ++calls;
        return nullptr;
    }
};
}  // namespace

TEST(TransformerRegistry, everyKeyGivesItsKindForAllNineTypePairs) {
    expectKindForEveryTypePair<CMYKtoRGBPixelTransformer>(CMYK, RGB);
    expectKindForEveryTypePair<CMYKtoRGBKPixelTransformer>(CMYK, RGBK);
    expectKindForEveryTypePair<RGBtoCMYKPixelTransformer>(RGB, CMYK);
    expectKindForEveryTypePair<RGBtoGrayscalePixelTransformer>(RGB, GREY);
    expectKindForEveryTypePair<YIQtoRGBPixelTransformer>(YIQ, RGB);
    expectKindForEveryTypePair<RGBtoYIQPixelTransformer>(RGB, YIQ);
    expectKindForEveryTypePair<CMYKtoYIQKPixelTransformer>(CMYK, YIQK);
    expectKindForEveryTypePair<YIQKtoCMYKPixelTransformer>(YIQK, CMYK);
    expectKindForEveryTypePair<YIQKtoRGBPixelTransformer>(YIQK, RGB);
    expectKindForEveryTypePair<GrayscaleToRGBPixelTransformer>(GREY, RGB);
    for (int space : {RGB, GREY, CMYK, YIQ, RGBK}) expectKindForEveryTypePair<PixelCopier>(space, space);
    expectKindForEveryTypePair<PixelCopier>(YIQ, GREY);
    expectKindForEveryTypePair<PixelCopier>(YIQK, GREY);
    EXPECT_EQ(transformerKey(10, 0), "10.to.0");
}

TEST(TransformerRegistry, luminanceSourcesGiveTheirYBandToGrey) {
    EXPECT_EQ(
        asInts(convertPixel<unsigned char, float>({90.f, -40.f, 30.f}, format(YIQ, F32), format(GREY, U8))),
        std::vector<int>{90});
    EXPECT_EQ(asInts(convertPixel<unsigned char, float>({70.2f, 5.f, 5.f, 200.f}, format(YIQK, F32),
                                                        format(GREY, U8))),
              std::vector<int>{70});
}

TEST(TransformerRegistry, unsupportedPairsAndSampleTypesGiveNothing) {
    registerStandardFactories();
    EXPECT_EQ(findTransformer(format(YIQK, U8), format(RGB, U8)), nullptr);
    EXPECT_EQ(findTransformer(format(GREY, U8), format(CMYK, U8)), nullptr);
    EXPECT_EQ(findTransformer(format(RGB, U8), format(YIQ, ImageBufferInfo::Float64)), nullptr);
    EXPECT_EQ(findTransformer(format(RGB, U8), format(RGB, ImageBufferInfo::Int32)), nullptr);
    EXPECT_EQ(findTransformer(format(RGB, ImageBufferInfo::Float64), format(YIQ, F32)), nullptr);
}

TEST(TransformerRegistry, registeringUnderATakenKeyReplacesTheFactory) {
    registerStandardFactories();
    auto* counting = new CountingFactory;
    registerFactory(std::unique_ptr<ColorSpaceTransformerFactory>(counting));
    EXPECT_EQ(registeredFactory("0.to.3"), counting);
    EXPECT_EQ(findTransformer(format(GREY, U8), format(RGB, U8)), nullptr);
    EXPECT_EQ(counting->calls, 1);
    registerStandardFactories();
    EXPECT_NE(findTransformer(format(GREY, U8), format(RGB, U8)), nullptr);
}

TEST(TransformerRegistry, withoutFallbackEqualSpacesHaveNoTransformer) {
    registerStandardFactories();
    setFallbackFactory(nullptr);
    EXPECT_EQ(findTransformer(format(RGB, U8), format(RGB, U8)), nullptr);
    registerStandardFactories();
    EXPECT_NE(findTransformer(format(RGB, U8), format(RGB, U8)), nullptr);
}

TEST(PixelConvertTo, convertsThroughTheRegistryOrSaysThereIsNoWay) {
    registerStandardFactories();
    const unsigned char red[] = {255, 0, 0};
    Pixel source(format(RGB, U8));
    source.setValues(red);
    Pixel grey(format(GREY, U8));
    grey.clearValues();
    source.convertTo(grey);
    ASSERT_TRUE(grey.hasValues());
    EXPECT_EQ(grey.sample<unsigned char>(0), 76);

    Pixel resized(format(RGB, U8));  // values for 3 samples, then told it is CMYK
    resized.info() = format(CMYK, U8);
    source.convertTo(resized);
    ASSERT_EQ(resized.valueBytes(), 4u);
    EXPECT_EQ(resized.sample<unsigned char>(1), 255);
    EXPECT_EQ(resized.sample<unsigned char>(3), 0);

    Pixel yiqk(format(YIQK, U8));
    EXPECT_EQ(IMAGING_MESSAGE_OF(source.convertTo(yiqk)), "No transformer exists for what you want.");
}

TEST(RasterTransformer, smallerDestinationGetsOnlyTheOverlap) {
    registerStandardFactories();
    std::vector<unsigned char> source(4 * 3);
    for (size_t i = 0; i < source.size(); ++i) source[i] = (unsigned char)(10 + i);
    std::vector<unsigned char> destination(3 * 3, 0xEE);  // 2 x 2 view in 3-byte rows
    auto t = findTransformer(format(GREY, U8), format(GREY, U8));
    t->setSource(source.data(), 4, 3, 4, format(GREY, U8));
    t->setDestination(destination.data(), 2, 2, 3, format(GREY, U8));
    t->transform();
    EXPECT_EQ(asInts(destination), (std::vector<int>{10, 11, 0xEE, 14, 15, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(RasterTransformer, planarSourceIsReadThroughItsBandMap) {
    // 2 x 1 YIQ float planes, as the decoder hands them over.
    const float planes[] = {100.f, 50.f, 20.f, 0.f, -10.f, 0.f};
    ImageBufferInfo source = format(YIQ, F32);
    source.layout = ImageBufferInfo::Planar;
    source.samplesPerPixel = 1;
    const int offsets[] = {0, 2, 4};
    source.setBandMap(offsets);
    std::vector<unsigned char> out(6);
    registerStandardFactories();
    auto t = findTransformer(format(RGB, U8), source);
    t->setSource(planes, 2, 1, 2 * sizeof(float), source);
    t->setDestination(out.data(), 2, 1, 6, format(RGB, U8));
    t->transform();
    EXPECT_EQ(asInts(out), (std::vector<int>{113, 100, 61, 50, 50, 50}));
}

TEST(RasterTransformer, windowAndLevelAdjustTheMappingAndUnsetValuesDoNot) {
    registerStandardFactories();
    auto run = [](float window, float level) {
        const float grey[] = {200.f, 100.f, 1000.f};
        unsigned char out[3] = {};
        auto t = findTransformer(format(GREY, U8), format(GREY, F32));
        t->setSourceWindow(window);
        t->setSourceLevel(level);
        t->setSource(grey, 3, 1, sizeof grey, format(GREY, F32));
        t->setDestination(out, 3, 1, 3, format(GREY, U8));
        t->transform();
        return std::vector<int>{out[0], out[1], out[2]};
    };
    const std::vector<int> plain = {200, 100, 255};
    EXPECT_EQ(run(3.4028235e38f, 0), plain);
    EXPECT_EQ(run(256.f, 0), plain);  // the width it has already
    EXPECT_EQ(run(0.f, 0), plain);    // 0 and below: not set
    EXPECT_EQ(run(-5.f, 0), plain);
    // Window 1024 centred at 512: range 0..1023, scale 1/4.
    EXPECT_EQ(run(1024.f, 512.f), (std::vector<int>{50, 25, 250}));
}

TEST(RasterTransformer, destinationTableReceivesNearestEntryIndices) {
    registerStandardFactories();
    const unsigned char palette[] = {0, 0, 0, 255, 0, 0, 0, 0, 255};
    Clut table(RGB, 3, U8, palette);
    ImageBufferInfo indices = format(RGB, U8);
    indices.samplesPerPixel = 1;
    const unsigned char pixels[] = {250, 10, 10, 5, 5, 5, 0, 20, 200};
    unsigned char out[3] = {9, 9, 9};
    auto t = findTransformer(indices, format(RGB, U8));
    t->setSource(pixels, 3, 1, 9, format(RGB, U8));
    t->setDestination(out, 3, 1, 3, indices);
    t->setDestinationClut(table);
    t->transform();
    EXPECT_EQ(asInts(std::vector<unsigned char>(out, out + 3)), (std::vector<int>{1, 0, 2}));

    t->setDestination(out, 3, 1, 3, format(RGB, U8));
    EXPECT_EQ(IMAGING_MESSAGE_OF(t->transform()),
              "Invalid argument passed to function: Destination raster type incompatible with lookup table");
}

TEST(RasterTransformer, sourceTableIndicesOutsideTheTableAreSkipped) {
    registerStandardFactories();
    const unsigned char palette[] = {10, 20, 30, 40, 50, 60};
    Clut table(RGB, 2, U8, palette);
    ImageBufferInfo indices = format(RGB, U8);
    indices.samplesPerPixel = 1;
    const unsigned char pixels[] = {1, 0, 7};
    std::vector<unsigned char> out(9, 0xEE);
    auto t = findTransformer(format(RGB, U8), indices);
    t->setSource(pixels, 3, 1, 3, indices);
    t->setSourceClut(table);
    t->setDestination(out.data(), 3, 1, 9, format(RGB, U8));
    t->transform();
    EXPECT_EQ(asInts(out), (std::vector<int>{40, 50, 60, 10, 20, 30, 0xEE, 0xEE, 0xEE}));

    t->setSource(pixels, 3, 1, 3, format(RGB, U8));
    EXPECT_EQ(IMAGING_MESSAGE_OF(t->transform()),
              "Invalid argument passed to function: Source raster type incompatible with lookup table");
}

TEST(RasterTransformer, missingDataIsANullPointer) {
    registerStandardFactories();
    auto t = findTransformer(format(RGB, U8), format(RGB, U8));
    unsigned char px[3] = {};
    t->setSource(px, 1, 1, 3, format(RGB, U8));
    EXPECT_EQ(IMAGING_MESSAGE_OF(t->transform()), "Null pointer exception");
}

TEST(RasterTransformer, wholePlanarRowsGiveTheBytesOfSinglePixels) {
    // 37 pixels: blocks of the vector paths and a tail; unset window (the
    // mapping that changes nothing) and a window with a level.
    registerStandardFactories();
    constexpr int n = 37;
    for (const int space : {GREY, YIQ}) {
        const int bands = space == GREY ? 1 : 3;
        const int target = space == GREY ? GREY : RGB;
        std::vector<float> planes(std::size_t(bands * n));
        for (std::size_t k = 0; k < planes.size(); ++k) planes[k] = float(int(k * 53) % 330) - 40.25f;
        ImageBufferInfo planar = format(space, F32);
        planar.layout = ImageBufferInfo::Planar;
        const int map[3] = {0, n, 2 * n};
        planar.setBandMap(map);
        // One pixel with a padding sample: converted pixel by pixel, not as a row.
        ImageBufferInfo single = format(space, F32);
        single.samplesPerPixel = bands + 1;
        for (const float window : {0.f, 700.f}) {
            const auto run = [&](const float* in, int width, const ImageBufferInfo& info) {
                std::vector<unsigned char> out(std::size_t(bands * width));
                auto t = findTransformer(format(target, U8), info);
                t->setSourceWindow(window);
                t->setSourceLevel(window / 3);
                t->setSource(in, width, 1, int(sizeof(float)) * width * info.columnStep(), info);
                t->setDestination(out.data(), width, 1, bands * width, format(target, U8));
                t->transform();
                return out;
            };
            const std::vector<unsigned char> row = run(planes.data(), n, planar);
            for (int x = 0; x < n; ++x) {
                float pixel[4] = {};
                for (int b = 0; b < bands; ++b) pixel[b] = planes[std::size_t(b * n + x)];
                const std::vector<unsigned char> one = run(pixel, 1, single);
                for (int b = 0; b < bands; ++b)
                    ASSERT_EQ(row[std::size_t(bands * x + b)], one[std::size_t(b)])
                        << space << " " << window << " " << x;
            }
        }
    }
}
