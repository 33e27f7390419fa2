// Sample data for scripts/demo: a georeferenced RGB raster of a made-up
// landscape (fractal relief, hill shading, elevation colours, contour
// lines and a map grid) as a raw BIP file with its text header, and a small
// JPEG badge to stamp as a watermark.
//
//   demo_sample OUTDIR [WIDTH HEIGHT]
//
// writes OUTDIR/terrain.bip, OUTDIR/terrain.hdr and OUTDIR/badge.jpg.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// libjpeg's header needs FILE and size_t declared first.
#include <jpeglib.h>

namespace {

// Map of the sample: 10 m pixels, upper-left pixel centre at these coordinates.
constexpr double kUpperLeftX = 431005.0;
constexpr double kUpperLeftY = 5271995.0;
constexpr double kPixelSize = 10.0;

uint32_t hash(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 0x8DA6B343u ^ uint32_t(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    return h ^ (h >> 15);
}

double lattice(int32_t x, int32_t y, uint32_t seed) {
    return (hash(x, y, seed) & 0xFFFFFF) / double(0xFFFFFF);
}

double smooth(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }

// Value noise in 0..1 with smooth interpolation between lattice points.
double noise(double x, double y, uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const int32_t ix = int32_t(fx), iy = int32_t(fy);
    const double tx = smooth(x - fx), ty = smooth(y - fy);
    const double a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
    const double c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Relief in metres: fractal noise with sharpened ridges and a valley.
double elevation(double x, double y) {
    double sum = 0, amplitude = 1, frequency = 1.0 / 512, total = 0;
    for (int octave = 0; octave < 8; ++octave) {
        double n = noise(x * frequency, y * frequency, 17u + uint32_t(octave));
        if (octave >= 2) n = 1 - std::fabs(2 * n - 1);  // ridges
        sum += n * amplitude;
        total += amplitude;
        amplitude *= 0.5;
        frequency *= 2;
    }
    const double valley = std::exp(-std::pow((y - 0.55 * 2048 - 180 * std::sin(x / 300.0)) / 260.0, 2));
    return 2600 * (sum / total) - 900 * valley - 300;
}

struct Colour {
    double r, g, b;
};

Colour mix(const Colour& a, const Colour& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Elevation tints from deep water to snow.
Colour tint(double h) {
    static const struct {
        double height;
        Colour colour;
    } stops[] = {{-400, {20, 50, 110}},   {0, {60, 120, 180}},    {1, {90, 140, 70}},
                 {300, {120, 165, 80}},   {700, {175, 170, 95}},  {1100, {150, 115, 75}},
                 {1500, {125, 110, 100}}, {1800, {245, 245, 250}}};
    if (h <= stops[0].height) return stops[0].colour;
    for (size_t i = 1; i < sizeof stops / sizeof stops[0]; ++i)
        if (h < stops[i].height)
            return mix(stops[i - 1].colour, stops[i].colour,
                       (h - stops[i - 1].height) / (stops[i].height - stops[i - 1].height));
    return stops[sizeof stops / sizeof stops[0] - 1].colour;
}

bool writeTerrain(const std::string& dir, int width, int height) {
    // Heights with a one-pixel margin for the shading gradient.
    const int w2 = width + 2, h2 = height + 2;
    std::vector<float> z(size_t(w2) * size_t(h2));
    for (int y = 0; y < h2; ++y)
        for (int x = 0; x < w2; ++x) z[size_t(y) * w2 + x] = float(elevation(x - 1, y - 1));

    std::FILE* f = std::fopen((dir + "/terrain.bip").c_str(), "wb");
    if (!f) return false;
    std::vector<unsigned char> row(size_t(width) * 3);
    const double lx = -0.6, ly = -0.6, lz = 0.53;  // light from the north-west
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            auto at = [&](int dx, int dy) { return double(z[size_t(y + 1 + dy) * w2 + (x + 1 + dx)]); };
            const double h = at(0, 0);
            const double gx = (at(1, 0) - at(-1, 0)) / (2 * kPixelSize);
            const double gy = (at(0, 1) - at(0, -1)) / (2 * kPixelSize);
            const double norm = std::sqrt(gx * gx + gy * gy + 1);
            double shade = h > 0 ? (-gx * lx - gy * ly + lz) / norm : 0.75;
            shade = 0.35 + 0.9 * std::clamp(shade, 0.0, 1.0);
            Colour c = tint(h);
            c = {c.r * shade, c.g * shade, c.b * shade};
            // Contours every 100 m, a heavier one every 500 m.
            if (h > 0) {
                const double step = std::fmod(h, 100.0);
                const double slope = std::max(1.0, std::sqrt(gx * gx + gy * gy) * kPixelSize);
                if (step < slope || 100 - step < slope * 0.5)
                    c = mix(c, {70, 45, 25}, std::fmod(h, 500.0) < 100 ? 0.6 : 0.3);
            }
            // Grid lines every 2.56 km.
            if (x % 256 == 0 || y % 256 == 0) c = mix(c, {255, 255, 255}, 0.55);
            if (x % 256 == 128 && y % 8 < 4) c = mix(c, {255, 255, 255}, 0.3);
            if (y % 256 == 128 && x % 8 < 4) c = mix(c, {255, 255, 255}, 0.3);
            row[3 * size_t(x)] = (unsigned char)std::clamp(std::lround(c.r), 0L, 255L);
            row[3 * size_t(x) + 1] = (unsigned char)std::clamp(std::lround(c.g), 0L, 255L);
            row[3 * size_t(x) + 2] = (unsigned char)std::clamp(std::lround(c.b), 0L, 255L);
        }
        if (std::fwrite(row.data(), 1, row.size(), f) != row.size()) {
            std::fclose(f);
            return false;
        }
    }
    if (std::fclose(f) != 0) return false;

    std::FILE* h = std::fopen((dir + "/terrain.hdr").c_str(), "w");
    if (!h) return false;
    std::fprintf(h,
                 "BYTEORDER M\nLAYOUT BIP\nNROWS %d\nNCOLS %d\nNBANDS 3\nNBITS 8\n"
                 "ULXMAP %.3f\nULYMAP %.3f\nXDIM %.3f\nYDIM %.3f\n",
                 height, width, kUpperLeftX, kUpperLeftY, kPixelSize, kPixelSize);
    return std::fclose(h) == 0;
}

// A 160 x 48 badge: a dark plate with a light border and a wave across it.
bool writeBadge(const std::string& path) {
    const int width = 160, height = 48;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Colour col = {30, 40, 70};
            const bool border = x < 3 || y < 3 || x >= width - 3 || y >= height - 3;
            const double wave = height / 2.0 + 12 * std::sin(x / 12.0);
            if (border)
                col = {235, 235, 240};
            else if (std::fabs(y - wave) < 3)
                col = {250, 190, 60};
            else if (std::fabs(y - wave - 9) < 1.5)
                col = {120, 180, 230};
            row[3 * size_t(x)] = JSAMPLE(col.r);
            row[3 * size_t(x) + 1] = JSAMPLE(col.g);
            row[3 * size_t(x) + 2] = JSAMPLE(col.b);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "Usage: %s OUTDIR [WIDTH HEIGHT]\n", argv[0]);
        return 1;
    }
    const std::string dir = argv[1];
    const int width = argc == 4 ? std::atoi(argv[2]) : 2560;
    const int height = argc == 4 ? std::atoi(argv[3]) : 2048;
    if (width < 16 || height < 16 || width > 20000 || height > 20000) {
        std::fprintf(stderr, "Width and height must lie between 16 and 20000.\n");
        return 1;
    }
    if (!writeTerrain(dir, width, height) || !writeBadge(dir + "/badge.jpg")) {
        std::fprintf(stderr, "Could not write the sample files in %s.\n", dir.c_str());
        return 1;
    }
    std::printf("wrote %s/terrain.bip (%d x %d RGB) with terrain.hdr, and %s/badge.jpg\n", dir.c_str(), width,
                height, dir.c_str());
    return 0;
}
