#pragma once
// The tool's command line: the values one run works on, the option walk with
// its requirement check, the usage text and the banner.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The values of one run; the defaults apply when an option is absent.
struct CommandLineValues {
    std::string input;              // -i: Wavra file to read
    std::string output;             // -o: Wavra file to write
    int32_t x0 = 0;                 // -x: centre column, full-resolution pixels
    int32_t y0 = 0;                 // -y: centre row, full-resolution pixels
    int32_t scale = 0;              // -s: 0 full resolution, each step halves
    int32_t width = 0;              // -w: region width in output pixels
    int32_t height = 0;             // -h: region height in output pixels
    int32_t nlev = 4;               // -n: wavelet levels of the output file
    bool icon = false;              // -icon: whole image at its coarsest level
    bool misinfo = false;           // -misinfo: print file information only
    bool quiet = false;             // -quiet: no banner
    std::string watermarkFile;      // -wm: JPEG stamped into the region
    bool watermark = false;         // set by -wm
    int32_t watermarkPosition = 9;  // -wp: 1..9

    std::string batchList;    // -batch: file of extraction lines
    bool batch = false;       // set by -batch
    int threads = 1;          // -threads: lines run at once with -batch; decoding threads without
    bool hasThreads = false;  // -threads given; without it a single extraction decodes with every core

    // Which of -i, -o, -w, -h, -s, -x, -y were given.
    bool hasInput = false, hasOutput = false, hasWidth = false, hasHeight = false;
    bool hasScale = false, hasX = false, hasY = false;
    // The first option of an extraction line (-o, -x, -y, -s, -w, -h, -n,
    // -icon, -wm, -wp) given, "" when none.
    std::string firstLineOption;
};

enum class ParseResult { Ok, UsageError };

// Most lines a batch may run at once.
constexpr int kMaxThreads = 64;

// Reads an integer the way atoi does (leading white space, optional sign,
// decimal digits; nothing readable gives 0), saturating at the 32-bit limits.
int32_t parseInteger(const char* text);

// Walks argv[1..] into `values`. A usage error (no options, an argument
// without "-", an unknown option, -wp outside 1..9, a value option other
// than -wp without its value) writes the usage text to `err`, after
// "Unrecognized option: <arg>\n" for an unknown option, and returns
// UsageError. After the walk the requirements are checked (see below).
ParseResult parseCommandLine(int argc, const char* const* argv, CommandLineValues& values, std::FILE* err);

// Throws wavra::Error "Error: missing required option -X" for the first
// missing option: -i; then (unless -misinfo) -o; then (unless -icon) -w, -h,
// -s, -x, -y. With -batch only -i is required, and -misinfo or an option of
// the extraction lines is refused.
void checkRequirements(const CommandLineValues& values);

// Walks the arguments of one batch line (no program name) into `values`,
// which the caller prepared with the batch's input. Returns the one-line
// message of a line that cannot run ("" when it can): an unknown option,
// an argument without "-", a value option without its value, -wp outside
// 1..9, an option that belongs on the command line (-i, -misinfo, -batch,
// -threads), or a missing required option.
std::string parseBatchLine(const std::vector<std::string>& args, CommandLineValues& values);

// The usage text for the given program name, without a trailing newline.
std::string usageText(const char* programName);

// The usage text of a batch run, without a trailing newline.
std::string batchUsageText(const char* programName);

// The four-line banner, 77 columns wide, ending in two newlines.
std::string bannerText();
