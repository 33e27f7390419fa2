#include "EncoderRoundTrip.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/TemporaryName.h"
#include "decoder/WavraNavigator.h"
#include "imaging/pixels/BIPFileBuffer.h"
#include "imaging/transform/TransformerRegistry.h"

namespace codectest {

using namespace Lumetra;

Picture generatePicture(int width, int height, int channels, bool textured, unsigned seed) {
    Picture p;
    p.width = width;
    p.height = height;
    p.channels = channels;
    p.pixels.resize(size_t(width) * size_t(height) * size_t(channels));
    uint32_t state = seed * 2654435761u + 1u;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                double v = 128.0 + 60.0 * std::sin(x * 0.013 * (c + 1) + y * 0.007) +
                           40.0 * std::cos(y * 0.021 - x * 0.004 * (c + 2));
                if (textured) {
                    // Grey detail at several frequencies and a little noise.
                    state = state * 1664525u + 1013904223u;
                    v += 22.0 * std::sin(x * 0.35 + y * 0.22) * std::cos(y * 0.31 - x * 0.05) +
                         8.0 * std::sin(x * 1.1 - y * 0.7) + double(state >> 29) - 3.5;
                }
                p.pixels[(size_t(y) * width + x) * channels + c] =
                    uint8_t(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
            }
    return p;
}

std::string writeRawPicture(const std::string& dir, const std::string& name, const Picture& picture) {
    const std::string raw = dir + "/" + name + ".bip";
    if (FILE* f = std::fopen(raw.c_str(), "wb")) {
        std::fwrite(picture.pixels.data(), 1, picture.pixels.size(), f);
        std::fclose(f);
    }
    if (FILE* f = std::fopen((dir + "/" + name + ".hdr").c_str(), "w")) {
        std::fprintf(f, "NROWS %d\nNCOLS %d\nNBANDS %d\nNBITS 8\nLAYOUT BIP\n", picture.height, picture.width,
                     picture.channels);
        std::fprintf(f, "ULXMAP 500000.5\nULYMAP 4200000.25\nXDIM 2.5\nYDIM 2.5\n");
        std::fclose(f);
    }
    return raw;
}

Picture decodeAtScale(const WavraFile& file, int scale) {
    static const bool registered = (registerStandardFactories(), true);
    (void)registered;
    const int w = (file.width() + (1 << scale) - 1) >> scale;
    const int h = (file.height() + (1 << scale) - 1) >> scale;
    const Rectangle support = Rectangle::fromCorners(0, 0, w - 1, h - 1);
    TemporaryReservation reservation(nullptr);
    const FileSpecification data = reservation.name().setExtension("bip");
    Picture img;
    const bool grey = file.colorScheme().colorSpace == ImageBufferInfo::Grayscale;
    {
        WavraNavigator nav(file, scale, support);
        BIPFileBuffer buffer(data, nav.geoReference());
        buffer.info().setColorSpace(grey ? ImageBufferInfo::Grayscale : ImageBufferInfo::RGB);
        buffer.setStripHeight(128);
        nav.decode(buffer);
    }
    img.width = w;
    img.height = h;
    img.channels = grey ? 1 : 3;
    img.pixels.resize(size_t(w) * h * img.channels);
    FILE* f = std::fopen(data.path(), "rb");
    if (!f || std::fread(img.pixels.data(), 1, img.pixels.size(), f) != img.pixels.size()) img.pixels.clear();
    if (f) std::fclose(f);
    data.removeQuietly();
    data.setExtension("hdr").removeQuietly();
    return img;
}

double psnr(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.channels != b.channels || a.pixels.empty() ||
        a.pixels.size() != b.pixels.size())
        return 0.0;
    double sum = 0.0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const double d = double(a.pixels[i]) - double(b.pixels[i]);
        sum += d * d;
    }
    const double mse = sum / double(a.pixels.size());
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

Picture crop(const Picture& p, int x0, int y0, int w, int h) {
    Picture r;
    r.width = w;
    r.height = h;
    r.channels = p.channels;
    for (int y = y0; y < y0 + h; ++y) {
        const auto row = p.pixels.begin() + std::ptrdiff_t((size_t(y) * p.width + x0) * p.channels);
        r.pixels.insert(r.pixels.end(), row, row + std::ptrdiff_t(w * p.channels));
    }
    return r;
}

Picture reduce(const Picture& p, int scale) {
    const int f = 1 << scale;
    Picture r;
    r.width = (p.width + f - 1) / f;
    r.height = (p.height + f - 1) / f;
    r.channels = p.channels;
    r.pixels.resize(size_t(r.width) * r.height * r.channels);
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x)
            for (int c = 0; c < p.channels; ++c) {
                double sum = 0.0;
                int n = 0;
                for (int yy = y * f; yy < std::min(p.height, (y + 1) * f); ++yy)
                    for (int xx = x * f; xx < std::min(p.width, (x + 1) * f); ++xx, ++n)
                        sum += p.pixels[(size_t(yy) * p.width + xx) * p.channels + c];
                r.pixels[(size_t(y) * r.width + x) * r.channels + c] = uint8_t(std::lround(sum / n));
            }
    return r;
}

}  // namespace codectest
