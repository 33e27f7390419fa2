#pragma once
// The tool's command line: the values one run works on, the option walk with
// its requirement check, the usage text and the banner.

#include <cstdint>
#include <cstdio>
#include <string>

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
    int32_t threads = 0;            // -threads: 1..256 decoding threads, 0 the online cores

    // Which of -i, -o, -w, -h, -s, -x, -y were given.
    bool hasInput = false, hasOutput = false, hasWidth = false, hasHeight = false;
    bool hasScale = false, hasX = false, hasY = false;
};

enum class ParseResult { Ok, UsageError };

// Reads an integer the way atoi does (leading white space, optional sign,
// decimal digits; nothing readable gives 0), saturating at the 32-bit limits.
int32_t parseInteger(const char* text);

// Walks argv[1..] into `values`. A usage error (no options, an argument
// without "-", an unknown option, -wp outside 1..9, a value option other
// than -wp without its value, -threads outside 1..256) writes the usage text to `err`, after
// "Unrecognized option: <arg>\n" for an unknown option, and returns
// UsageError. After the walk the requirements are checked (see below).
ParseResult parseCommandLine(int argc, const char* const* argv, CommandLineValues& values, std::FILE* err);

// Throws wavra::Error "Error: missing required option -X" for the first
// missing option: -i; then (unless -misinfo) -o; then (unless -icon) -w, -h,
// -s, -x, -y.
void checkRequirements(const CommandLineValues& values);

// The usage text for the given program name, without a trailing newline.
std::string usageText(const char* programName);

// The four-line banner, 77 columns wide, ending in two newlines.
std::string bannerText();
