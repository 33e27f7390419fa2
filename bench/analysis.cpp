// Throughput and memory of the block-wise wavelet analysis.
//
//   bench_analysis [LEVELS]
//
// Writes synthetic grey and RGB raw images (4096 and 8192 square) to the
// temporary directory, then analyses each through the raw-image reader with
// 512-pixel blocks, handing the pieces to a sink that only sums them. Each
// run is a process of its own, so its peak resident memory is its own: the
// figure must grow with the image's width (one block row of pieces), not with
// its area.

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
#include "core/FileSpecification.h"
#include "core/TemporaryName.h"
#include "encoder/codec/ImagePixelSource.h"
#include "encoder/codec/WaveletAnalyzer.h"
#include "encoder/rawimage/BBBImage.h"

using namespace Lumetra;

namespace {

// Writes a BIP raw file with its header; texture at several frequencies.
void writeRaw(const std::string& base, int side, int bands) {
    FILE* f = std::fopen((base + ".bip").c_str(), "wb");
    if (!f) throw Error("cannot write the raw file");
    std::vector<unsigned char> row(size_t(side) * size_t(bands));
    unsigned seed = 1;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const double v = 128 + 60 * std::sin(x * 0.01) * std::cos(y * 0.013) +
                             30 * std::sin((x + y) * 0.11) + double(seed >> 28);
            unsigned char* p = row.data() + size_t(x) * size_t(bands);
            p[0] = (unsigned char)std::max(0.0, std::min(255.0, v));
            if (bands == 3) {
                p[1] = (unsigned char)std::max(0.0, std::min(255.0, 255 - v * 0.7));
                p[2] = (unsigned char)((x ^ y) & 0xFF);
            }
        }
        if (std::fwrite(row.data(), 1, row.size(), f) != row.size()) throw Error("cannot write the raw file");
    }
    std::fclose(f);
    FILE* h = std::fopen((base + ".hdr").c_str(), "w");
    std::fprintf(h, "LAYOUT BIP\nNROWS %d\nNCOLS %d\nNBANDS %d\nNBITS 8\n", side, side, bands);
    std::fclose(h);
}

class SummingSink : public SubbandSink {
public:
    int writePiece(const SubbandPiece& piece, const std::vector<LeafStatistics>&) override {
        for (float v : piece.data) sum += v;
        ++pieces;
        return 0;
    }
    double sum = 0.0;
    long pieces = 0;
};

using bench::inChild;

}  // namespace

int main(int argc, char** argv) {
    const int levels = argc > 1 ? std::atoi(argv[1]) : 5;
    TemporaryReservation reservation(nullptr);
    const std::string base = reservation.name().str();
    for (int bands : {1, 3}) {
        for (int side : {4096, 8192}) {
            writeRaw(base, side, bands);
            const long kib = inChild([&] {
                BBBImage image(FileSpecification(base + ".bip"));
                ImagePixelSource source(image, nullptr);
                WaveletAnalyzer analyzer(source, levels, 512);
                SummingSink sink;
                const std::clock_t t0 = std::clock();
                analyzer.run(sink);
                const double seconds = double(std::clock() - t0) / CLOCKS_PER_SEC;
                std::printf(
                    "%s %d x %d, %d levels: %.2f s CPU, %.1f Mpixel/s, %ld pieces, held at most %.1f MiB of "
                    "coefficients\n",
                    bands == 1 ? "grey" : "RGB ", side, side, levels, seconds,
                    double(side) * side / seconds / 1e6, sink.pieces,
                    double(analyzer.peakHeldFloats()) * 4.0 / 1048576.0);
            });
            std::printf("    peak resident memory: %.1f MiB (raw image %.1f MiB)\n", kib / 1024.0,
                        double(side) * side * bands / 1048576.0);
            std::remove((base + ".bip").c_str());
            std::remove((base + ".hdr").c_str());
            if (kib < 0) return 1;
        }
    }
    return 0;
}
