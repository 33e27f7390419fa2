// Throughput of the decoder-to-raw-file path: float planes converted into
// 8-bit BIP strips by a BIPFileBuffer and written to a file.
//   bench_imaging_buffers [width] [height] [repeats]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "imaging/pixels/BIPFileBuffer.h"
#include "imaging/transform/TransformerRegistry.h"

using namespace Lumetra;

namespace {

// One strip of float planes, band-sequential, with varied values.
std::vector<float> stripPlanes(int width, int rows, int bands) {
    std::vector<float> v(size_t(width) * rows * bands);
    for (size_t i = 0; i < v.size(); ++i) v[i] = float((i * 37) % 300) - 20.0f;
    return v;
}

double megapixelsPerSecond(const std::string& file, int colorSpace, int width, int height, int repeats) {
    const int bands = bandsFor(colorSpace);
    const int stripRows = 128;
    const std::vector<float> planes = stripPlanes(width, stripRows, bands);
    ImageBufferInfo source;
    source.setColorSpace(colorSpace);
    source.sampleType = ImageBufferInfo::Float32;
    source.layout = ImageBufferInfo::Planar;
    source.samplesPerPixel = 1;
    std::vector<int> offsets;
    for (int b = 0; b < bands; ++b) offsets.push_back(b * width * stripRows);
    source.setBandMap(offsets.data());

    double best = 0;
    for (int r = 0; r < repeats; ++r) {
        // Processor time of this process: the figure stays meaningful on a
        // machine shared with other work.
        const std::clock_t start = std::clock();
        {
            BIPFileBuffer buffer(file, GeoReference());
            buffer.info().setColorSpace(colorSpace == ImageBufferInfo::YIQ ? ImageBufferInfo::RGB
                                                                           : ImageBufferInfo::Grayscale);
            buffer.setStripHeight(stripRows);
            buffer.setImageRect(Rectangle::fromCorners(0, 0, width - 1, height - 1));
            buffer.begin();
            while (buffer.hasStrip()) {
                const Rectangle& s = buffer.currentStrip();
                buffer.writeData(planes.data(), s.width(), s.height(), width * 4, source, 0, 0, 0);
                buffer.stripDone();
            }
            buffer.end();
        }
        const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
        const double rate = double(width) * height / seconds / 1e6;
        if (rate > best) best = rate;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int width = argc > 1 ? std::atoi(argv[1]) : 4096;
    const int height = argc > 2 ? std::atoi(argv[2]) : 4096;
    const int repeats = argc > 3 ? std::atoi(argv[3]) : 3;
    if (width < 1 || height < 1 || repeats < 1 || width > (1 << 16) || height > (1 << 20)) {
        std::fprintf(stderr, "usage: bench_imaging_buffers [width] [height] [repeats]\n");
        return 2;
    }
    registerStandardFactories();
    char folder[] = "/tmp/wx_bench_XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string file = std::string(folder) + "/bench.bip";

    std::printf("%d x %d pixels, 128-row strips, best of %d, per second of processor time\n", width, height,
                repeats);
    std::printf("float YIQ planes -> 8-bit RGB BIP : %8.1f Mpixel/s\n",
                megapixelsPerSecond(file, ImageBufferInfo::YIQ, width, height, repeats));
    std::printf("float grey plane -> 8-bit grey    : %8.1f Mpixel/s\n",
                megapixelsPerSecond(file, ImageBufferInfo::Grayscale, width, height, repeats));

    std::remove(file.c_str());
    std::remove((std::string(folder) + "/bench.hdr").c_str());
    rmdir(folder);
    return 0;
}
