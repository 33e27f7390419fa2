// End-to-end runs of wavra-extract: what it writes to each stream and its
// exit status for the command-line cases.

#include "support/Conformance.h"
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CliProcessRunner.h"

using clitest::ProcessOptions;
using clitest::ProcessResult;

namespace {

const char* const kProgram = "wavra-extract";

const std::string kUsageTail =
    " [-icon] -i input -o output -x x0 -y y0 -n nlev -s scale -w width -h -height"
    " [ -wm /path/to/file.name ] [ -wp position <1-9: default=9>]";

const std::string kBanner =
    "*****************************************************************************\n"
    "* Wavra Extract 1.0.2 - regions of Wavra images, cut out and re-encoded     *\n"
    "* Copyright the Wavra Extract developers. No warranty of any kind.          *\n"
    "*****************************************************************************\n\n";

using testsupport::conformanceDir;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}


// A path that names nothing, so no run can read or write it.
const std::string kMissingInput = "/nonexistent-wavra-dir/in.wvr";
const std::string kMissingOutput = "/nonexistent-wavra-dir/out.wvr";

ProcessResult extract(const std::vector<std::string>& args) {
    ProcessOptions options;
    options.argv0 = kProgram;
    const ProcessResult r = clitest::runProcess(clitest::builtProgram(kProgram), args, options);
    EXPECT_NE(r.status, 127) << "could not start " << clitest::builtProgram(kProgram);
    return r;
}

std::string usage() { return std::string("Usage: ") + kProgram + kUsageTail; }

void expectUsageError(const ProcessResult& r, const std::string& before = "") {
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, before + usage());
}

void expectFailure(const ProcessResult& r, const std::string& err) {
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, err);
}

}  // namespace

TEST(ExtractCommandLine, noArgumentsPrintsUsageWithTheProgramNameAsGiven) {
    expectUsageError(extract({}));
    ProcessOptions options;
    options.argv0 = "./some/where/extractor";
    const ProcessResult r = clitest::runProcess(clitest::builtProgram(kProgram), {}, options);
    EXPECT_EQ(r.err, "Usage: ./some/where/extractor" + kUsageTail);
    EXPECT_EQ(r.status, 1);
}

TEST(ExtractCommandLine, argumentWithoutDashIsAUsageError) {
    expectUsageError(extract({"in.wvr"}));
    expectUsageError(extract({"-i", kMissingInput, "-misinfo", "stray"}));
}

TEST(ExtractCommandLine, unknownOptionIsNamedBeforeTheUsage) {
    expectUsageError(extract({"-i", kMissingInput, "-zoom", "2"}), "Unrecognized option: -zoom\n");
    // Options are matched exactly and case-sensitively.
    expectUsageError(extract({"-I", kMissingInput}), "Unrecognized option: -I\n");
    expectUsageError(extract({"-icons"}), "Unrecognized option: -icons\n");
    expectUsageError(extract({"-"}), "Unrecognized option: -\n");
}

TEST(ExtractCommandLine, missingOptionsAreReportedInOrderWithoutUsageOrBanner) {
    const std::string i = kMissingInput, o = kMissingOutput;
    const struct {
        std::vector<std::string> args;
        const char* missing;
    } cases[] = {
        {{"-quiet"}, "-i"},
        {{"-misinfo"}, "-i"},
        {{"-o", o, "-w", "1", "-h", "1", "-s", "0", "-x", "0", "-y", "0"}, "-i"},
        {{"-i", i}, "-o"},
        {{"-i", i, "-icon"}, "-o"},
        {{"-i", i, "-o", o}, "-w"},
        {{"-i", i, "-o", o, "-h", "5", "-s", "0", "-x", "0", "-y", "0"}, "-w"},
        {{"-i", i, "-o", o, "-w", "5"}, "-h"},
        {{"-i", i, "-o", o, "-w", "5", "-h", "5"}, "-s"},
        {{"-i", i, "-o", o, "-w", "5", "-h", "5", "-s", "0"}, "-x"},
        {{"-i", i, "-o", o, "-w", "5", "-h", "5", "-s", "0", "-x", "0"}, "-y"},
        {{"-y", "0", "-x", "0", "-s", "0", "-h", "5", "-w", "5", "-o", o, "-i", i, "-n", "3"}, nullptr},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        const ProcessResult r = extract(c.args);
        if (c.missing) {
            expectFailure(r, std::string("Error: missing required option ") + c.missing + "\n");
        } else {
            EXPECT_EQ(r.status, 1);  // complete, but the input does not exist
            EXPECT_EQ(r.err.find("missing required option"), std::string::npos) << r.err;
        }
    }
}

TEST(ExtractCommandLine, misinfoNeedsOnlyTheInputAndIconNeedsNoRegion) {
    for (const auto& args :
         {std::vector<std::string>{"-misinfo", "-i", kMissingInput, "-quiet"},
          std::vector<std::string>{"-icon", "-i", kMissingInput, "-o", kMissingOutput, "-quiet"}}) {
        const ProcessResult r = extract(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.find("missing required option"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Usage:"), std::string::npos) << r.err;
    }
}

TEST(ExtractCommandLine, watermarkPositionOutsideOneToNineIsAUsageError) {
    const std::vector<std::string> base = {"-i", kMissingInput, "-o", kMissingOutput, "-icon"};
    for (const char* position : {"0", "10", "-1", "nine", "99999999999", "4294967305"}) {
        SCOPED_TRACE(position);
        std::vector<std::string> args = base;
        args.insert(args.end(), {"-wp", position});
        expectUsageError(extract(args));
    }
    // Checked during the walk, before an unknown option further on.
    expectUsageError(extract({"-wp", "0", "-bogus"}));
}

TEST(ExtractCommandLine, trailingWatermarkPositionIsIgnored) {
    expectFailure(extract({"-i", kMissingInput, "-wp"}), "Error: missing required option -o\n");
    expectFailure(extract({"-wp", "9", "-wp"}), "Error: missing required option -i\n");
}

TEST(ExtractCommandLine, otherValueOptionWithoutItsValueIsAUsageError) {
    for (const char* option : {"-i", "-o", "-x", "-y", "-s", "-w", "-h", "-n", "-wm"}) {
        SCOPED_TRACE(option);
        expectUsageError(extract({"-i", kMissingInput, "-o", kMissingOutput, option}));
    }
}

TEST(ExtractCommandLine, bannerIsFourLinesOf77ColumnsEndingInABlankLine) {
    const ProcessResult r = extract({"-misinfo", "-i", kMissingInput});
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.err.compare(0, kBanner.size(), kBanner), 0) << r.err;

    // The shape, independently of the wording.
    std::vector<std::string> lines;
    size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        const size_t nl = r.err.find('\n', start);
        ASSERT_NE(nl, std::string::npos);
        lines.push_back(r.err.substr(start, nl - start));
        start = nl + 1;
    }
    EXPECT_EQ(r.err[start], '\n');
    for (const auto& line : lines) EXPECT_EQ(line.size(), 77u) << line;
    EXPECT_EQ(lines[0], std::string(77, '*'));
    EXPECT_EQ(lines[3], std::string(77, '*'));
    EXPECT_EQ(lines[1].compare(0, 22, "* Wavra Extract 1.0.2 "), 0);
    EXPECT_EQ(lines[1].back(), '*');
    EXPECT_EQ(lines[2].substr(0, 2), "* ");
    EXPECT_EQ(lines[2].back(), '*');
}

TEST(ExtractCommandLine, quietSuppressesTheBannerButNotTheFailure) {
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{"-misinfo"}, std::vector<std::string>{"-icon", "-o", kMissingOutput}}) {
        std::vector<std::string> args = {"-i", kMissingInput};
        args.insert(args.end(), mode.begin(), mode.end());
        const ProcessResult loud = extract(args);
        args.push_back("-quiet");
        const ProcessResult quiet = extract(args);

        EXPECT_EQ(quiet.status, 1);
        EXPECT_EQ(quiet.out, "");
        ASSERT_FALSE(quiet.err.empty());
        // One message line, and the same message as without -quiet.
        EXPECT_EQ(quiet.err.find('\n'), quiet.err.size() - 1) << quiet.err;
        EXPECT_EQ(quiet.err.find('*'), std::string::npos) << quiet.err;
        EXPECT_EQ(loud.err, kBanner + quiet.err);
    }
}

TEST(ExtractCommandLine, misinfoListsTheFileOnStandardOutput) {
    const std::string image = conformanceDir() + "c01_grey.wvr";
    const ProcessResult r = extract({"-misinfo", "-i", image});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, readFile(conformanceDir() + "c01_grey.misinfo.txt"));
    EXPECT_EQ(r.out, "c01_grey.wvr\n200\n150\n1\n3\n1.0.1.\n");
    EXPECT_EQ(r.err, kBanner);
}

TEST(ExtractCommandLine, misinfoMatchesEveryConformanceListing) {
    const std::vector<std::string> names = testsupport::conformanceNames();
    ASSERT_EQ(names.size(), testsupport::kConformanceFileCount);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const ProcessResult r = extract({"-quiet", "-misinfo", "-i", conformanceDir() + name + ".wvr"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, readFile(conformanceDir() + name + ".misinfo.txt"));
        EXPECT_EQ(r.err, "");
    }
}

TEST(ExtractCommandLine, misinfoOnAMissingFileFailsWithItsName) {
    expectFailure(extract({"-quiet", "-misinfo", "-i", kMissingInput}),
                  "File: " + kMissingInput + " could not be opened.\n");
}
