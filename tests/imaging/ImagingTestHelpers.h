#pragma once
// Helpers for the imaging tests: sample formats, one-pixel conversions and a
// scratch folder removed with everything in it.

#include "support/ScratchDir.h"
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/pixels/ImageBufferInfo.h"
#include "imaging/transform/TransformerRegistry.h"

namespace imagingtest {

using Lumetra::ImageBufferInfo;

// BIP format of the colour space with identity band map.
inline ImageBufferInfo format(int colorSpace, int sampleType, int bits = 8) {
    ImageBufferInfo info;
    info.setColorSpace(colorSpace);
    info.samplesPerPixel = info.bands;
    info.setBandMap(nullptr);
    info.sampleType = sampleType;
    info.bitsPerSample = bits;
    return info;
}

// One pixel through the registry's transformer.
template <class D, class S>
std::vector<D> convertPixel(const std::vector<S>& in, const ImageBufferInfo& source,
                            const ImageBufferInfo& destination) {
    Lumetra::registerStandardFactories();
    auto t = Lumetra::findTransformer(destination, source);
    EXPECT_TRUE(t != nullptr);
    std::vector<D> out(size_t(destination.samplesPerPixel), D(0));
    if (!t) return out;
    t->setSource(in.data(), 1, 1, int64_t(in.size() * sizeof(S)), source);
    t->setDestination(out.data(), 1, 1, int64_t(out.size() * sizeof(D)), destination);
    t->transform();
    return out;
}

inline std::vector<int> asInts(const std::vector<unsigned char>& v) {
    return std::vector<int>(v.begin(), v.end());
}

// The message of the exception `statement` throws (empty when none).
#define IMAGING_MESSAGE_OF(statement)           \
    [&]() -> std::string {                      \
        try {                                   \
            statement;                          \
        } catch (const Lumetra::Exception& e) { \
            return e.what();                    \
        }                                       \
        return std::string();                   \
    }()

// A fresh folder under /tmp, removed with its files at destruction.
class ScratchFolder {
public:
    ScratchFolder() : scratch_("wx_imaging"), path_(scratch_.path()) {}
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    testsupport::ScratchDir scratch_;
    std::string path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// Short names for the sample types and colour spaces the tests combine.
namespace formats {
constexpr int U8 = Lumetra::ImageBufferInfo::UInt8, U16 = Lumetra::ImageBufferInfo::UInt16,
              F32 = Lumetra::ImageBufferInfo::Float32;
constexpr int RGB = Lumetra::ImageBufferInfo::RGB, GREY = Lumetra::ImageBufferInfo::Grayscale,
              CMYK = Lumetra::ImageBufferInfo::CMYK;
constexpr int YIQ = Lumetra::ImageBufferInfo::YIQ, YIQK = Lumetra::ImageBufferInfo::YIQK,
              RGBK = Lumetra::ImageBufferInfo::RGBK;
}  // namespace formats

}  // namespace imagingtest
