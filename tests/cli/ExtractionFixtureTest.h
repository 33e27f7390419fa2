#pragma once
// Scratch folders, raw pictures and Wavra files made with the built
// programs, for the end-to-end tests of wavra-extract and wavra-decode.

#include "support/ScratchDir.h"
#include <cstdint>
#include <string>
#include <vector>

#include "CliProcessRunner.h"

namespace extracttest {

// An 8-bit picture, band-interleaved by pixel.
struct Picture {
    int width = 0;
    int height = 0;
    int bands = 0;
    std::vector<unsigned char> samples;

    unsigned char at(int x, int y, int band) const {
        return samples[(size_t(y) * size_t(width) + size_t(x)) * size_t(bands) + size_t(band)];
    }
    // The rectangle x0..x0+w-1, y0..y0+h-1, zeros outside the picture.
    Picture crop(int x0, int y0, int w, int h) const;
};

// Smooth ramps and waves with a few edges: detailed enough that a wrong
// offset or scale shows, smooth enough to survive coding at 0.6 bits.
Picture texturedPicture(int width, int height, int bands);

// Peak signal-to-noise ratio in dB of two pictures of the same shape
// (infinite when equal, 0 when the shapes differ).
double psnr(const Picture& a, const Picture& b);

// Reads a raw BIP file through the NROWS/NCOLS/NBANDS lines of its header
// (same name, extension ".hdr"); an empty picture when either is unreadable.
Picture readBip(const std::string& bipPath);
// Reads a binary PNM (P5 or P6, maximum 255); empty when unreadable.
Picture readPnm(const std::string& path);

// Georeferencing written into a raw header.
struct RawGeo {
    double ulx = 5000.5, uly = 9000.5, xdim = 2.0, ydim = 2.0;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);

// How many times slower runs are in this build: several times under the
// address sanitizer, else 1. Time limits in tests are multiplied by it.
inline double sanitizerSlowdown() {
#if defined(__SANITIZE_ADDRESS__)
    return 5.0;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return 5.0;
#endif
#endif
    return 1.0;
}

// A fresh folder with an empty "tmp" inside that every run gets as TMP.
// Removed with everything in it when the object goes.
class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string tmp() const { return path("tmp"); }
    // Names in a folder of the scratch ("" = the scratch itself), sorted.
    std::vector<std::string> entries(const std::string& sub) const;
    void makeFolder(const std::string& name) const;

    // Writes NAME.bip and NAME.hdr.
    void writeRaw(const std::string& name, const Picture& picture, const RawGeo& geo = RawGeo()) const;
    // Encodes NAME.bip into NAME.wvr with wavra-encode and removes the world
    // file it writes (the header's georeferencing is inside the file).
    // Returns the path of the Wavra file; fails the test when encoding fails.
    std::string encode(const std::string& name, int nlev) const;
    // writeRaw and encode in one.
    std::string makeImage(const std::string& name, const Picture& picture, int nlev,
                          const RawGeo& geo = RawGeo()) const;

    // Runs a built program in the scratch folder with TMP set.
    clitest::ProcessResult run(const std::string& program, const std::vector<std::string>& args) const;
    clitest::ProcessResult extract(const std::vector<std::string>& args) const {
        return run("wavra-extract", args);
    }
    // The whole image of a Wavra file at scale 0, through wavra-decode.
    Picture decodeWhole(const std::string& wvrPath) const;

private:
    testsupport::ScratchDir scratch_{"wx_extract_cli"};
    std::string dir_;
};

}  // namespace extracttest
