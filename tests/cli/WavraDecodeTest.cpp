// End-to-end runs of wavra-decode: pixels against the conformance files,
// the three output kinds against each other, world files, progress and
// refusals.

#include "support/Conformance.h"
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "ExtractionFixtureTest.h"

using clitest::ProcessResult;
using namespace extracttest;

namespace {

const char* const kProgress = "0...10...20...30...40...50...60...70...80...90...100 - done.\n";

std::string conformance(const std::string& name) {
    return testsupport::conformanceDir() + name;
}

// The test program is not linked against the PNG library, so its reading
// functions are looked up at run time.
Picture readPng(const std::string& path) {
    using BeginRead = int (*)(png_imagep, const char*);
    using FinishRead = int (*)(png_imagep, png_const_colorp, void*, png_int_32, void*);
    using Free = void (*)(png_imagep);
    static void* library = ::dlopen("libpng16.so.16", RTLD_NOW);
    if (!library) {
        ADD_FAILURE() << "cannot load the PNG library to read " << path;
        return {};
    }
    auto begin = reinterpret_cast<BeginRead>(::dlsym(library, "png_image_begin_read_from_file"));
    auto finish = reinterpret_cast<FinishRead>(::dlsym(library, "png_image_finish_read"));
    auto release = reinterpret_cast<Free>(::dlsym(library, "png_image_free"));
    if (!begin || !finish || !release) return {};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!begin(&image, path.c_str())) return {};
    Picture p;
    p.width = int(image.width);
    p.height = int(image.height);
    p.bands = (image.format & PNG_FORMAT_FLAG_COLOR) ? 3 : 1;
    image.format = p.bands == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    p.samples.resize(PNG_IMAGE_SIZE(image));
    if (!finish(&image, nullptr, p.samples.data(), 0, nullptr)) {
        release(&image);
        return {};
    }
    return p;
}

std::vector<double> numbersIn(const std::string& text) {
    std::istringstream in(text);
    std::vector<double> values;
    for (double v; in >> v;) values.push_back(v);
    return values;
}

// Same shape, no sample more than one level off, nearly all exact.
void expectNearlyEqual(const Picture& got, const Picture& want) {
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    ASSERT_EQ(got.bands, want.bands);
    ASSERT_FALSE(want.samples.empty());
    size_t off = 0, worse = 0;
    for (size_t i = 0; i < want.samples.size(); ++i) {
        const int d = std::abs(int(got.samples[i]) - int(want.samples[i]));
        off += d != 0;
        worse += d > 1;
    }
    EXPECT_EQ(worse, 0u);
    EXPECT_LE(off, want.samples.size() / 100);
}

ProcessResult decode(const Scratch& s, const std::vector<std::string>& args) {
    return s.run("wavra-decode", args);
}

TEST(WavraDecode, wholeImagesAndRegionsMatchTheConformancePixels) {
    Scratch s;
    const struct {
        const char* name;
        const char* ext;
        int scales;
    } files[] = {{"c01_grey", "pgm", 3},
                 {"c02_rgb", "ppm", 4},
                 {"c05_earth_georef", "ppm", 4},
                 {"c06_cmyk", "ppm", 3}};
    for (const auto& f : files) {
        for (int scale = 0; scale <= f.scales; ++scale) {
            const std::string expected =
                conformance(std::string(f.name) + ".s" + std::to_string(scale) + "." + f.ext);
            ASSERT_TRUE(exists(expected));
            SCOPED_TRACE(expected);
            const std::string out = s.path(std::string("out.") + f.ext);
            const ProcessResult r = decode(s, {"-quiet", "-s", std::to_string(scale), "-i",
                                               conformance(std::string(f.name) + ".wvr"), "-o", out});
            ASSERT_EQ(r.status, 0) << r.err;
            expectNearlyEqual(readPnm(out), readPnm(expected));
        }
        // Columns -10..49 and rows -6..33 at scale 1: centre (20, 14) there,
        // (40, 28) at full resolution.
        SCOPED_TRACE(std::string(f.name) + " region");
        const std::string out = s.path(std::string("region.") + f.ext);
        const ProcessResult r = decode(s, {"-quiet", "-s", "1", "-x", "40", "-y", "28", "-w", "60", "-h",
                                           "40", "-i", conformance(std::string(f.name) + ".wvr"), "-o", out});
        ASSERT_EQ(r.status, 0) << r.err;
        expectNearlyEqual(readPnm(out),
                          readPnm(conformance(std::string(f.name) + ".s1.region-10,-6,49,33." + f.ext)));
    }
    EXPECT_TRUE(s.entries("tmp").empty());
}

TEST(WavraDecode, rawPngAndPnmOutputsHoldTheSamePixels) {
    Scratch s;
    for (int bands : {3, 1}) {
        SCOPED_TRACE(bands);
        const RawGeo geo;
        const std::string input = s.makeImage("pic", texturedPicture(150, 110, bands), 2, geo);
        const char* native = bands == 3 ? "out.ppm" : "out.pgm";
        for (const char* name : {"out.bip", "out.png", native})
            ASSERT_EQ(decode(s, {"-quiet", "-i", input, "-s", "1", "-o", s.path(name)}).status, 0);

        // The whole image at scale 1: 75 x 55.
        const Picture raw = readBip(s.path("out.bip"));
        ASSERT_EQ(raw.width, 75);
        ASSERT_EQ(raw.height, 55);
        ASSERT_EQ(raw.bands, bands);
        const Picture png = readPng(s.path("out.png"));
        EXPECT_EQ(png.bands, bands);
        EXPECT_EQ(png.samples, raw.samples);
        EXPECT_EQ(readPnm(s.path(native)).samples, raw.samples);

        // The world file beside the PNG agrees with the raw header.
        const std::vector<double> world = numbersIn(readFile(s.path("out.pgw")));
        ASSERT_EQ(world.size(), 6u);
        const std::string header = readFile(s.path("out.hdr"));
        const std::vector<std::string> keys = {"ULXMAP", "ULYMAP", "XDIM", "YDIM"};
        std::vector<double> values;
        for (const auto& key : keys) {
            const size_t at = header.find(key + " ");
            ASSERT_NE(at, std::string::npos) << key;
            values.push_back(std::strtod(header.c_str() + at + key.size() + 1, nullptr));
        }
        EXPECT_DOUBLE_EQ(world[0], 2 * geo.xdim);
        EXPECT_DOUBLE_EQ(world[3], -2 * geo.ydim);
        EXPECT_DOUBLE_EQ(world[0], values[2]);
        EXPECT_DOUBLE_EQ(world[4], values[0]);
        EXPECT_DOUBLE_EQ(world[5], values[1]);
        // Centre of the first pixel at scale 1.
        EXPECT_DOUBLE_EQ(world[4], geo.ulx - geo.xdim / 2 + geo.xdim);
        EXPECT_DOUBLE_EQ(world[5], geo.uly + geo.ydim / 2 - geo.ydim);
    }
}

TEST(WavraDecode, pnmOfTheOtherColourKindIsConverted) {
    Scratch s;
    const std::string rgb = conformance("c02_rgb.wvr");
    ASSERT_EQ(decode(s, {"-quiet", "-icon", "-i", rgb, "-o", s.path("icon.ppm")}).status, 0);
    ASSERT_EQ(decode(s, {"-quiet", "-icon", "-i", rgb, "-o", s.path("icon.pgm")}).status, 0);
    const Picture colour = readPnm(s.path("icon.ppm")), grey = readPnm(s.path("icon.pgm"));
    ASSERT_EQ(colour.width, 16);  // 256 at four levels
    ASSERT_EQ(grey.bands, 1);
    ASSERT_EQ(grey.width, colour.width);
    for (int y = 0; y < grey.height; ++y)
        for (int x = 0; x < grey.width; ++x) {
            const int luma =
                (299 * colour.at(x, y, 0) + 587 * colour.at(x, y, 1) + 114 * colour.at(x, y, 2) + 500) / 1000;
            ASSERT_EQ(grey.at(x, y, 0), luma) << x << "," << y;
        }

    ASSERT_EQ(
        decode(s, {"-quiet", "-i", conformance("c01_grey.wvr"), "-s", "3", "-o", s.path("grey.ppm")}).status,
        0);
    const Picture spread = readPnm(s.path("grey.ppm"));
    const Picture expected = readPnm(conformance("c01_grey.s3.pgm"));
    ASSERT_EQ(spread.bands, 3);
    ASSERT_EQ(spread.width, expected.width);
    for (int y = 0; y < spread.height; ++y)
        for (int x = 0; x < spread.width; ++x) {
            EXPECT_EQ(spread.at(x, y, 0), spread.at(x, y, 1));
            EXPECT_EQ(spread.at(x, y, 0), spread.at(x, y, 2));
        }
}

TEST(WavraDecode, pngWithoutGeoreferencingHasNoWorldFile) {
    Scratch s;
    const ProcessResult r =
        decode(s, {"-quiet", "-i", conformance("c08_no_metadata.wvr"), "-o", s.path("plain.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readPng(s.path("plain.png")).width, 128);
    EXPECT_FALSE(exists(s.path("plain.pgw")));
}

TEST(WavraDecode, progressLineUnlessQuiet) {
    Scratch s;
    const std::string input = conformance("c01_grey.wvr");
    const ProcessResult loud = decode(s, {"-i", input, "-o", s.path("a.pgm")});
    EXPECT_EQ(loud.status, 0);
    EXPECT_EQ(loud.err, kProgress);
    const ProcessResult quiet = decode(s, {"-quiet", "-i", input, "-o", s.path("b.pgm")});
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(readFile(s.path("a.pgm")), readFile(s.path("b.pgm")));
}

TEST(WavraDecode, refusalsWriteNothing) {
    Scratch s;
    const std::string input = conformance("c01_grey.wvr");
    const std::string out = s.path("out.pgm");
    const std::string usagePrefix = "Usage: wavra-decode -i INPUT -o OUTPUT";
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"-i", input},
             {"-o", out},
             {"-i", input, "-o", out, "-x", "5", "-y", "5"},
             {"-i", input, "-o", out, "-icon", "-x", "5", "-y", "5", "-w", "9", "-h", "9"},
             {"-i", input, "-o", out, "-bogus"},
             {"-i", input, "-o"},
         }) {
        const ProcessResult r = decode(s, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.compare(0, usagePrefix.size(), usagePrefix), 0) << r.err;
        EXPECT_NE(r.err.find("\n  -threads N    decoding threads, 1 to 256 (default: the online cores, fewer for a "
                             "small region)\n"),
                  std::string::npos);
    }
    const struct {
        std::vector<std::string> args;
        std::string message;
    } failures[] = {
        {{"-i", input, "-o", s.path("out.jpg")},
         "Error: the output name must end in .bip, .png, .ppm or .pgm.\n"},
        {{"-i", input, "-o", out, "-s", "4"},
         "Error: incompatible scale parameter input for image synthesis.\n scale is less than 0 or greater "
         "than "
         "nlev\n"},
        {{"-i", input, "-o", out, "-x", "5", "-y", "5", "-w", "-5", "-h", "9"},
         "Error construction a dimension object: Cannot have negative dimensions\n"},
        {{"-i", s.path("missing.wvr"), "-o", out},
         "File: " + s.path("missing.wvr") + " could not be opened.\n"},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.message);
        const ProcessResult r = decode(s, f.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, f.message);
    }
    EXPECT_EQ(s.entries(""), std::vector<std::string>{"tmp"});
}

}  // namespace
