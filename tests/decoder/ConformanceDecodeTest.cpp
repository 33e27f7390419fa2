// Files written by an independent implementation decode to their expected
// pixels at every scale, and to their expected region.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "DecoderTestImages.h"
#include "decoder/WavraDecoder.h"

using namespace Lumetra;
using namespace decodertest;

namespace {

// Every file of the manifest, checked to be all of them.
std::vector<std::string> conformanceNames() {
    std::vector<std::string> names = testsupport::conformanceNames();
    EXPECT_EQ(names.size(), testsupport::kConformanceFileCount);
    return names;
}

std::string expectedPath(const std::string& stem) {
    const std::string base = conformanceDir() + stem;
    if (std::ifstream(base + ".ppm").good()) return base + ".ppm";
    return base + ".pgm";
}

void expectClose(const Image& got, const Image& want, const std::string& what) {
    ASSERT_FALSE(want.pixels.empty()) << what << ": expected image missing";
    long differing = 0;
    const int worst = maxDifference(got, want, &differing);
    EXPECT_LE(worst, 1) << what;
    // Nearly all samples match exactly.
    EXPECT_LE(differing, long(want.pixels.size() / 100 + 1)) << what;
}

}  // namespace

TEST(ConformanceDecode, everyFileDecodesToItsExpectedPixelsAtEveryScale) {
    const auto names = conformanceNames();
    ASSERT_FALSE(names.empty()) << "no conformance files in " << conformanceDir();
    for (const std::string& name : names) {
        WavraFile file(conformanceDir() + name + ".wvr");
        for (int scale = 0; scale <= file.levels(); ++scale) {
            const std::string stem = name + ".s" + std::to_string(scale);
            const Image want = readPnm(expectedPath(stem));
            int32_t w, h;
            imageSizeAtScale(file.width(), file.height(), scale, w, h);
            const Image got = decodeThroughNavigator(file, scale, Rectangle::fromCorners(0, 0, w - 1, h - 1));
            expectClose(got, want, stem);
        }
    }
}

TEST(ConformanceDecode, regionPartlyOutsideTheImageMatchesItsExpectedPixels) {
    for (const std::string& name : conformanceNames()) {
        WavraFile file(conformanceDir() + name + ".wvr");
        const std::string stem = name + ".s1.region-10,-6,49,33";
        const Image want = readPnm(expectedPath(stem));
        const Image got = decodeThroughNavigator(file, 1, Rectangle::fromCorners(-10, -6, 49, 33));
        expectClose(got, want, stem);
    }
}
