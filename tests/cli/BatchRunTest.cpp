// wavra-extract -batch: the lines of tests/data/batch/list.txt, run two at a
// time from one open input, write what their single runs write, and the
// failing line reports its single run's message under its line number.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ExtractionFixtureTest.h"
#include "support/Conformance.h"

using namespace extracttest;

namespace {

std::string batchData(const std::string& name) { return testsupport::conformanceDir() + "../batch/" + name; }

// The bytes before the metadata block, which holds the creation date: its
// offset is the 32-bit big-endian number at 12 L + 29, L the level count at 11.
std::string codedPart(const std::string& path) {
    const std::string bytes = readFile(path);
    const auto u32 = [&](size_t at) {
        uint32_t v = 0;
        for (size_t k = 0; k < 4 && at + k < bytes.size(); ++k) v = v << 8 | uint8_t(bytes[at + k]);
        return v;
    };
    const size_t end = u32(12 * size_t(u32(11)) + 29);
    return end > 0 && end <= bytes.size() ? bytes.substr(0, end) : bytes;
}

struct ListLine {
    int number;
    std::vector<std::string> args;
};

// The extraction lines with their numbers; arguments split at blanks, a
// quoted argument kept whole.
std::vector<ListLine> listLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<ListLine> lines;
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        std::istringstream words(text);
        std::vector<std::string> args;
        for (std::string w; words >> std::quoted(w);) args.push_back(w);
        if (!args.empty() && args[0][0] != '#') lines.push_back({number, args});
    }
    return lines;
}

std::string outputOf(const std::vector<std::string>& args) {
    const auto o = std::find(args.begin(), args.end(), "-o");
    return o + 1 < args.end() ? *(o + 1) : "";
}

}  // namespace

TEST(BatchRun, everyLineWritesWhatItsSingleRunWritesAndTheFailureNamesItsLine) {
    Scratch s;
    s.makeImage("pic", texturedPicture(320, 240, 3), 3);
    writeFile(s.path("list.txt"), readFile(batchData("list.txt")));
    writeFile(s.path("mark.jpg"), readFile(batchData("mark.jpg")));
    s.makeFolder("out");
    const std::vector<ListLine> lines = listLines(s.path("list.txt"));
    ASSERT_EQ(lines.size(), 20u);

    const clitest::ProcessResult batch = s.extract({"-batch", "list.txt", "-i", "pic.wvr", "-threads", "2"});
    EXPECT_EQ(batch.status, 1);
    const std::string failure =
        "Error: incompatible scale parameter input for image synthesis.\n scale is less than 0 or greater than nlev\n";
    // After the banner, the failing line's message, each line under its number.
    const std::string failureLines = "line 16: Error: incompatible scale parameter input for image synthesis.\n"
                                     "line 16:  scale is less than 0 or greater than nlev\n";
    ASSERT_GE(batch.err.size(), failureLines.size());
    EXPECT_EQ(batch.err.substr(batch.err.size() - failureLines.size()), failureLines);
    EXPECT_EQ(batch.err.find("line "), batch.err.size() - failureLines.size());

    // One progress line per written line, in any order, counting up; then the summary.
    std::istringstream progress(batch.out);
    std::set<std::string> reported;
    std::set<int> counts;
    std::string text;
    while (std::getline(progress, text)) {
        const size_t of = text.rfind(" written (");
        if (of == std::string::npos) continue;
        reported.insert(text.substr(0, of));
        counts.insert(std::stoi(text.substr(of + 10)));
    }
    EXPECT_EQ(counts.size(), 19u);
    EXPECT_EQ(batch.out.substr(batch.out.rfind("20 lines")), "20 lines: 19 written, 1 failed\n");

    for (const ListLine& line : lines) {
        SCOPED_TRACE(line.number);
        const std::string output = outputOf(line.args);
        std::vector<std::string> args = line.args;
        std::replace(args.begin(), args.end(), output, std::string("single.wvr"));
        args.insert(args.begin(), {"-quiet", "-i", "pic.wvr"});
        const clitest::ProcessResult single = s.extract(args);
        if (line.number == 16) {
            EXPECT_EQ(single.status, 1);
            EXPECT_EQ(single.err, failure + "\n");
            EXPECT_FALSE(exists(s.path(output)));
            continue;
        }
        ASSERT_EQ(single.status, 0) << single.err;
        EXPECT_EQ(reported.count("line " + std::to_string(line.number) + ": " + output), 1u);
        EXPECT_EQ(codedPart(s.path(output)), codedPart(s.path("single.wvr")));
    }
    // Nothing staged or temporary is left.
    EXPECT_TRUE(s.entries("tmp").empty());
    EXPECT_EQ(s.entries("out").size(), 19u);
}
