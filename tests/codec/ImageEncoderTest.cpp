#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "CodecScratchDir.h"
#include "EncoderRoundTrip.h"
#include "WavraFileBytes.h"
#include "core/ByteSources.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "encoder/codec/ImageEncoder.h"
#include "encoder/rawimage/BBBImage.h"
#include "format/DBInfo.h"
#include "format/WavraFile.h"
#include "format/WavraMetadata.h"
#include "support/ThrownMessage.h"

namespace {

using namespace codectest;

struct EncodeRun {
    int nlev = 4;
    float rate = 0.6f;
    bool dither = true;
    int blockSize = 512;
    bool worldFile = false;
    bool explicitTemporaryDirectory = false;  // else through TMP
    bool best = false;
    EncoderProgress progress;
    EncoderInterrupt interrupt;
};

// Encodes the picture written as raw input in `dir`, with temporary files
// in dir/tmp (named to the encoder, or through TMP); returns the output path.
std::string encodePicture(const ScratchDir& dir, const Picture& p, const EncodeRun& run,
                          const std::string& outName = "out.wvr") {
    const std::string raw = writeRawPicture(dir.path(), "input", p);
    BBBImage image(raw.c_str());
    const std::string tmpDir = dir.file("tmp");
    ::mkdir(tmpDir.c_str(), 0700);
    const Lumetra::FileSpecification tmp(tmpDir);
    ::setenv("TMP", tmpDir.c_str(), 1);
    ImageEncoder encoder(image, run.nlev, run.blockSize, run.rate,
                         run.explicitTemporaryDirectory ? &tmp : nullptr, run.progress, run.interrupt, 4.0f,
                         2.0f, run.dither, 0.25f);
    encoder.setWriteWorldFile(run.worldFile);
    encoder.setBestQuality(run.best);
    const std::string out = dir.file(outName);
    encoder.encode(out.c_str());
    return out;
}

EncodeRun levels(int nlev, float rate) {
    EncodeRun r;
    r.nlev = nlev;
    r.rate = rate;
    return r;
}

const auto failure = testsupport::thrownMessage;

size_t files_in(const ScratchDir& dir, const std::string& sub) { return dir.entries(sub).size(); }

struct RoundTripCase {
    int width, height, channels;
    bool textured;
    int nlev;
    float rate;
    double minPsnr;  // at full resolution, against the input
};

class EncoderRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// Every scale of the output decodes to the right size; full resolution
// reaches the case's quality against the input, and every reduced scale is
// close to the same scale of a near-lossless encoding.
TEST_P(EncoderRoundTrip, everyScaleDecodesCloseToTheInput) {
    const RoundTripCase c = GetParam();
    ScratchDir dir;
    const Picture p = generatePicture(c.width, c.height, c.channels, c.textured);
    const std::string out = encodePicture(dir, p, levels(c.nlev, c.rate));
    const std::string ref = encodePicture(dir, p, levels(c.nlev, 8.0f), "reference.wvr");
    Lumetra::WavraFile file(out.c_str());
    Lumetra::WavraFile reference(ref.c_str());
    ASSERT_EQ(file.levels(), c.nlev);
    ASSERT_EQ(file.bands(), c.channels);
    EXPECT_EQ(readFileBytes(out).sections.size(), size_t(3 * c.nlev + 1));
    for (int s = 0; s <= c.nlev; ++s) {
        const Picture d = decodeAtScale(file, s);
        ASSERT_FALSE(d.pixels.empty()) << "scale " << s;
        ASSERT_EQ(d.width, (c.width + (1 << s) - 1) >> s);
        if (s == 0)
            EXPECT_GE(psnr(d, p), c.minPsnr);
        else
            EXPECT_GE(psnr(d, decodeAtScale(reference, s)), 30.0) << "scale " << s;
    }
    EXPECT_EQ(files_in(dir, "tmp"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, EncoderRoundTrip,
    ::testing::Values(RoundTripCase{700, 530, 1, false, 4, 0.6f, 40.0},  // partial blocks both ways
                      RoundTripCase{1024, 512, 3, true, 4, 2.0f, 40.0},  // whole blocks, textured colour
                      RoundTripCase{600, 777, 1, true, 5, 2.0f, 40.0},   // five levels, one pass
                      RoundTripCase{300, 260, 3, false, 1, 2.0f, 35.0},  // one level
                      RoundTripCase{1100, 900, 1, true, 6, 1.0f, 30.0},  // two passes
                      RoundTripCase{900, 1300, 3, false, 7, 0.8f, 35.0}));

// The second pass of a deep encoding starts from the reconstructed, and
// undithered, five-level low-pass band: at every scale the two encodings
// share, six levels must be as good as five.
TEST(ImageEncoder, deepEncodingMatchesFiveLevelsAtTheScalesTheyShare) {
    ScratchDir dir;
    const Picture p = generatePicture(1100, 900, 3, true, 5);
    const std::string five = encodePicture(dir, p, levels(5, 1.0f), "five.wvr");
    const std::string six = encodePicture(dir, p, levels(6, 1.0f), "six.wvr");
    const std::string ref = encodePicture(dir, p, levels(5, 8.0f), "reference.wvr");
    Lumetra::WavraFile f5(five.c_str()), f6(six.c_str()), fr(ref.c_str());
    EXPECT_EQ(readFileBytes(six).sections.size(), 19u);
    for (int s = 0; s <= 5; ++s) {
        const Picture r = s == 0 ? p : decodeAtScale(fr, s);
        const double q5 = psnr(decodeAtScale(f5, s), r);
        const double q6 = psnr(decodeAtScale(f6, s), r);
        EXPECT_GE(q6, q5 - 1.0) << "scale " << s;
        EXPECT_GE(q6, 30.0) << "scale " << s;
    }
    EXPECT_FALSE(decodeAtScale(f6, 6).pixels.empty());
}

// Flat regions get no data in any band (all steps 0); their blocks must
// still be found in place, and the picture decode correctly around them.
TEST(ImageEncoder, flatHalfKeepsEveryBlockInPlace) {
    ScratchDir dir;
    Picture p = generatePicture(1300, 700, 1, true);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < 650; ++x) p.pixels[size_t(y) * p.width + x] = 77;
    const std::string out = encodePicture(dir, p, levels(4, 0.6f));
    const FileBytes f = readFileBytes(out);
    ASSERT_EQ(f.sections.size(), 13u);
    size_t emptyBlocks = 0;
    for (size_t s = 0; s < f.sections.size(); ++s) {
        // The blocks tile the subband: no overlaps, nothing left out.
        const int depth = s == 0 ? 4 : 4 - int(s - 1) / 3;
        const bool highX = s != 0 && (s - 1) % 3 != 1, highY = s != 0 && (s - 1) % 3 != 0;
        int w = f.width, h = f.height;
        for (int d = 1; d <= depth; ++d) {
            const bool last = d == depth;
            w = last && highX ? w / 2 : (w + 1) / 2;
            h = last && highY ? h / 2 : (h + 1) / 2;
        }
        std::vector<int> cover(size_t(w) * size_t(h), 0);
        for (const BlockEntry& b : f.sections[s].blocks) {
            ASSERT_LE(b.x0, b.x1);
            ASSERT_LE(b.y0, b.y1);
            ASSERT_GE(b.x0, 0);
            ASSERT_LT(b.x1, w);
            ASSERT_LT(b.y1, h);
            for (int y = b.y0; y <= b.y1; ++y)
                for (int x = b.x0; x <= b.x1; ++x) ++cover[size_t(y) * size_t(w) + size_t(x)];
            if (b.headerOffsets[0] == 0) ++emptyBlocks;
        }
        for (int c : cover) ASSERT_EQ(c, 1) << "subband " << s;
    }
    EXPECT_GT(emptyBlocks, 0u);
    Lumetra::WavraFile file(out.c_str());
    const Picture d = decodeAtScale(file, 0);
    EXPECT_GE(psnr(d, p), 28.0);
    // Away from the textured half the flat half comes back flat.
    EXPECT_GE(psnr(crop(d, 0, 0, 400, 700), crop(p, 0, 0, 400, 700)), 38.0);
}

// Where a band's last code-block ends for a reader that applies the length
// rule to the letter: at the next band's header in the block, else at the
// first header of the next block (-1, a length of 0, when it has none), else
// at the next subband, else at the metadata.
int64_t literalEnd(const FileBytes& f, size_t s, size_t j, int band) {
    const std::vector<BlockEntry>& blocks = f.sections[s].blocks;
    for (int k = band + 1; k < f.bands; ++k)
        if (blocks[j].headerOffsets[size_t(k)]) return blocks[j].headerOffsets[size_t(k)];
    if (j + 1 < blocks.size()) {
        for (uint32_t o : blocks[j + 1].headerOffsets)
            if (o) return o;
        return -1;
    }
    if (s + 1 < f.sections.size()) return f.sections[s + 1].offset;
    const size_t at = 23 + 4 * f.sections.size();
    if (f.bytes[at] == 0xFF && f.bytes[at + 1] == 0xD0) return f.u32(at + 2);
    return int64_t(f.bytes.size()) - 2;
}

Picture paintFlat(Picture p, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            for (int c = 0; c < p.channels; ++c)
                p.pixels[(size_t(y) * size_t(p.width) + size_t(x)) * size_t(p.channels) + size_t(c)] =
                    uint8_t(90 + 40 * c);
    return p;
}

// Blocks without data (flat areas, chroma that is never coded) must not cut
// the last code-block of the block before them for a reader that applies
// the length rule to the letter: every code-block length it finds is ours.
TEST(ImageEncoder, literalLengthRuleReadsEveryCodeBlockWhole) {
    ScratchDir dir;
    const Picture grey = generatePicture(1300, 700, 1, true);
    const Picture colour = generatePicture(1024, 640, 3, true);
    const std::vector<std::pair<Picture, EncodeRun>> cases = {
        {paintFlat(grey, 650, 0, 1300, 700), levels(4, 0.6f)},
        {paintFlat(grey, 0, 0, 650, 700), levels(4, 0.6f)},
        {paintFlat(colour, 0, 320, 1024, 640), levels(4, 0.6f)},
        {generatePicture(600, 520, 3, false), levels(4, 0.6f)},
        {paintFlat(colour, 512, 320, 1024, 640), levels(5, 1.0f)},
        {paintFlat(generatePicture(1100, 900, 1, true), 550, 0, 1100, 900), levels(6, 1.0f)},
    };
    for (size_t c = 0; c < cases.size(); ++c) {
        const std::string out = encodePicture(dir, cases[c].first, cases[c].second);
        const FileBytes f = readFileBytes(out);
        Lumetra::DBInfoSM db(std::make_shared<Lumetra::FileByteSource>(out), out);
        ASSERT_EQ(f.sections.size(), size_t(3 * f.levels + 1));
        for (size_t s = 0; s < f.sections.size(); ++s)
            for (size_t j = 0; j < f.sections[s].blocks.size(); ++j) {
                const auto header = db.readBlockHeader(int(s), int32_t(j));
                for (int b = 0; b < f.bands; ++b) {
                    if (!header->hasData(b)) continue;
                    const int last = header->codeBlockCount(b) - 1;
                    const int64_t end = literalEnd(f, s, j, b);
                    const int64_t literal = end < 0 ? 0 : end - header->codeBlockOffset(b, last);
                    ASSERT_EQ(header->codeBlockLength(b, last), literal)
                        << "case " << c << " subband " << s << " block " << j << " band " << b;
                }
            }
    }
}

// Flat areas cost next to nothing: a flat picture codes in a few bits per
// hundred samples (a third of that without dither) and decodes exactly, and half of a textured picture
// painted flat costs no more than 60% of the whole one.
TEST(ImageEncoder, flatAreasCostNextToNothing) {
    ScratchDir dir;
    Picture flat;
    flat.width = flat.height = 1024;
    flat.channels = 3;
    flat.pixels.assign(size_t(1024) * 1024 * 3, 128);
    const std::string flatOut = encodePicture(dir, flat, levels(4, 0.6f), "flat.wvr");
    EXPECT_LT(8.0 * double(readFileBytes(flatOut).bytes.size()) / double(flat.pixels.size()), 0.04);
    Lumetra::WavraFile flatFile(flatOut.c_str());
    EXPECT_TRUE(decodeAtScale(flatFile, 0).pixels == flat.pixels);
    // Without dither the constant low-pass band is one index repeated.
    EncodeRun plain = levels(4, 0.6f);
    plain.dither = false;
    const std::string plainOut = encodePicture(dir, flat, plain, "plain.wvr");
    EXPECT_LT(readFileBytes(plainOut).bytes.size(), readFileBytes(flatOut).bytes.size() / 3);
    Lumetra::WavraFile plainFile(plainOut.c_str());
    EXPECT_TRUE(decodeAtScale(plainFile, 0).pixels == flat.pixels);

    const Picture textured = generatePicture(2048, 2048, 3, true);
    const size_t whole =
        readFileBytes(encodePicture(dir, textured, levels(4, 0.6f), "whole.wvr")).bytes.size();
    const size_t half = readFileBytes(encodePicture(dir, paintFlat(textured, 1024, 0, 2048, 2048),
                                                    levels(4, 0.6f), "half.wvr"))
                            .bytes.size();
    EXPECT_LE(double(half), 0.6 * double(whole));
}

// The best-quality mode hits the rate asked for within 3% of the file size,
// and at the file size of the default mode it decodes at least as well.
TEST(ImageEncoder, bestQualityHitsTheRateAndBeatsTheDefaultAtItsSize) {
    ScratchDir dir;
    const Picture p = generatePicture(640, 512, 3, false, 3);
    const auto bitsPerSample = [&](const std::string& out) {
        return 8.0 * double(readFileBytes(out).bytes.size()) / double(p.pixels.size());
    };
    const auto quality = [&](const std::string& out) {
        Lumetra::WavraFile file(out.c_str());
        return psnr(decodeAtScale(file, 0), p);
    };
    for (float rate : {0.3f, 0.8f, 2.0f}) {
        EncodeRun best = levels(4, rate);
        best.best = true;
        const std::string out = encodePicture(dir, p, best, "best.wvr");
        EXPECT_NEAR(bitsPerSample(out), rate, 0.03 * rate) << rate;
        const std::string ordinary = encodePicture(dir, p, levels(4, rate), "default.wvr");
        best.rate = float(bitsPerSample(ordinary));
        EXPECT_GE(quality(encodePicture(dir, p, best, "same.wvr")), quality(ordinary)) << rate;
    }
    EXPECT_EQ(files_in(dir, "tmp"), 0u);
}

TEST(ImageEncoder, metadataHoldsTheEncoderTagsAndTheInputGeoreferencing) {
    ScratchDir dir;
    EncodeRun run = levels(2, 0.6f);
    run.dither = false;
    const std::string out = encodePicture(dir, generatePicture(300, 200, 3, false), run);
    Lumetra::WavraFile file(out.c_str());
    const Lumetra::WavraMetadata& md = file.metadata();
    EXPECT_EQ(md.get("IMAGE::COMPRESSION_NLEV").toDouble(), 2.0);
    EXPECT_EQ(md.get("IMAGE::COMPRESSION_BLOCK_SIZE").toDouble(), 512.0);
    EXPECT_FLOAT_EQ(float(md.get("IMAGE::TARGET_COMPRESSION_RATIO").toDouble()), 8.0f / 0.6f);
    EXPECT_FLOAT_EQ(float(md.get("IMAGE::COMPRESSION_WEIGHT").toDouble()), 4.0f);
    EXPECT_FLOAT_EQ(float(md.get("IMAGE::COMPRESSION_GAMMA").toDouble()), 2.0f);
    EXPECT_FALSE(md.has("IMAGE::COMPRESSION_KWEIGHT"));
    const Lumetra::MetadataElement& version = md.get("IMAGE::COMPRESSION_VERSION");
    ASSERT_EQ(version.width(), 3);
    EXPECT_EQ(version.toDouble(0, 2), -1.0);
    EXPECT_TRUE(md.has("IMAGE::CREATION_DATE"));
    EXPECT_TRUE(md.has("IMAGE::NO_DITHER"));
    EXPECT_FALSE(file.dither());
    EXPECT_TRUE(file.isGeoreferenced());
    EXPECT_DOUBLE_EQ(file.xOrigin(), 500000.5);
    EXPECT_DOUBLE_EQ(file.yOrigin(), 4200000.25);
    EXPECT_DOUBLE_EQ(file.xResolution(), 2.5);
    EXPECT_DOUBLE_EQ(file.yResolution(), 2.5);
    EXPECT_FALSE(fileExists(dir.file("out.wvw")));
}

TEST(ImageEncoder, levelCountOutsideOneToNineIsRefusedAtConstruction) {
    ScratchDir dir;
    const std::string raw = writeRawPicture(dir.path(), "input", generatePicture(300, 300, 1, false));
    BBBImage image(raw.c_str());
    auto make = [&](int nlev) {
        ImageEncoder e(image, nlev, 512, 0.6f, nullptr, nullptr, nullptr, 4.0f, 2.0f, true, 0.25f);
    };
    EXPECT_EQ(failure([&] { make(10); }), "Error: specified value for nlev must be <= 9.");
    EXPECT_EQ(failure([&] { make(0); }), "Error: specified value for nlev must be >= 1.");
    EXPECT_EQ(failure([&] { make(-3); }), "Error: specified value for nlev must be >= 1.");
    EXPECT_EQ(failure([&] { make(9); }), "");
}

TEST(ImageEncoder, imageTooSmallForTheLevelsIsReportedWithoutLeftovers) {
    ScratchDir dir;
    EXPECT_EQ(failure([&] { encodePicture(dir, generatePicture(120, 120, 1, false), levels(4, 0.6f)); }),
              "Error: image too small for given nlev.");
    EXPECT_EQ(files_in(dir, "tmp"), 0u);
    EXPECT_FALSE(fileExists(dir.file("out.wvr")));
}

TEST(ImageEncoder, runsAreIdenticalExceptForTheCreationDate) {
    ScratchDir dir;
    const Picture p = generatePicture(400, 300, 3, true);
    const FileBytes a = readFileBytes(encodePicture(dir, p, levels(3, 0.6f), "a.wvr"));
    const FileBytes b = readFileBytes(encodePicture(dir, p, levels(3, 0.6f), "b.wvr"));
    ASSERT_EQ(a.bytes.size(), b.bytes.size());
    size_t differing = 0;
    for (size_t i = 0; i < a.bytes.size(); ++i) differing += a.bytes[i] != b.bytes[i];
    EXPECT_LE(differing, 24u);  // at most the time of day
    for (size_t s = 0; s < a.sections.size(); ++s) {
        EXPECT_EQ(a.sections[s].d0, b.sections[s].d0);
        EXPECT_EQ(a.sections[s].d1, b.sections[s].d1);
        EXPECT_LT(a.sections[s].d0, 128);
        EXPECT_LT(a.sections[s].d1, 128);
    }
}

TEST(ImageEncoder, progressRisesFromZeroToTheWriterEnd) {
    ScratchDir dir;
    std::vector<float> seen;
    EncodeRun run = levels(6, 0.6f);
    run.progress = [&seen](float f) { seen.push_back(f); };
    encodePicture(dir, generatePicture(1100, 600, 1, false), run);
    ASSERT_GT(seen.size(), 10u);
    EXPECT_EQ(seen.front(), 0.0f);
    EXPECT_NEAR(seen.back(), 0.99f, 1e-5f);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);
}

// An interrupt anywhere (first pass, second pass, writer) stops the
// encoding with the interrupt message, and every temporary file and the
// partial output are gone.
TEST(ImageEncoder, interruptAnywhereLeavesNoFilesBehind) {
    const Picture p = generatePicture(1100, 600, 3, false);
    int total = 0;
    {
        ScratchDir dir;
        EncodeRun run = levels(6, 0.6f);
        run.interrupt = [&total] { return ++total, 0; };
        encodePicture(dir, p, run);
    }
    ASSERT_GT(total, 20);
    for (int stop : {1, total / 2, total - 3, total - 1}) {
        ScratchDir dir;
        EncodeRun run = levels(6, 0.6f);
        run.worldFile = true;
        run.explicitTemporaryDirectory = stop % 2 == 0;
        int polls = 0;
        run.interrupt = [&polls, stop] { return ++polls >= stop ? 1 : 0; };
        EXPECT_EQ(failure([&] { encodePicture(dir, p, run); }), "Program interrupt encountered.") << stop;
        EXPECT_EQ(files_in(dir, "tmp"), 0u) << stop;
        EXPECT_FALSE(fileExists(dir.file("out.wvr"))) << stop;
        EXPECT_FALSE(fileExists(dir.file("out.wvw"))) << stop;
    }
}

TEST(ImageEncoder, worldFileIsWrittenOnlyOnceTheOutputIsComplete) {
    ScratchDir dir;
    EncodeRun run = levels(3, 0.6f);
    run.worldFile = true;
    encodePicture(dir, generatePicture(300, 200, 1, false), run);
    FILE* f = std::fopen(dir.file("out.wvw").c_str(), "r");
    ASSERT_TRUE(f);
    double v[6] = {};
    for (double& x : v) ASSERT_EQ(std::fscanf(f, "%lf", &x), 1);
    std::fclose(f);
    EXPECT_EQ(v[0], 2.5);
    EXPECT_EQ(v[3], -2.5);
    EXPECT_EQ(v[4], 500000.5);
    EXPECT_EQ(v[5], 4200000.25);
}

TEST(ImageEncoder, achievedRateFollowsTheRequestedRate) {
    ScratchDir dir;
    const Picture p = generatePicture(1024, 1024, 1, true);
    double previous = 0.0;
    for (float rate : {0.25f, 0.6f, 2.0f}) {
        const FileBytes f = readFileBytes(encodePicture(dir, p, levels(4, rate)));
        const double bits = 8.0 * double(f.bytes.size()) / double(p.pixels.size());
        EXPECT_GT(bits, 0.5 * rate) << rate;
        EXPECT_LT(bits, 1.5 * rate) << rate;
        EXPECT_GT(bits, previous);
        previous = bits;
    }
}

// Nine levels need a picture of at least 3872 pixels a side (the second
// pass analyses four levels of its thumbnail). The scales are checked for
// size and, at the finer ones, closeness to a box reduction of the input.
TEST(ImageEncoder, nineLevelsDecodeAtEveryScale) {
    ScratchDir dir;
    const Picture p = generatePicture(3900, 3880, 1, false);
    const std::string out = encodePicture(dir, p, levels(9, 0.6f));
    Lumetra::WavraFile file(out.c_str());
    EXPECT_EQ(file.levels(), 9);
    EXPECT_EQ(readFileBytes(out).sections.size(), 28u);
    for (int s = 9; s >= 2; --s) {
        const Picture d = decodeAtScale(file, s);
        ASSERT_EQ(d.width, (3900 + (1 << s) - 1) >> s) << s;
        ASSERT_EQ(d.height, (3880 + (1 << s) - 1) >> s) << s;
        if (s <= 4) {
            EXPECT_GE(psnr(d, reduce(p, s)), 28.0) << s;
        }
    }
    EXPECT_EQ(files_in(dir, "tmp"), 0u);
}

}  // namespace
