// Pins the bytes the programs produce: the coded part of encoder-made and
// extracted files (everything before the metadata block, which holds the
// creation date) and the decoded pixels at every scale, as SHA-256 digests
// in tests/data/pins.txt. A change of codec internals must leave them all
// as they are. WAVRA_UPDATE_PINS=1 rewrites the file instead of comparing.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CliProcessRunner.h"
#include "support/Conformance.h"
#include "support/ScratchDir.h"

namespace {

using clitest::builtProgram;
using clitest::ProcessResult;
using clitest::runProcess;

std::string pinsPath() { return testsupport::conformanceDir() + "../pins.txt"; }

std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string sha256(const std::string& path) {
    const ProcessResult r = runProcess("/usr/bin/sha256sum", {path});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out.substr(0, 64);
}

// The digest of the bytes before the metadata block (its offset sits after
// the header's subband offset table and marker).
std::string codedPartDigest(const std::string& path, const std::string& scratchFile) {
    const std::vector<unsigned char> bytes = readBytes(path);
    EXPECT_GE(bytes.size(), 27u);
    if (bytes.size() < 27) return "";
    const auto u32 = [&](size_t at) {
        return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 |
               uint32_t(bytes[at + 3]);
    };
    const size_t levels = u32(11);
    const size_t at = 12 * levels + 29;
    EXPECT_LE(at + 4, bytes.size());
    size_t end = at + 4 <= bytes.size() ? u32(at) : bytes.size();
    if (end == 0 || end > bytes.size()) end = bytes.size();  // no metadata block
    std::FILE* f = std::fopen(scratchFile.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (!f) return "";
    std::fwrite(bytes.data(), 1, end, f);
    std::fclose(f);
    return sha256(scratchFile);
}

struct RawImage {
    const char* name;
    int width;
    int height;
    int bands;
    int flatColumns;  // columns from the left painted one value
};

void writeRaw(const testsupport::ScratchDir& dir, const RawImage& image) {
    std::vector<unsigned char> pixels;
    pixels.reserve(size_t(image.width) * image.height * image.bands);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int c = 0; c < image.bands; ++c) {
                const double v = 128 +
                                 90 * std::sin(x * 0.031 * (c + 1) + y * 0.007) * std::cos(y * 0.023 - c) +
                                 30 * std::sin((x ^ y) * 0.5);
                pixels.push_back(x < image.flatColumns
                                     ? (unsigned char)(60 + 40 * c)
                                     : (unsigned char)std::lround(std::fmin(255, std::fmax(0, v))));
            }
    const std::string base = dir.file(image.name);
    std::FILE* f = std::fopen((base + ".bip").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(pixels.data(), 1, pixels.size(), f);
    std::fclose(f);
    std::ofstream header(base + ".hdr");
    header << "NROWS " << image.height << "\nNCOLS " << image.width << "\nNBANDS " << image.bands
           << "\nLAYOUT BIP\nULXMAP 5000.5\nULYMAP 9000.5\nXDIM 2\nYDIM 2\n";
}

struct Encoding {
    const char* image;
    std::vector<std::string> options;
    int levels;
};

}  // namespace

TEST(OutputPins, encodedFilesExtractionsAndDecodedPixelsKeepTheirBytes) {
    testsupport::ScratchDir dir("wx_pins");
    ::mkdir(dir.file("tmp").c_str(), 0700);
    clitest::ProcessOptions options;
    options.environment.push_back("TMP=" + dir.file("tmp"));
    options.workingDirectory = dir.path();

    const RawImage images[] = {{"grey", 301, 203, 1, 0},
                               {"rgb", 512, 512, 3, 0},
                               {"halfflat", 640, 384, 3, 320},
                               {"deep", 1100, 1030, 3, 0}};
    for (const RawImage& image : images) writeRaw(dir, image);
    const Encoding encodings[] = {{"grey", {"-n", "4"}, 4},
                                  {"grey", {"-n", "3", "-nodither", "-b", "128"}, 3},
                                  {"rgb", {"-n", "4", "-b", "256"}, 4},
                                  {"halfflat", {"-n", "5", "-rate", "1.2"}, 5},
                                  {"deep", {"-n", "7"}, 7}};

    std::map<std::string, std::string> digests;
    // Decoded pixels at every scale, a region and the icon of one file. The
    // full resolution is decoded with 1, 2 and 8 threads: the same pixels.
    const auto pinDecodings = [&](const std::string& label, const std::string& wvr, int levels, bool grey) {
        for (int scale = 0; scale <= levels; ++scale) {
            for (const char* threads : {"1", "2", "8"}) {
                if (scale > 0 && threads[0] != '2') continue;
                const std::string out = dir.file("decoded") + (grey ? ".pgm" : ".ppm");
                const ProcessResult decoded = runProcess(
                    builtProgram("wavra-decode"),
                    {"-quiet", "-threads", threads, "-i", wvr, "-o", out, "-s", std::to_string(scale)},
                    options);
                ASSERT_EQ(decoded.status, 0) << decoded.err;
                const std::string key = label + ".s" + std::to_string(scale);
                if (digests.count(key))
                    EXPECT_EQ(sha256(out), digests[key]) << key << " with " << threads << " threads";
                else
                    digests[key] = sha256(out);
            }
        }
        const std::string region = dir.file("region.wvr");
        const ProcessResult extracted =
            runProcess(builtProgram("wavra-extract"),
                       {"-quiet", "-threads", "8", "-i", wvr, "-o", region, "-x", "150", "-y", "90", "-s",
                        "1", "-w", "90", "-h", "70", "-n", "2"},
                       options);
        ASSERT_EQ(extracted.status, 0) << extracted.err;
        digests[label + ".region"] = codedPartDigest(region, dir.file("coded.part"));
        const ProcessResult icon = runProcess(
            builtProgram("wavra-extract"), {"-quiet", "-icon", "-i", wvr, "-o", region, "-n", "1"}, options);
        ASSERT_EQ(icon.status, 0) << icon.err;
        digests[label + ".icon"] = codedPartDigest(region, dir.file("coded.part"));
    };
    int index = 0;
    for (const Encoding& e : encodings) {
        const std::string label = std::string(e.image) + "-" + std::to_string(index++);
        SCOPED_TRACE(label);
        const std::string wvr = dir.file(label + ".wvr");
        // Encoded with 1, 8 and 2 threads (the last kept): the same bytes.
        for (const char* threads : {"1", "8", "2"}) {
            std::vector<std::string> args = {
                "-quiet", "-threads", threads, "-i", dir.file(std::string(e.image) + ".bip"), "-o", wvr};
            args.insert(args.end(), e.options.begin(), e.options.end());
            const ProcessResult encoded = runProcess(builtProgram("wavra-encode"), args, options);
            ASSERT_EQ(encoded.status, 0) << encoded.err;
            const std::string digest = codedPartDigest(wvr, dir.file("coded.part"));
            if (digests.count(label + ".wvr"))
                EXPECT_EQ(digest, digests[label + ".wvr"]) << "with " << threads << " threads";
            else
                digests[label + ".wvr"] = digest;
        }
        pinDecodings(label, wvr, e.levels, std::string(e.image) == "grey");
    }
    // The encoder takes 1 or 3 bands; CMYK files come from the conformance set.
    pinDecodings("c06_cmyk", testsupport::conformanceDir() + "c06_cmyk.wvr", 3, false);
    EXPECT_TRUE(dir.entries("tmp").empty());

    const char* update = std::getenv("WAVRA_UPDATE_PINS");
    if (update && std::string(update) == "1") {
        std::ofstream out(pinsPath());
        out << "# SHA-256 pins of tests/cli/OutputPinsTest.cpp; WAVRA_UPDATE_PINS=1 rewrites them.\n";
        for (const auto& d : digests) out << d.first << " " << d.second << "\n";
        return;
    }
    std::map<std::string, std::string> pinned;
    std::ifstream in(pinsPath());
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, digest;
        fields >> name >> digest;
        pinned[name] = digest;
    }
    ASSERT_EQ(pinned.size(), digests.size()) << "pins file " << pinsPath();
    for (const auto& d : digests) EXPECT_EQ(d.second, pinned[d.first]) << d.first;
}
