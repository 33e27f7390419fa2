#include "DecoderTestImages.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/TemporaryName.h"
#include "decoder/WavraNavigator.h"
#include "imaging/pixels/BIPFileBuffer.h"
#include "imaging/transform/TransformerRegistry.h"

namespace decodertest {

using namespace Lumetra;

Image readPnm(const std::string& path) {
    Image img;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> img.width >> img.height >> maxval) || maxval != 255) return Image();
    in.get();
    img.channels = magic == "P6" ? 3 : 1;
    img.pixels.resize(std::size_t(img.width) * img.height * img.channels);
    in.read(reinterpret_cast<char*>(img.pixels.data()), std::streamsize(img.pixels.size()));
    if (!in) return Image();
    return img;
}

Image decodeThroughNavigator(const WavraFile& file, int scale, const Rectangle& support, int stripHeight) {
    static const bool registered = (registerStandardFactories(), true);
    (void)registered;
    TemporaryReservation reservation(nullptr);
    const FileSpecification data = reservation.name().setExtension("bip");
    // Remove the raw pair however the decode ends, a thrown failure included.
    struct RemoveRawPair {
        FileSpecification data;
        ~RemoveRawPair() {
            data.removeQuietly();
            data.setExtension("hdr").removeQuietly();
        }
    } cleanup{data};
    Image img;
    {
        WavraNavigator nav(file, scale, support);
        BIPFileBuffer buffer(data, nav.geoReference());
        const bool grey = file.colorScheme().colorSpace == ImageBufferInfo::Grayscale;
        buffer.info().setColorSpace(grey ? ImageBufferInfo::Grayscale : ImageBufferInfo::RGB);
        buffer.setStripHeight(stripHeight);
        nav.decode(buffer);
        img.width = support.width();
        img.height = support.height();
        img.channels = grey ? 1 : 3;
    }
    img.pixels.resize(std::size_t(img.width) * img.height * img.channels);
    FILE* f = std::fopen(data.path(), "rb");
    if (f) {
        if (std::fread(img.pixels.data(), 1, img.pixels.size(), f) != img.pixels.size()) img.pixels.clear();
        std::fclose(f);
    } else {
        img.pixels.clear();
    }
    return img;
}

Image crop(const Image& image, int x0, int y0, int w, int h) {
    Image out;
    out.width = w;
    out.height = h;
    out.channels = image.channels;
    out.pixels.assign(std::size_t(w) * h * image.channels, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int sx = x0 + x, sy = y0 + y;
            if (sx < 0 || sy < 0 || sx >= image.width || sy >= image.height) continue;
            for (int c = 0; c < image.channels; ++c)
                out.pixels[(std::size_t(y) * w + x) * image.channels + c] =
                    image.pixels[(std::size_t(sy) * image.width + sx) * image.channels + c];
        }
    return out;
}

int maxDifference(const Image& a, const Image& b, long* differing) {
    if (differing) *differing = 0;
    if (a.width != b.width || a.height != b.height || a.channels != b.channels ||
        a.pixels.size() != b.pixels.size())
        return 256;
    int worst = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        const int d = std::abs(int(a.pixels[i]) - int(b.pixels[i]));
        if (d > worst) worst = d;
        if (d && differing) ++*differing;
    }
    return worst;
}

}  // namespace decodertest
