// End-to-end extraction runs of wavra-extract on images made by wavra-encode:
// where the region lies, what it holds, and what stays behind on disk.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

// libjpeg's header needs FILE and size_t declared first.
#include <jpeglib.h>

#include "ExtractionFixtureTest.h"
#include "format/WavraFile.h"

using clitest::ProcessResult;
using namespace extracttest;

namespace {

const char* const kNegativeDimension =
    "Error construction a dimension object: Cannot have negative dimensions\n";
const char* const kIncompatibleScale =
    "Error: incompatible scale parameter input for image synthesis.\n scale is less than 0 or greater than "
    "nlev\n\n";
const char* const kNlevTooLarge = "Error: specified value for nlev must be <= 9.\n";
const char* const kTooSmall = "Error: image too small for given nlev.\n";

// A one-component JPEG of a single grey value.
void writeGreyJpeg(const std::string& path, int width, int height, int value) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    const std::vector<JSAMPLE> filled(static_cast<size_t>(width), static_cast<JSAMPLE>(value));
    std::vector<JSAMPLE> row = filled;
    while (c.next_scanline < c.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

double meanOf(const Picture& p) {
    double sum = 0;
    for (unsigned char v : p.samples) sum += v;
    return p.samples.empty() ? 0.0 : sum / double(p.samples.size());
}

// A failed run: one message, status 1, nothing left in TMP, no output and
// no world file beside it.
void expectCleanFailure(const Scratch& s, const ProcessResult& r, const std::string& message,
                        const std::string& output) {
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    if (!message.empty()) {
        EXPECT_EQ(r.err, message);
    }
    EXPECT_TRUE(s.entries("tmp").empty()) << s.entries("tmp").front();
    EXPECT_FALSE(exists(output));
    EXPECT_FALSE(exists(output.substr(0, output.rfind('.')) + ".wvw"));
}

std::vector<std::string> region(int x, int y, int w, int h, int scale) {
    return {"-x", std::to_string(x), "-y", std::to_string(y),    "-w", std::to_string(w),
            "-h", std::to_string(h), "-s", std::to_string(scale)};
}

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ExtractionRun, regionAroundTheCentreKeepsItsPixelsAndGeoreference) {
    Scratch s;
    const RawGeo geo;
    const Picture source = texturedPicture(600, 340, 3);
    const std::string input = s.makeImage("source", source, 3, geo);
    s.makeFolder("out");
    const std::string output = s.path("out/region.wvr");

    const ProcessResult r =
        s.extract(join({"-quiet", "-i", input, "-o", output, "-n", "2"}, region(500, 300, 100, 50, 0)));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(s.entries("tmp").empty());
    EXPECT_EQ(s.entries("out"), std::vector<std::string>{"region.wvr"});  // no world file, nothing staged

    // Columns 450..549 and rows 275..324 of the source.
    const Lumetra::WavraFile out(output);
    EXPECT_EQ(out.width(), 100);
    EXPECT_EQ(out.height(), 50);
    EXPECT_EQ(out.levels(), 2);
    ASSERT_TRUE(out.isGeoreferenced());
    EXPECT_DOUBLE_EQ(out.xOrigin(), geo.ulx + 450 * geo.xdim);
    EXPECT_DOUBLE_EQ(out.yOrigin(), geo.uly - 275 * geo.ydim);
    EXPECT_DOUBLE_EQ(out.xResolution(), geo.xdim);
    EXPECT_DOUBLE_EQ(out.yResolution(), geo.ydim);

    const Picture crop = source.crop(450, 275, 100, 50);
    const Picture extracted = s.decodeWhole(output);
    EXPECT_GE(psnr(extracted, crop), 30.0);
    // The same region encoded straight from the source looks the same.
    const Picture direct = s.decodeWhole(s.makeImage("crop", crop, 2, geo));
    EXPECT_GE(psnr(extracted, direct), 30.0);
}

TEST(ExtractionRun, centreIsBroughtToTheScaleByTruncation) {
    Scratch s;
    const RawGeo geo;
    const std::string input = s.makeImage("wide", texturedPicture(1008, 40, 1), 2, geo);
    const std::string output = s.path("centre.wvr");

    // 1001 / 4 = 250.25 and 7 / 4 = 1.75 give the centre (250, 1) at scale 2:
    // 20 x 10 around it are columns 240..259 and rows -4..5.
    const ProcessResult r =
        s.extract(join({"-quiet", "-i", input, "-o", output, "-n", "1"}, region(1001, 7, 20, 10, 2)));
    ASSERT_EQ(r.status, 0) << r.err;
    const Lumetra::WavraFile out(output);
    EXPECT_EQ(out.width(), 20);
    EXPECT_EQ(out.height(), 10);
    const double step = 4 * geo.xdim;
    EXPECT_DOUBLE_EQ(out.xResolution(), step);
    EXPECT_DOUBLE_EQ(out.xOrigin(), geo.ulx - geo.xdim / 2 + 240.5 * step);
    EXPECT_DOUBLE_EQ(out.yOrigin(), geo.uly + geo.ydim / 2 + 3.5 * step);
    EXPECT_TRUE(s.entries("tmp").empty());
}

TEST(ExtractionRun, negativeScaleActsAsFullResolution) {
    Scratch s;
    const std::string input = s.makeImage("pic", texturedPicture(200, 160, 3), 2);
    const std::vector<std::string> common = {"-quiet", "-i", input, "-n", "1",  "-x", "90",
                                             "-y",     "70", "-w",  "40", "-h", "30"};
    ASSERT_EQ(s.extract(join(common, {"-o", s.path("zero.wvr"), "-s", "0"})).status, 0);
    const ProcessResult r = s.extract(join(common, {"-o", s.path("minus.wvr"), "-s", "-3"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const Lumetra::WavraFile zero(s.path("zero.wvr")), minus(s.path("minus.wvr"));
    EXPECT_EQ(minus.width(), 40);
    EXPECT_DOUBLE_EQ(minus.xOrigin(), zero.xOrigin());
    EXPECT_DOUBLE_EQ(minus.xResolution(), zero.xResolution());
    EXPECT_EQ(s.decodeWhole(s.path("minus.wvr")).samples, s.decodeWhole(s.path("zero.wvr")).samples);
}

TEST(ExtractionRun, iconIsTheCoarsestWholeImageAndMustSuitTheLevels) {
    Scratch s;
    const std::string input = s.makeImage("big", texturedPicture(1000, 700, 1), 4);
    const std::string output = s.path("icon.wvr");
    // 1000 x 700 at four levels is 63 x 44: too small for four output levels.
    expectCleanFailure(s, s.extract({"-quiet", "-icon", "-i", input, "-o", output}), kTooSmall, output);

    const ProcessResult r = s.extract({"-quiet", "-icon", "-i", input, "-o", output, "-n", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Lumetra::WavraFile icon(output);
    EXPECT_EQ(icon.width(), 63);
    EXPECT_EQ(icon.height(), 44);
    EXPECT_TRUE(s.entries("tmp").empty());
}

TEST(ExtractionRun, everyFailureLeavesTmpEmptyAndAnExistingOutputUntouched) {
    Scratch s;
    const std::string input = s.makeImage("pic", texturedPicture(200, 160, 3), 2);
    writeFile(s.path("corrupt.jpg"), std::string("\xFF\xD8\xFF\xE0 this is no picture"));
    const std::string output = s.path("kept.wvr");
    const std::string precious = "an earlier result that must survive";
    const struct {
        const char* what;
        std::vector<std::string> args;
        const char* message;  // null: any one-line message
    } cases[] = {
        {"negative width", region(100, 80, -5, 40, 0), kNegativeDimension},
        {"nlev 10", join(region(100, 80, 130, 130, 0), {"-n", "10"}), kNlevTooLarge},
        {"120 rows at nlev 4", region(100, 80, 500, 120, 0), kTooSmall},
        {"scale beyond the levels", region(100, 80, 16, 16, 3), kIncompatibleScale},
        {"huge scale", region(100, 80, 16, 16, 2000000000), kIncompatibleScale},
        {"missing watermark", join(region(100, 80, 16, 16, 0), {"-n", "1", "-wm", "none.jpg"}),
         "Error opening file none.jpg for read.\n"},
        {"corrupt watermark", join(region(100, 80, 16, 16, 0), {"-n", "1", "-wm", "corrupt.jpg"}), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(output, precious);
        const ProcessResult r = s.extract(join({"-quiet", "-i", input, "-o", output}, c.args));
        EXPECT_TRUE(r.exited);
        EXPECT_EQ(r.status, 1);
        if (c.message)
            EXPECT_EQ(r.err, c.message);
        else
            EXPECT_TRUE(!r.err.empty() && r.err.find('\n') == r.err.size() - 1) << r.err;
        EXPECT_EQ(readFile(output), precious);
        EXPECT_TRUE(s.entries("tmp").empty());
        // Nothing but the inputs and the untouched output in the folder.
        EXPECT_EQ(s.entries(""), (std::vector<std::string>{"corrupt.jpg", "kept.wvr", "pic.bip", "pic.hdr",
                                                           "pic.wvr", "tmp"}));
    }
    // Without an earlier output, a failure creates none.
    ::unlink(output.c_str());
    expectCleanFailure(s,
                       s.extract(join({"-quiet", "-i", input, "-o", output}, region(100, 80, 500, 120, 0))),
                       kTooSmall, output);
}

TEST(ExtractionRun, concurrentRunsSharingTmpNeverMixTheirTemporaryFiles) {
    Scratch s;
    const std::string input = s.makeImage("pic", texturedPicture(200, 160, 3), 2);
    // Eight runs started together, each on its own region, as a batch over
    // "xargs -P" would: every process counts its temporary names from the
    // same start.
    constexpr int kRuns = 8;
    auto regionOf = [](int k) { return region(60 + 10 * k, 50 + 7 * k, 40 + 8 * k, 30 + 4 * k, 0); };
    ProcessResult results[kRuns];
    std::vector<std::thread> threads;
    for (int k = 0; k < kRuns; ++k)
        threads.emplace_back([&, k] {
            results[k] = s.extract(join(
                {"-quiet", "-i", input, "-o", s.path("run" + std::to_string(k) + ".wvr"), "-n", "1"}, regionOf(k)));
        });
    for (auto& t : threads) t.join();
    EXPECT_TRUE(s.entries("tmp").empty());
    // Each result holds the pixels the same run makes alone.
    for (int k = 0; k < kRuns; ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(results[k].status, 0) << results[k].err;
        ASSERT_EQ(s.extract(join({"-quiet", "-i", input, "-o", s.path("alone.wvr"), "-n", "1"}, regionOf(k))).status,
                  0);
        const Picture alone = s.decodeWhole(s.path("alone.wvr"));
        EXPECT_EQ(alone.width, 40 + 8 * k);
        EXPECT_EQ(s.decodeWhole(s.path("run" + std::to_string(k) + ".wvr")).samples, alone.samples);
    }
    EXPECT_TRUE(s.entries("tmp").empty());
}

TEST(ExtractionRun, failureWhileWritingTheOutputKeepsTheEarlierFile) {
    Scratch s;
    const std::string input = s.makeImage("pic", texturedPicture(200, 160, 3), 2);
    writeFile(s.path("kept.wvr"), "earlier result");
    // A file-size limit of 1024 bytes lets the 768-byte raw image through but
    // stops the output file part way, as a full disk would.
    clitest::ProcessOptions options;
    options.environment.push_back("TMP=" + s.tmp());
    options.workingDirectory = s.path("");
    const ProcessResult r = clitest::runProcess("/bin/sh",
                                                {"-c",
                                                 "ulimit -f 2; trap '' XFSZ; exec \"$0\" -quiet -i pic.wvr "
                                                 "-o kept.wvr -n 1 -x 100 -y 80 -w 16 -h 16 -s 0",
                                                 clitest::builtProgram("wavra-extract")},
                                                options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error writing file kept.wvr. Perhaps you are out of disk space.\n");
    EXPECT_EQ(readFile(s.path("kept.wvr")), "earlier result");
    EXPECT_TRUE(s.entries("tmp").empty());
    EXPECT_EQ(s.entries(""), (std::vector<std::string>{"kept.wvr", "pic.bip", "pic.hdr", "pic.wvr", "tmp"}));
}

TEST(ExtractionRun, outputReplacesAnEarlierFileKeepingItsPermissions) {
    Scratch s;
    const std::string input = s.makeImage("pic", texturedPicture(200, 160, 3), 2);
    const std::string output = s.path("again.wvr");
    writeFile(output, "old contents");
    ::chmod(output.c_str(), 0640);
    const ProcessResult r =
        s.extract(join({"-quiet", "-i", input, "-o", output, "-n", "1"}, region(100, 80, 32, 24, 1)));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lumetra::WavraFile(output).width(), 32);
    struct stat st;
    ASSERT_EQ(::stat(output.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(s.entries(""), (std::vector<std::string>{"again.wvr", "pic.bip", "pic.hdr", "pic.wvr", "tmp"}));
}

TEST(ExtractionRun, worldFileSharingTheOutputNameIsNeitherWrittenNorDeleted) {
    Scratch s;
    const std::string input = s.makeImage("city", texturedPicture(200, 160, 3), 2);
    // The input's own world file is also "the output's world file" here.
    const std::string world = "1.0\n0.0\n0.0\n-1.0\n100.0\n200.0\n";
    writeFile(s.path("city.wvw"), world);
    const ProcessResult r = s.extract(
        join({"-quiet", "-i", input, "-o", s.path("city.out"), "-n", "1"}, region(100, 80, 32, 24, 0)));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(s.path("city.wvw")), world);
    EXPECT_TRUE(s.entries("tmp").empty());
}

TEST(ExtractionRun, watermarkIsStampedAtItsPosition) {
    Scratch s;
    const std::string input = s.makeImage("pic", texturedPicture(200, 160, 1), 2);
    writeGreyJpeg(s.path("mark.jpg"), 24, 16, 255);
    const std::string output = s.path("marked.wvr");
    // Position 4 is the top left corner.
    const ProcessResult r =
        s.extract(join({"-quiet", "-i", input, "-o", output, "-n", "1", "-wm", "mark.jpg", "-wp", "4"},
                       region(100, 80, 64, 48, 0)));
    ASSERT_EQ(r.status, 0) << r.err;
    const Picture marked = s.decodeWhole(output);
    ASSERT_EQ(marked.width, 64);
    EXPECT_GT(meanOf(marked.crop(2, 2, 20, 12)), 240.0);
    EXPECT_LT(meanOf(marked.crop(30, 20, 30, 25)), 200.0);
    EXPECT_TRUE(s.entries("tmp").empty());
}

TEST(ExtractionRun, centreBeyond32BitsSaturatesInsteadOfOverflowing) {
    Scratch s;
    const std::string input = s.makeImage("pic", texturedPicture(200, 160, 3), 2);
    const std::string output = s.path("far.wvr");
    // The centre lies far outside the image: the region is all background.
    const ProcessResult r = s.extract({"-quiet", "-i", input, "-o", output, "-n", "1", "-x", "99999999999",
                                       "-y", "-99999999999", "-w", "16", "-h", "16", "-s", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lumetra::WavraFile(output).width(), 16);
    EXPECT_LT(meanOf(s.decodeWhole(output)), 2.0);
    EXPECT_TRUE(s.entries("tmp").empty());
}

}  // namespace
