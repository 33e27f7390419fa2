#include "ExtractionFixtureTest.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

namespace extracttest {


Picture Picture::crop(int x0, int y0, int w, int h) const {
    Picture out;
    out.width = w;
    out.height = h;
    out.bands = bands;
    out.samples.assign(size_t(w) * size_t(h) * size_t(bands), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int sx = x0 + x, sy = y0 + y;
            if (sx < 0 || sy < 0 || sx >= width || sy >= height) continue;
            for (int b = 0; b < bands; ++b)
                out.samples[(size_t(y) * size_t(w) + size_t(x)) * size_t(bands) + size_t(b)] = at(sx, sy, b);
        }
    return out;
}

Picture texturedPicture(int width, int height, int bands) {
    Picture p;
    p.width = width;
    p.height = height;
    p.bands = bands;
    p.samples.reserve(size_t(width) * size_t(height) * size_t(bands));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int b = 0; b < bands; ++b) {
                double v = 128 + 60 * std::sin(x * 0.045 * (b + 1) + y * 0.01) * std::cos(y * 0.035) +
                           0.1 * ((x + 2 * y) % 256) - 12;
                if (((x / 40) + (y / 40)) % 2 == 0) v += 25;  // edges
                p.samples.push_back((unsigned char)std::clamp(int(std::lround(v)), 0, 255));
            }
    return p;
}

double psnr(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.bands != b.bands || a.samples.empty()) return 0.0;
    double sum = 0.0;
    for (size_t i = 0; i < a.samples.size(); ++i) {
        const double d = double(a.samples[i]) - double(b.samples[i]);
        sum += d * d;
    }
    if (sum == 0.0) return std::numeric_limits<double>::infinity();
    const double mse = sum / double(a.samples.size());
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

Picture readBip(const std::string& bipPath) {
    Picture p;
    const size_t dot = bipPath.rfind('.');
    std::istringstream header(readFile(bipPath.substr(0, dot) + ".hdr"));
    for (std::string line; std::getline(header, line);) {
        std::istringstream fields(line);
        std::string key;
        int value = 0;
        if (!(fields >> key >> value)) continue;
        if (key == "NROWS") p.height = value;
        if (key == "NCOLS") p.width = value;
        if (key == "NBANDS") p.bands = value;
    }
    const std::string data = readFile(bipPath);
    if (p.width <= 0 || p.height <= 0 || p.bands <= 0 ||
        data.size() != size_t(p.width) * size_t(p.height) * size_t(p.bands))
        return Picture();
    p.samples.assign(data.begin(), data.end());
    return p;
}

Picture readPnm(const std::string& path) {
    const std::string data = readFile(path);
    std::istringstream in(data);
    std::string magic;
    int w = 0, h = 0, maxValue = 0;
    if (!(in >> magic >> w >> h >> maxValue) || maxValue != 255 || (magic != "P5" && magic != "P6"))
        return {};
    in.get();  // the single white-space byte before the samples
    Picture p;
    p.width = w;
    p.height = h;
    p.bands = magic == "P6" ? 3 : 1;
    const size_t bytes = size_t(w) * size_t(h) * size_t(p.bands);
    const size_t start = size_t(in.tellg());
    if (data.size() != start + bytes) return {};
    p.samples.assign(data.begin() + long(start), data.end());
    return p;
}

Scratch::Scratch() : dir_(scratch_.path()) { makeFolder("tmp"); }

Scratch::~Scratch() = default;

std::vector<std::string> Scratch::entries(const std::string& sub) const { return scratch_.entries(sub); }

void Scratch::makeFolder(const std::string& name) const { ::mkdir(path(name).c_str(), 0700); }

void Scratch::writeRaw(const std::string& name, const Picture& picture, const RawGeo& geo) const {
    writeFile(path(name + ".bip"), std::string(picture.samples.begin(), picture.samples.end()));
    char header[512];
    std::snprintf(
        header, sizeof header,
        "NROWS %d\nNCOLS %d\nNBANDS %d\nLAYOUT BIP\nULXMAP %.6f\nULYMAP %.6f\nXDIM %.6f\nYDIM %.6f\n",
        picture.height, picture.width, picture.bands, geo.ulx, geo.uly, geo.xdim, geo.ydim);
    writeFile(path(name + ".hdr"), header);
}

std::string Scratch::encode(const std::string& name, int nlev) const {
    const clitest::ProcessResult r = run("wavra-encode", {"-quiet", "-n", std::to_string(nlev), "-i",
                                                          path(name + ".bip"), "-o", path(name + ".wvr")});
    EXPECT_EQ(r.status, 0) << r.err;
    ::unlink(path(name + ".wvw").c_str());
    return path(name + ".wvr");
}

std::string Scratch::makeImage(const std::string& name, const Picture& picture, int nlev,
                               const RawGeo& geo) const {
    writeRaw(name, picture, geo);
    return encode(name, nlev);
}

clitest::ProcessResult Scratch::run(const std::string& program, const std::vector<std::string>& args) const {
    clitest::ProcessOptions options;
    options.environment.push_back("TMP=" + tmp());
    options.workingDirectory = dir_;
    return clitest::runProcess(clitest::builtProgram(program), args, options);
}

Picture Scratch::decodeWhole(const std::string& wvrPath) const {
    const std::string out = path("whole_decoded.bip");
    const clitest::ProcessResult r = run("wavra-decode", {"-quiet", "-i", wvrPath, "-o", out});
    EXPECT_EQ(r.status, 0) << r.err;
    Picture p = readBip(out);
    ::unlink(out.c_str());
    ::unlink(path("whole_decoded.hdr").c_str());
    return p;
}

}  // namespace extracttest
