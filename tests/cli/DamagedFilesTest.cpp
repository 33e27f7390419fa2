// wavra-extract over damaged Wavra files: truncated, with flipped bytes in
// the header, the tables, the Huffman descriptions and the payloads, with
// offsets past the end and absurd sizes. Every run either succeeds or fails
// with one message; none dies by a signal, leaves a temporary file or
// touches an existing output.

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
            {"-quiet", "-i", "damaged.wvr", "-o", output, "-x", "48", "-y", "40", "-w", "96", "-h", "80", "-s", "0",
             "-n", "1"}};
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

}  // namespace
