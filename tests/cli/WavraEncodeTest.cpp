// End-to-end runs of wavra-encode.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "CliProcessRunner.h"
#include "format/WavraFile.h"
#include "support/ScratchDir.h"
#include "tool/ProgressPrinter.h"

namespace {

using clitest::builtProgram;
using clitest::ProcessResult;
using clitest::runProcess;

const char* const kProgress = "0...10...20...30...40...50...60...70...80...90...100 - done.\n";

// A scratch folder with a 400 x 300 RGB raw picture "pic.bip" and its header.
class EncodeScratch {
public:
    EncodeScratch() : scratch_("wx_encode_cli"), path_(scratch_.path()) {
        ::mkdir(file("tmp").c_str(), 0700);
        std::vector<unsigned char> pixels;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x)
                for (int c = 0; c < 3; ++c)
                    pixels.push_back(
                        (unsigned char)(128 + 100 * std::sin(x * 0.02 * (c + 1)) * std::cos(y * 0.015)));
        if (FILE* f = std::fopen(file("pic.bip").c_str(), "wb")) {
            std::fwrite(pixels.data(), 1, pixels.size(), f);
            std::fclose(f);
        }
        writeHeader("pic.hdr");
    }

    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void writeHeader(const std::string& name) const {
        if (FILE* f = std::fopen(file(name).c_str(), "w")) {
            std::fputs(
                "NROWS 300\nNCOLS 400\nNBANDS 3\nLAYOUT BIP\nULXMAP 100.5\nULYMAP 900.5\nXDIM 1\nYDIM 1\n",
                f);
            std::fclose(f);
        }
    }
    size_t entries(const std::string& sub) const {
        size_t n = 0;
        if (DIR* d = ::opendir(file(sub).c_str())) {
            while (const dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
            ::closedir(d);
        }
        return n;
    }
    ProcessResult run(const std::vector<std::string>& args) const {
        clitest::ProcessOptions options;
        options.environment.push_back("TMP=" + file("tmp"));
        options.workingDirectory = path_;
        return runProcess(builtProgram("wavra-encode"), args, options);
    }

private:
    testsupport::ScratchDir scratch_;
    std::string path_;
};

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

TEST(WavraEncode, malformedCommandLinesPrintTheUsageAndFail) {
    EncodeScratch s;
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"-i", "pic.bip"},
        {"-o", "out.wvr"},
        {"-i", "pic.bip", "-o"},
        {"-i", "pic.bip", "-o", "out.wvr", "-x"},
        {"-i", "pic.bip", "-o", "out.wvr", "-n", "four"},
        {"-i", "pic.bip", "-o", "out.wvr", "-n", "4x"},
        {"-i", "pic.bip", "-o", "out.wvr", "-rate", "0"},
        {"-i", "pic.bip", "-o", "out.wvr", "-rate", "-1"},
        {"-i", "pic.bip", "-o", "out.wvr", "-rate", "nan"},
        {"-i", "pic.bip", "-o", "out.wvr", "-b", "0"},
        {"-i", "pic.bip", "-o", "out.wvr", "-b", "99999999999"},
        {"-i", "pic.bip", "-o", "out.wvr", "-threads", "0"},
        {"-i", "pic.bip", "-o", "out.wvr", "-threads", "257"},
    };
    for (const auto& args : bad) {
        const ProcessResult r = s.run(args);
        EXPECT_TRUE(r.exited);
        EXPECT_EQ(r.status, 1) << args.size();
        EXPECT_EQ(r.err.rfind("Usage: wavra-encode -i INPUT -o OUTPUT", 0), 0u) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_FALSE(exists(s.file("out.wvr")));
}

TEST(WavraEncode, missingHeaderIsReportedWithoutOutput) {
    EncodeScratch s;
    ::unlink(s.file("pic.hdr").c_str());
    const ProcessResult r = s.run({"-i", "pic.bip", "-o", "out.wvr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error opening file pic.hdr for read.\n");
    EXPECT_FALSE(exists(s.file("out.wvr")));
}

TEST(WavraEncode, levelLimitComesFromTheEncoder) {
    EncodeScratch s;
    const ProcessResult r = s.run({"-i", "pic.bip", "-o", "out.wvr", "-n", "10"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: specified value for nlev must be <= 9.\n");
    // The second pass of seven levels works on a 13 x 10 thumbnail.
    const ProcessResult tooSmall = s.run({"-i", "pic.bip", "-o", "out.wvr", "-n", "7"});
    EXPECT_EQ(tooSmall.status, 1);
    // The progress line that had begun is ended before the message.
    EXPECT_EQ(tooSmall.err, "0\nError: image too small for given nlev.\n");
    EXPECT_EQ(s.entries("tmp"), 0u);
}

TEST(WavraEncode, encodesWithProgressLineAndWorldFile) {
    EncodeScratch s;
    const ProcessResult r = s.run({"-i", "pic.bip", "-o", "out.wvr", "-n", "3", "-rate", "1.5", "-b", "256"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, kProgress);
    EXPECT_TRUE(r.out.empty());
    Lumetra::WavraFile file(s.file("out.wvr").c_str());
    EXPECT_EQ(file.width(), 400);
    EXPECT_EQ(file.height(), 300);
    EXPECT_EQ(file.bands(), 3);
    EXPECT_EQ(file.levels(), 3);
    EXPECT_TRUE(file.dither());
    EXPECT_TRUE(exists(s.file("out.wvw")));
    EXPECT_EQ(s.entries("tmp"), 0u);
}

TEST(WavraEncode, quietRunPrintsNothing) {
    EncodeScratch s;
    const ProcessResult r = s.run({"-quiet", "-i", "pic.bip", "-o", "out.wvr", "-nodither"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Lumetra::WavraFile file(s.file("out.wvr").c_str());
    EXPECT_EQ(file.levels(), 4);
    EXPECT_FALSE(file.dither());
}

std::string printed(const std::function<void(ProgressPrinter&)>& body) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = ::open_memstream(&text, &size);
    {
        ProgressPrinter p(out);
        body(p);
    }
    std::fclose(out);
    std::string s(text, size);
    std::free(text);
    return s;
}

TEST(ProgressPrinter, ticksAppearOnceInOrderWhateverTheUpdates) {
    EXPECT_EQ(printed([](ProgressPrinter& p) {
                  for (float f : {0.0f, 0.0f, 0.26f, 0.1f, 0.5f, 0.94f, 0.99f}) p.update(f);
                  p.finish();
              }),
              kProgress);
    EXPECT_EQ(printed([](ProgressPrinter& p) {
                  p.update(0.2f);
                  p.update(-1.0f);
              }),
              "0...10...20");
    // Nothing is held back for 100 % until finish().
    EXPECT_EQ(printed([](ProgressPrinter& p) { p.update(1.0f); }).size(), std::string(kProgress).size() - 12);
    EXPECT_EQ(printed([](ProgressPrinter& p) {
                  p.update(0.1f);
                  p.abandon();
                  p.update(0.5f);
              }),
              "0...10\n");
    EXPECT_EQ(printed([](ProgressPrinter& p) { p.abandon(); }), "");
}

}  // namespace
