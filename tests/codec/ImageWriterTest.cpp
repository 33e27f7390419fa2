#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "CodecScratchDir.h"
#include "EncoderRoundTrip.h"
#include "WavraFileBytes.h"
#include "core/Error.h"
#include "core/FileBuffer.h"
#include "encoder/codec/IconOutput.h"
#include "encoder/codec/ImageWriter.h"
#include "encoder/codec/SubbandCoder.h"
#include "encoder/rawimage/BBBImage.h"
#include "format/TagStore.h"

namespace {

using namespace codectest;

// A map of 3L + 1 subbands, each with one block per entry of `blocks`
// (bounds x0, x1, y0, y1) holding a ramp of coefficients; a block whose
// `steps` entry is 0 has no data in any band.
struct MapBuilder {
    explicit MapBuilder(const ScratchDir& dir) : where(dir.path()) {}
    SubbandMap build(int levels, int bands, const std::vector<std::array<int, 4>>& blocks,
                     const std::vector<float>& steps, float scale = 1.0f) {
        SubbandMap map = subband_map_init(levels, &where);
        std::vector<int16_t> is;
        std::vector<uint8_t> cs;
        for (auto& entry : map) {
            for (size_t b = 0; b < blocks.size(); ++b) {
                SubbandBlockRecord r;
                r.x0 = blocks[b][0];
                r.x1 = blocks[b][1];
                r.y0 = blocks[b][2];
                r.y1 = blocks[b][3];
                std::vector<float> c(size_t(r.width()) * size_t(r.height()));
                for (size_t i = 0; i < c.size(); ++i) c[i] = scale * float(int(i % 37) - 18);
                for (int k = 0; k < bands; ++k) {
                    float used = 0.0f;
                    r.stored.push_back(SubbandCoder::code_band(*entry->file, c.data(), r.width(), r.height(),
                                                               steps[b], nullptr, r.x0, r.y0, used, is, cs));
                    r.steps.push_back(used);
                }
                entry->blocks.push_back(r);
            }
            EXPECT_EQ(entry->file->write_eof(), 0);
        }
        return map;
    }
    Lumetra::FileSpecification where;
};

WriterSettings settings_for(int levels) {
    WriterSettings s;
    s.levels = levels;
    return s;
}

TEST(ImageWriter, offsetTableMarkersAndMetadataSitWhereReadersLookForThem) {
    ScratchDir dir;
    const std::string raw = writeRawPicture(dir.path(), "in", generatePicture(64, 48, 1, false));
    BBBImage image(raw.c_str());
    MapBuilder builder(dir);
    SubbandMap map = builder.build(4, 1, {{0, 9, 0, 4}}, {1.0f});
    const std::string out = dir.file("out.wvr");
    write_image(image, map, out.c_str(), settings_for(4));
    const FileBytes f = readFileBytes(out);
    ASSERT_GT(f.bytes.size(), 81u);
    EXPECT_EQ(std::string(f.bytes.begin(), f.bytes.begin() + 4), "wvra");
    EXPECT_EQ(f.bytes[4], 1);
    EXPECT_EQ(f.bytes[5], 0);
    EXPECT_EQ(f.bytes[6], 1);
    EXPECT_EQ(f.levels, 4);
    EXPECT_EQ(f.width, 64);
    ASSERT_EQ(f.sections.size(), 13u);
    for (int s = 0; s < 13; ++s) {
        const uint32_t at = f.u32(23 + 4 * size_t(s));
        EXPECT_EQ(f.bytes[at], 0xFF) << s;
        EXPECT_EQ(f.bytes[at + 1], 0xAC) << s;
        ASSERT_EQ(f.sections[size_t(s)].blocks.size(), 1u);
        const uint32_t header = f.sections[size_t(s)].blocks[0].headerOffsets[0];
        EXPECT_EQ(f.bytes[header], 0xFF);
        EXPECT_EQ(f.bytes[header + 1], 0xAA);
    }
    EXPECT_EQ(f.bytes[75], 0xFF);
    EXPECT_EQ(f.bytes[76], 0xD0);
    const uint32_t metadata = f.u32(77);
    EXPECT_EQ(f.bytes[metadata], 0xFF);
    EXPECT_EQ(f.bytes[metadata + 1], 0xD1);
    EXPECT_EQ(f.bytes[f.bytes.size() - 2], 0xFF);
    EXPECT_EQ(f.bytes[f.bytes.size() - 1], 0xA1);
    // Every subband file is gone, and the map gave up its records.
    for (auto& entry : map) {
        EXPECT_FALSE(entry->file);
        EXPECT_TRUE(entry->blocks.empty());
    }
}

TEST(ImageWriter, encoderTagsFollowTheImageTagsInOrder) {
    ScratchDir dir;
    const std::string raw = writeRawPicture(dir.path(), "in", generatePicture(64, 48, 1, false));
    BBBImage image(raw.c_str());
    MapBuilder builder(dir);
    SubbandMap map = builder.build(1, 1, {{0, 3, 0, 3}}, {1.0f});
    const std::string out = dir.file("out.wvr");
    WriterSettings s = settings_for(1);
    s.tags.dither = false;
    write_image(image, map, out.c_str(), s);
    const FileBytes f = readFileBytes(out);
    Lumetra::FileBuffer in(out.c_str());
    in.seek(f.u32(12 * 1 + 29), SEEK_SET);
    Lumetra::TagStore tags;
    ASSERT_EQ(tags.read(in), 0);
    std::vector<std::string> names;
    for (int i = 0; i < tags.slotCount(); ++i)
        if (!tags.slot(i).isFree()) names.push_back(tags.slot(i).name);
    const std::vector<std::string> tail = {"IMAGE::COMPRESSION_VERSION",
                                           "IMAGE::TARGET_COMPRESSION_RATIO",
                                           "IMAGE::COMPRESSION_NLEV",
                                           "IMAGE::COMPRESSION_WEIGHT",
                                           "IMAGE::COMPRESSION_GAMMA",
                                           "IMAGE::COMPRESSION_BLOCK_SIZE",
                                           "IMAGE::CREATION_DATE",
                                           "IMAGE::NO_DITHER",
                                           "IMAGE::EOM"};
    ASSERT_GE(names.size(), tail.size() + 2);
    EXPECT_EQ(names.front(), "IMAGE::SOM");
    EXPECT_EQ(names[1], "IMAGE::WIDTH");
    EXPECT_EQ(std::vector<std::string>(names.end() - long(tail.size()), names.end()), tail);
    EXPECT_NEAR(tags.lookUp("IMAGE::TARGET_COMPRESSION_RATIO")->numbers[0], 8.0 / 0.6, 1e-5);
    const std::string date = tags.lookUp("IMAGE::CREATION_DATE")->texts[0];
    EXPECT_EQ(date.size(), 25u);  // "Www Mmm dd hh:mm:ss yyyy\n"
    EXPECT_EQ(date.back(), '\n');
}

// A block in which no band has data (a flat region) must still carry its
// bounds, or read back it reads as a block at 0, 0 and can hide a real one.
TEST(ImageWriter, blockWithoutDataKeepsItsBoundsAndZeroHeaderSlots) {
    ScratchDir dir;
    const std::string raw = writeRawPicture(dir.path(), "in", generatePicture(64, 48, 3, false));
    BBBImage image(raw.c_str());
    MapBuilder builder(dir);
    SubbandMap map = builder.build(1, 3, {{0, 9, 0, 4}, {10, 19, 0, 4}}, {0.0f, 2.0f});
    const std::string out = dir.file("out.wvr");
    write_image(image, map, out.c_str(), settings_for(1));
    const FileBytes f = readFileBytes(out);
    ASSERT_EQ(f.sections.size(), 4u);
    for (const SectionBytes& sec : f.sections) {
        ASSERT_EQ(sec.blocks.size(), 2u);
        const BlockEntry& empty = sec.blocks[0];
        EXPECT_EQ(empty.headerOffsets, (std::vector<uint32_t>{0, 0, 0}));
        EXPECT_EQ(empty.x0, 0);
        EXPECT_EQ(empty.x1, 9);
        EXPECT_EQ(empty.y1, 4);
        const BlockEntry& full = sec.blocks[1];
        EXPECT_EQ(full.x0, 10);
        EXPECT_EQ(full.x1, 19);
        for (uint32_t h : full.headerOffsets) EXPECT_EQ(f.bytes[h + 1], 0xAA);
    }
}

TEST(ImageWriter, blockHeaderCarriesTheStepTheQuantiserUsed) {
    ScratchDir dir;
    const std::string raw = writeRawPicture(dir.path(), "in", generatePicture(64, 48, 1, false));
    BBBImage image(raw.c_str());
    MapBuilder builder(dir);
    SubbandMap map = builder.build(1, 1, {{0, 9, 0, 4}}, {0.001f}, 1.0e5f);
    const float used = map[0]->blocks[0].steps[0];
    ASSERT_GT(used, 0.001f);
    const std::string out = dir.file("out.wvr");
    write_image(image, map, out.c_str(), settings_for(1));
    const FileBytes f = readFileBytes(out);
    const uint32_t h = f.sections[0].blocks[0].headerOffsets[0];
    int n = 0;
    for (int i = 0; i < 16; ++i) n += f.bytes[h + 2 + size_t(i)];
    const uint32_t bits = f.u32(h + 18 + size_t(n));
    float step;
    std::memcpy(&step, &bits, 4);
    EXPECT_EQ(step, used);
    EXPECT_EQ(f.u32(h + 22 + size_t(n)), 128u);
    EXPECT_EQ(f.u32(h + 26 + size_t(n)), 128u);
}

TEST(ImageWriter, blocksAreCutIntoRecordsRowByRow) {
    const std::vector<RecordCut> r = cut_records(300, 200, 128, 128);
    ASSERT_EQ(r.size(), 6u);
    const int widths[6] = {128, 128, 44, 128, 128, 44};
    const int heights[6] = {128, 128, 128, 72, 72, 72};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(r[i].width, widths[i]) << i;
        EXPECT_EQ(r[i].height, heights[i]) << i;
        EXPECT_EQ(r[i].x, int(i % 3) * 128);
        EXPECT_EQ(r[i].y, int(i / 3) * 128);
    }
    EXPECT_EQ(cut_records(128, 128, 128, 128).size(), 1u);
    EXPECT_EQ(cut_records(129, 1, 128, 128).size(), 2u);
}

// A full disk at the very end (metadata offset, flush, close) must not be
// reported as success, and the partial output must go.
TEST(ImageWriter, failedFinalWritesAreReportedAndThePartialOutputRemoved) {
    ScratchDir dir;
    const std::string raw = writeRawPicture(dir.path(), "in", generatePicture(64, 48, 1, false));
    BBBImage image(raw.c_str());
    MapBuilder builder(dir);
    const std::string out = dir.file("out.wvr");
    {
        SubbandMap map = builder.build(2, 1, {{0, 30, 0, 30}}, {1.0f});
        write_image(image, map, out.c_str(), settings_for(2));
    }
    const size_t full = readFileBytes(out).bytes.size();
    std::remove(out.c_str());
    SubbandMap map = builder.build(2, 1, {{0, 30, 0, 30}}, {1.0f});
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit limited = old;
    limited.rlim_cur = rlim_t(full - 4);
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string message;
    try {
        write_image(image, map, out.c_str(), settings_for(2));
    } catch (const Error& e) {
        message = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(message, "Error writing file " + out + ". Perhaps you are out of disk space.");
    EXPECT_FALSE(fileExists(out));
}

// The file's offsets are 32-bit: an output that would need a larger one is
// refused with the limit's own message, and nothing is left behind.
TEST(ImageWriter, anOffsetPastTheFormatsLimitIsRefusedWithItsMessage) {
    ScratchDir dir;
    const std::string raw = writeRawPicture(dir.path(), "in", generatePicture(64, 48, 1, false));
    BBBImage image(raw.c_str());
    MapBuilder builder(dir);
    const std::string out = dir.file("out.wvr");
    for (int64_t limit : {int64_t(40), int64_t(200)}) {
        SubbandMap map = builder.build(2, 1, {{0, 30, 0, 30}}, {1.0f});
        WriterSettings s = settings_for(2);
        s.largestOffset = limit;
        std::string message;
        try {
            write_image(image, map, out.c_str(), s);
        } catch (const Error& e) {
            message = e.message();
        }
        EXPECT_EQ(message, kOutputTooLargeMessage) << limit;
        EXPECT_FALSE(fileExists(out)) << limit;
    }
}

TEST(ImageWriter, interruptStopsTheWriterWithoutLeavingFiles) {
    ScratchDir dir;
    const std::string raw = writeRawPicture(dir.path(), "in", generatePicture(64, 48, 1, false));
    BBBImage image(raw.c_str());
    MapBuilder builder(dir);
    const std::string out = dir.file("out.wvr");
    std::string message;
    {
        SubbandMap map = builder.build(2, 1, {{0, 30, 0, 30}}, {1.0f});
        WriterSettings s = settings_for(2);
        int polls = 0;
        s.interrupt = [&polls] { return ++polls > 5 ? 1 : 0; };
        try {
            write_image(image, map, out.c_str(), s);
        } catch (const Error& e) {
            message = e.message();
        }
    }
    EXPECT_EQ(message, "Program interrupt encountered.");
    const std::vector<std::string> left = dir.entries();
    EXPECT_EQ(left.size(), 2u);  // in.bip and in.hdr only
}

TEST(ImageWriter, unsetOutputNameSendsTheFileToStandardOutput) {
    ScratchDir dir;
    const std::string raw = writeRawPicture(dir.path(), "in", generatePicture(64, 48, 1, false));
    BBBImage image(raw.c_str());
    MapBuilder builder(dir);
    const std::string named = dir.file("named.wvr"), captured = dir.file("captured.wvr");
    {
        SubbandMap map = builder.build(2, 1, {{0, 30, 0, 30}}, {1.0f});
        write_image(image, map, named.c_str(), settings_for(2));
    }
    SubbandMap map = builder.build(2, 1, {{0, 30, 0, 30}}, {1.0f});
    std::fflush(stdout);
    const int saved = ::dup(1);
    FILE* sink = std::fopen(captured.c_str(), "wb");
    ASSERT_TRUE(sink);
    ::dup2(::fileno(sink), 1);
    ::setenv("TMP", dir.path().c_str(), 1);
    write_image(image, map, Lumetra::FileSpecification(), settings_for(2));
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    std::fclose(sink);
    const std::vector<uint8_t> a = readFileBytes(named).bytes, b = readFileBytes(captured).bytes;
    ASSERT_EQ(a.size(), b.size());
    size_t differing = 0;
    for (size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i];
    EXPECT_LE(differing, 24u);            // at most the creation time
    EXPECT_EQ(dir.entries().size(), 4u);  // in.bip, in.hdr, named.wvr, captured.wvr: no spool file left
}

TEST(IconOutput, iconSizeRoundsUpAtEveryLevel) {
    EXPECT_EQ(icon_dimension(1000, 5), 32);
    EXPECT_EQ(icon_dimension(700, 5), 22);
    EXPECT_EQ(icon_dimension(1, 5), 1);
}

TEST(IconOutput, iconHoldsTheUndtheredLowPassBandInPlace) {
    ScratchDir dir;
    const Lumetra::FileSpecification where(dir.path());
    SubbandMapEntry entry;
    entry.dither = {17, 90};
    entry.file = std::make_unique<SubbandFile>(&where);
    // A 40 x 30 image at 2 levels has a 10 x 8 low-pass band; two blocks.
    const int w = 10, h = 8;
    std::vector<float> band(size_t(w) * h);
    for (size_t i = 0; i < band.size(); ++i) band[i] = float(i) * 3.7f - 100.0f;
    std::vector<int16_t> is;
    std::vector<uint8_t> cs;
    const float step = 2.0f;
    for (int b = 0; b < 2; ++b) {
        SubbandBlockRecord r;
        r.x0 = b * 6;
        r.x1 = b ? 9 : 5;
        r.y0 = 0;
        r.y1 = 7;
        std::vector<float> c;
        for (int y = r.y0; y <= r.y1; ++y)
            for (int x = r.x0; x <= r.x1; ++x) c.push_back(band[size_t(y) * w + x]);
        float used;
        r.stored.push_back(SubbandCoder::code_band(*entry.file, c.data(), r.width(), r.height(), step,
                                                   &entry.dither, r.x0, r.y0, used, is, cs));
        r.steps.push_back(used);
        entry.blocks.push_back(r);
    }
    ASSERT_EQ(entry.file->write_eof(), 0);
    const std::string icon = dir.file("icon.rfi");
    output_icon(icon.c_str(), entry, 40, 30, 2, 1, true);
    FILE* f = std::fopen(icon.c_str(), "rb");
    ASSERT_TRUE(f);
    int32_t head[3];
    ASSERT_EQ(std::fread(head, 4, 3, f), 3u);
    EXPECT_EQ(head[0], 10);
    EXPECT_EQ(head[1], 8);
    EXPECT_EQ(head[2], 1);
    std::vector<float> pixels(size_t(w) * h);
    ASSERT_EQ(std::fread(pixels.data(), 4, pixels.size(), f), pixels.size());
    std::fclose(f);
    for (size_t i = 0; i < pixels.size(); ++i) EXPECT_LE(std::fabs(pixels[i] - band[i]), 0.5601f * step) << i;
    EXPECT_TRUE(entry.file->isOpen());
}

}  // namespace
