#pragma once
// wavra-decode: one region of a Wavra image, at one scale, written as a raw
// BIP file with its header, a PNG (with a .pgw world file when the image is
// georeferenced) or a binary PNM, chosen by the output's extension.

#include <cstdint>
#include <cstdio>
#include <string>

struct DecodeOptions {
    std::string input;              // -i
    std::string output;             // -o
    int32_t scale = 0;              // -s: 0 full resolution, each step halves
    int32_t x0 = 0, y0 = 0;         // -x, -y: centre in full-resolution pixels
    int32_t width = 0, height = 0;  // -w, -h: size at the scale
    bool region = false;            // -x, -y, -w and -h all given
    bool icon = false;              // -icon: whole image at its coarsest scale
    bool quiet = false;             // -quiet: no progress line
    int32_t threads = 0;            // -threads: 1 .. 256, 0 the online cores
};

// What the output's extension asks for (case does not matter).
enum class DecodeFormat { Unknown, RawBip, Png, Ppm, Pgm };
DecodeFormat decodeFormatOf(const std::string& output);

// The usage text, ending in a newline.
std::string decodeUsageText();

// Reads the options; false on a usage error: an unknown option or a value
// option without its value, no -i or -o, only some of -x -y -w -h, or -icon
// together with a region. Integers are read as the extraction tool reads
// them (saturating at 32 bits).
bool parseDecodeCommandLine(int argc, const char* const* argv, DecodeOptions& options);

// Decodes and writes the output, printing progress on `progress` unless
// quiet. The output and its companion (.hdr, .pgw) are written beside their
// names and moved there once complete; SIGINT and SIGTERM stop the run.
// Throws wavra::Error ("Interrupted." when stopped); the files it began are
// removed then and an earlier output stays as it was.
void runDecode(const DecodeOptions& options, std::FILE* progress);
