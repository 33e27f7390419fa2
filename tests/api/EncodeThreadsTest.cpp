// The encoder's threads: the coded bytes do not depend on how many there are.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/ScratchDir.h"
#include "wavra/wavra.h"

namespace {

// Shading, sharp-edged fields and noise, served window by window.
class FieldSource : public wavra::PixelSource {
public:
    FieldSource(int32_t width, int32_t height) : width_(width), height_(height) {}
    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }
    wavra::ColorSpace colorSpace() const override { return wavra::ColorSpace::RGB; }
    void readRows(int32_t firstRow, int32_t count, uint8_t* buffer, size_t rowStride) override {
        readWindow(0, firstRow, width_, count, buffer, rowStride);
    }
    bool readWindow(int32_t x, int32_t y, int32_t width, int32_t height, uint8_t* buffer,
                    size_t rowStride) override {
        for (int32_t r = 0; r < height; ++r)
            for (int32_t c = 0; c < width; ++c)
                for (int b = 0; b < 3; ++b) {
                    const int gx = x + c, gy = y + r;
                    const uint32_t hash = (uint32_t(gx) * 73856093u ^ uint32_t(gy) * 19349663u) * 0x5bd1e995u;
                    const double v = 90 + ((gx / 97 + gy / 61) % 3) * 30 +
                                     50 * std::sin(gx * 0.01 + b) * std::cos(gy * 0.013) + double(hash >> 28);
                    buffer[size_t(r) * rowStride + size_t(c) * 3 + size_t(b)] = uint8_t(v < 0     ? 0
                                                                                        : v > 255 ? 255
                                                                                                  : v);
                }
        return true;
    }

private:
    int32_t width_, height_;
};

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The bytes before the metadata block, which holds the creation date.
std::vector<uint8_t> codedPart(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 27) return bytes;
    const auto u32 = [&](size_t at) {
        return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 |
               uint32_t(bytes[at + 3]);
    };
    const size_t slot = 12 * size_t(u32(11)) + 29;
    const size_t end = slot + 4 <= bytes.size() ? u32(slot) : 0;
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(end <= bytes.size() ? end : 0));
}

TEST(EncodeThreads, theCodedBytesAreTheSameForEveryThreadCount) {
    testsupport::ScratchDir dir("wx_threads");
    struct Case {
        int32_t width, height;
        int levels, blockSize;
        bool bestQuality;
    };
    // Several blocks per side (with grid indices outside the image), one
    // pass and two (a thumbnail pass below five levels), the rate-driven
    // steps and the best-quality trials.
    for (const Case& c :
         {Case{700, 530, 3, 128, false}, Case{1100, 800, 7, 300, false}, Case{600, 560, 2, 128, true}}) {
        SCOPED_TRACE(c.levels);
        FieldSource source(c.width, c.height);
        wavra::EncodeParameters parameters;
        parameters.levels = c.levels;
        parameters.blockSize = c.blockSize;
        parameters.bestQuality = c.bestQuality;
        parameters.temporaryFolder = dir.path();
        std::vector<std::vector<uint8_t>> files;
        for (const int threads : {1, 3}) {
            parameters.threads = threads;
            const std::string output = dir.file("t" + std::to_string(threads) + ".wvr");
            wavra::encode(source, parameters, wavra::GeoReference(), {}, output);
            files.push_back(fileBytes(output));
        }
        EXPECT_GT(codedPart(files[0]).size(), 1000u);
        EXPECT_EQ(files[0].size(), files[1].size());
        EXPECT_TRUE(codedPart(files[0]) == codedPart(files[1]));
    }
    wavra::EncodeParameters tooMany;
    tooMany.threads = 257;
    FieldSource source(64, 64);
    EXPECT_THROW(wavra::encode(source, tooMany, wavra::GeoReference(), {}, dir.file("no.wvr")), wavra::Error);
}

}  // namespace
