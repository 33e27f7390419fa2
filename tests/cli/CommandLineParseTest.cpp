// The option walk in process: values, defaults, integers and requirements.

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "wavra/error.h"
#include "tool/CommandLine.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Parses the given arguments (after a program name) and keeps what the
// parser wrote to its error stream.
struct Parsed {
    ParseResult result = ParseResult::UsageError;
    CommandLineValues values;
    std::string err;
    std::string thrown;  // message of a requirement failure
};

Parsed parse(const std::vector<std::string>& args) {
    std::vector<const char*> argv = {"prog"};
    for (const auto& a : args) argv.push_back(a.c_str());
    std::unique_ptr<std::FILE, FileCloser> err(std::tmpfile());
    Parsed p;
    try {
        p.result = parseCommandLine(int(argv.size()), argv.data(), p.values, err.get());
    } catch (const wavra::Error& e) {
        p.thrown = e.what();
    }
    std::fflush(err.get());
    std::rewind(err.get());
    char buf[1024];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, err.get())) > 0) p.err.append(buf, n);
    return p;
}

}  // namespace

TEST(ParseInteger, readsLikeAtoi) {
    EXPECT_EQ(parseInteger("42"), 42);
    EXPECT_EQ(parseInteger("  \t\n-13"), -13);
    EXPECT_EQ(parseInteger("+7"), 7);
    EXPECT_EQ(parseInteger("12abc"), 12);
    EXPECT_EQ(parseInteger("3.9"), 3);
    EXPECT_EQ(parseInteger("abc"), 0);
    EXPECT_EQ(parseInteger(""), 0);
    EXPECT_EQ(parseInteger("-"), 0);
    EXPECT_EQ(parseInteger("- 5"), 0);
    EXPECT_EQ(parseInteger("0x10"), 0);
    EXPECT_EQ(parseInteger(nullptr), 0);
}

TEST(ParseInteger, saturatesOutsideThe32BitRangeInsteadOfWrapping) {
    EXPECT_EQ(parseInteger("2147483647"), INT32_MAX);
    EXPECT_EQ(parseInteger("2147483648"), INT32_MAX);
    EXPECT_EQ(parseInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseInteger("-2147483649"), INT32_MIN);
    // 2^32 + 9 would wrap to 9, a valid watermark position.
    EXPECT_EQ(parseInteger("4294967305"), INT32_MAX);
    EXPECT_EQ(parseInteger("99999999999999999999999999999"), INT32_MAX);
    EXPECT_EQ(parseInteger("-99999999999999999999999999999"), INT32_MIN);
}

TEST(CommandLine, everyOptionSetsItsValue) {
    const Parsed p =
        parse({"-i",  "in.wvr", "-o", "out.wvr", "-x", "500", "-y",       "-300", "-s", "2",     "-w",
               "100", "-h",     "50", "-n",      "6",  "-wm", "logo.jpg", "-wp",  "3",  "-quiet"});
    ASSERT_EQ(p.result, ParseResult::Ok) << p.err << p.thrown;
    const CommandLineValues& v = p.values;
    EXPECT_EQ(v.input, "in.wvr");
    EXPECT_EQ(v.output, "out.wvr");
    EXPECT_EQ(v.x0, 500);
    EXPECT_EQ(v.y0, -300);
    EXPECT_EQ(v.scale, 2);
    EXPECT_EQ(v.width, 100);
    EXPECT_EQ(v.height, 50);
    EXPECT_EQ(v.nlev, 6);
    EXPECT_EQ(v.watermarkFile, "logo.jpg");
    EXPECT_TRUE(v.watermark);
    EXPECT_EQ(v.watermarkPosition, 3);
    EXPECT_TRUE(v.quiet);
    EXPECT_FALSE(v.icon);
    EXPECT_FALSE(v.misinfo);
    EXPECT_EQ(p.err, "");
}

TEST(CommandLine, defaultsHoldWhenOptionsAreAbsent) {
    const Parsed p = parse({"-i", "in.wvr", "-o", "out.wvr", "-icon"});
    ASSERT_EQ(p.result, ParseResult::Ok);
    EXPECT_EQ(p.values.nlev, 4);
    EXPECT_EQ(p.values.watermarkPosition, 9);
    EXPECT_FALSE(p.values.watermark);
    EXPECT_TRUE(p.values.watermarkFile.empty());
    EXPECT_TRUE(p.values.icon);
    EXPECT_FALSE(p.values.quiet);
}

TEST(CommandLine, repeatedOptionsKeepTheLastValue) {
    const Parsed p = parse({"-i", "a", "-i", "b", "-misinfo", "-n", "2", "-n", "12", "-wp", "2", "-wp", "7"});
    ASSERT_EQ(p.result, ParseResult::Ok);
    EXPECT_EQ(p.values.input, "b");
    EXPECT_EQ(p.values.nlev, 12);  // not range-checked here
    EXPECT_EQ(p.values.watermarkPosition, 7);
}

TEST(CommandLine, trailingWatermarkPositionKeepsTheDefault) {
    Parsed p = parse({"-i", "a", "-misinfo", "-wp"});
    ASSERT_EQ(p.result, ParseResult::Ok);
    EXPECT_EQ(p.values.watermarkPosition, 9);
    p = parse({"-i", "a", "-misinfo", "-wp", "4", "-wp"});
    EXPECT_EQ(p.values.watermarkPosition, 4);
}

TEST(CommandLine, valuesStartingWithADashAreValuesNotOptions) {
    const Parsed p = parse({"-i", "-misinfo", "-x", "-5"});
    EXPECT_EQ(p.values.input, "-misinfo");
    EXPECT_FALSE(p.values.misinfo);
    EXPECT_EQ(p.thrown, "Error: missing required option -o");
}
