// wavra-extract over damaged Wavra files: truncated, with flipped bytes in
// the header, the tables, the Huffman descriptions and the payloads, with
// offsets past the end and absurd sizes. Every run either succeeds or fails
// with one message; none dies by a signal, leaves a temporary file or
// touches an existing output.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "CliProcessRunner.h"
#include "ExtractionFixtureTest.h"
#include "support/DamagedFiles.h"

using clitest::ProcessResult;
using namespace extracttest;
using testsupport::DamagedFile;
using testsupport::damagedVersions;

namespace {

// The one message that spans lines: a scale the file cannot deliver.
const char* const kIncompatibleScale =
    "Error: incompatible scale parameter input for image synthesis.\n scale is less than 0 or greater than "
    "nlev\n\n";

// A message is one line, or the one multi-line message the tool knows.
bool isOneMessage(const std::string& err) {
    if (err == kIncompatibleScale) return true;
    return !err.empty() && err.find('\n') == err.size() - 1;
}

TEST(DamagedFiles, neverCrashLeaveTemporariesOrTouchAnExistingOutput) {
    Scratch s;
    const std::string good = readFile(s.makeImage("pic", texturedPicture(96, 80, 3), 2));
    ASSERT_GT(good.size(), 200u);
    const std::string output = s.path("kept.wvr");
    const std::string earlier = "an earlier result";
    const std::vector<DamagedFile> versions = damagedVersions(good);
    EXPECT_LT(versions.size(), 200u);  // two runs each: keep the test short under the sanitizers

    int failures = 0;
    for (const DamagedFile& d : versions) {
        SCOPED_TRACE(d.what);
        writeFile(s.path("damaged.wvr"), d.bytes);
        writeFile(output, earlier);
        const std::vector<std::string> before = s.entries("");
        const std::vector<std::vector<std::string>> runs = {
            {"-quiet", "-misinfo", "-i", "damaged.wvr"},
            {"-quiet", "-i", "damaged.wvr", "-o", output, "-x", "48", "-y", "40", "-w", "96", "-h", "80",
             "-s", "0", "-n", "1"}};
        for (const auto& args : runs) {
            writeFile(output, earlier);
            const ProcessResult r = s.extract(args);
            EXPECT_TRUE(r.exited) << args[1] << ": ended by signal " << r.status << "\n" << r.err;
            EXPECT_TRUE(r.status == 0 || r.status == 1) << args[1] << ": status " << r.status;
            if (r.status == 0) {
                EXPECT_EQ(r.err, "") << args[1];
            } else {
                ++failures;
                EXPECT_TRUE(isOneMessage(r.err)) << args[1] << ": " << r.err;
                EXPECT_EQ(readFile(output), earlier) << args[1];
            }
            EXPECT_EQ(s.entries("tmp"), std::vector<std::string>()) << args[1];
            EXPECT_EQ(s.entries(""), before) << args[1];
        }
    }
    // Most of the damage must be noticed, not decoded as if nothing happened.
    EXPECT_GT(failures, int(versions.size()) / 2);
}

// One changed header byte makes a 512 x 512 file claim 369,099,264 x 512
// pixels. The block tables say otherwise, so opening fails at once, before
// anything is sized by the claim.
TEST(DamagedFiles, aHeaderSizeTheBlockTablesContradictFailsOnOpeningFastAndSmall) {
    Scratch s;
    std::string bytes = readFile(s.makeImage("pic", texturedPicture(512, 512, 1), 4));
    ASSERT_EQ(bytes[15], 0);
    bytes[15] = char(22);
    writeFile(s.path("lying.wvr"), bytes);
    const char* const kReadError = "Read error encountered while decompressing. Possible file corruption.\n";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-quiet", "-misinfo", "-i", "lying.wvr"},
          std::vector<std::string>{"-quiet", "-icon", "-i", "lying.wvr", "-o", "icon.wvr", "-n", "1"}}) {
        const auto start = std::chrono::steady_clock::now();
        const ProcessResult r = s.extract(args);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.status, 1) << args[1];
        EXPECT_EQ(r.err, kReadError) << args[1];
        EXPECT_LT(seconds, 1.0 * sanitizerSlowdown()) << args[1];
    }
    // The largest child so far, the encoder included.
    struct rusage usage = {};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 200L * 1024) << "peak resident kB";
    EXPECT_EQ(s.entries("tmp"), std::vector<std::string>());
    EXPECT_FALSE(exists(s.path("icon.wvr")));
}

// Under a lowered file-size limit the temporary raw image, a subband file or
// the output cannot be completed: each run ends with its write failure,
// status 1, nothing left in TMP, an existing output as it was.
TEST(DamagedFiles, aLoweredFileSizeLimitEndsTheRunWithItsWriteFailure) {
    Scratch s;
    s.makeImage("pic", texturedPicture(256, 256, 3), 3);
    // Noisy enough at -rate 4 for its finest subbands to need files.
    Picture noisy = texturedPicture(512, 512, 3);
    uint32_t state = 1;
    for (unsigned char& v : noisy.samples) {
        state = state * 1664525u + 1013904223u;
        v = (unsigned char)std::clamp(int(v) + int(state >> 27) - 16, 0, 255);
    }
    s.makeImage("noisy", noisy, 3);
    const std::string earlier = "an earlier result";
    struct Case {
        const char* what;
        const char* program;
        int blocks;  // of 512 bytes
        std::vector<std::string> args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"temporary raw image",
         "wavra-extract",
         64,
         {"-quiet", "-i", "pic.wvr", "-o", "out.wvr", "-x", "128", "-y", "128", "-w", "256", "-h", "256",
          "-s", "0", "-n", "2"},
         "Error writing to file\n"},
        {"subband file",
         "wavra-encode",
         2,
         {"-quiet", "-i", "noisy.bip", "-o", "out.wvr", "-rate", "4"},
         "Write error. Check that temporary directory is not full.\n"},
        {"output",
         "wavra-encode",
         40,
         {"-quiet", "-i", "pic.bip", "-o", "out.wvr", "-rate", "4"},
         "Error encountered in encode_block2.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(s.path("out.wvr"), earlier);
        const std::vector<std::string> before = s.entries("");
        std::vector<std::string> args = {"-c",
                                         "ulimit -f " + std::to_string(c.blocks) + " && exec \"$0\" \"$@\"",
                                         clitest::builtProgram(c.program)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        clitest::ProcessOptions options;
        options.environment.push_back("TMP=" + s.tmp());
        options.workingDirectory = s.path("");
        const ProcessResult r = clitest::runProcess("/bin/sh", args, options);
        EXPECT_TRUE(r.exited) << "ended by signal " << r.status;
        EXPECT_EQ(r.status, 1);
        const std::string& m = c.message;
        EXPECT_TRUE(r.err.size() >= m.size() && r.err.compare(r.err.size() - m.size(), m.size(), m) == 0)
            << r.err;
        EXPECT_EQ(s.entries("tmp"), std::vector<std::string>());
        EXPECT_EQ(readFile(s.path("out.wvr")), earlier);
        EXPECT_EQ(s.entries(""), before);
    }
}

}  // namespace
