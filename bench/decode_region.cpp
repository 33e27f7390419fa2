// Decoding throughput and memory of the region decoder.
//
//   bench_decode_region [FILE.wvr]
//
// Without a file, encodes a synthetic 8192 x 2048 RGB image first (in the
// temporary directory). Reports megapixels of output per second for a
// full-resolution region and for a region at scale 2, and the peak resident
// memory of decoding regions 8192 wide and of two heights, each measured in
// a process of its own.

#include "ChildRun.h"
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/Exception.h"
#include "core/TemporaryName.h"
#include "decoder/WavraNavigator.h"
#include "encoder/codec/ImageEncoder.h"
#include "encoder/rawimage/BBBImage.h"
#include "imaging/pixels/PassThroughImageBuffer.h"
#include "imaging/transform/TransformerRegistry.h"

using namespace Lumetra;

namespace {

const int kWidth = 8192, kHeight = 2048;

// A raw BIP image with texture at several frequencies, so the coder has
// real work to do.
void writeRaw(const std::string& base) {
    FILE* f = std::fopen((base + ".bip").c_str(), "wb");
    std::vector<unsigned char> row(std::size_t(kWidth) * 3);
    unsigned seed = 1;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const double v = 128 + 60 * std::sin(x * 0.01) * std::cos(y * 0.013) +
                             30 * std::sin((x + y) * 0.11) + double(seed >> 28);
            row[std::size_t(x) * 3 + 0] = (unsigned char)std::max(0.0, std::min(255.0, v));
            row[std::size_t(x) * 3 + 1] = (unsigned char)std::max(0.0, std::min(255.0, 255 - v * 0.7));
            row[std::size_t(x) * 3 + 2] = (unsigned char)((x ^ y) & 0xFF);
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
    FILE* h = std::fopen((base + ".hdr").c_str(), "w");
    std::fprintf(h, "BYTEORDER M\nLAYOUT BIP\nNROWS %d\nNCOLS %d\nNBANDS 3\nNBITS 8\n", kHeight, kWidth);
    std::fclose(h);
}

// Decodes the region and returns the processor seconds taken (the machine
// may be shared, so wall time says less).
double decodeRegion(const WavraFile& file, int scale, const Rectangle& support) {
    WavraNavigator nav(file, scale, support);
    PassThroughImageBuffer buffer;
    buffer.info().setColorSpace(ImageBufferInfo::RGB);
    buffer.setStripHeight(128);
    const std::clock_t t0 = std::clock();
    nav.decode(buffer);
    return double(std::clock() - t0) / CLOCKS_PER_SEC;
}

using bench::inChild;

}  // namespace

int main(int argc, char** argv) {
    registerStandardFactories();
    std::string path;
    TemporaryReservation reservation(nullptr);
    const std::string base = reservation.name().str();
    if (argc > 1) {
        path = argv[1];
    } else {
        path = base + ".wvr";
        std::printf("encoding a synthetic %d x %d RGB image to %s ...\n", kWidth, kHeight, path.c_str());
        const long rss = inChild([&] {
            writeRaw(base);
            BBBImage image(FileSpecification(base + ".bip"));
            ImageEncoder encoder(image, 4, 512, 1.0f, nullptr, nullptr, nullptr, 4.0f, 2.0f, true, 0.25f);
            encoder.setWriteWorldFile(false);
            encoder.encode(FileSpecification(path));
        });
        std::remove((base + ".bip").c_str());
        std::remove((base + ".hdr").c_str());
        if (rss < 0) {
            std::fprintf(stderr, "encoding failed\n");
            return 1;
        }
    }

    {
        const WavraFile file{FileSpecification(path)};
        std::printf("file %d x %d, %d bands, %d levels\n", file.width(), file.height(), file.bands(),
                    file.levels());
        const int w = std::min<int>(file.width(), 4096), h = std::min<int>(file.height(), 2048);
        const double t0 = decodeRegion(file, 0, Rectangle::fromCorners(0, 0, w - 1, h - 1));
        std::printf("scale 0, %d x %d region: %.3f s CPU, %.1f Mpixel/s\n", w, h, t0,
                    w * double(h) / t0 / 1e6);
        const int w2 = (file.width() + 3) / 4, h2 = (file.height() + 3) / 4;
        const double t2 = decodeRegion(file, 2, Rectangle::fromCorners(0, 0, w2 - 1, h2 - 1));
        std::printf("scale 2, %d x %d region: %.3f s CPU, %.1f Mpixel/s\n", w2, h2, t2,
                    w2 * double(h2) / t2 / 1e6);
    }

    for (int rows : {256, 2048}) {
        const long kib = inChild([&] {
            const WavraFile file{FileSpecification(path)};
            decodeRegion(file, 0, Rectangle::fromCorners(0, 0, 8191, rows - 1));
        });
        std::printf("peak resident memory, region 8192 x %d at scale 0: %.1f MiB\n", rows, kib / 1024.0);
    }
    if (argc <= 1) std::remove(path.c_str());
    return 0;
}
