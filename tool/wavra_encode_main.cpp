// wavra-encode: makes a Wavra image file from a raw BIL/BIP/BSQ image.
//
//   wavra-encode -i INPUT -o OUTPUT [-n nlev] [-rate bits] [-b blocksize]
//                [-nodither] [-best] [-threads N] [-quiet]

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "tool/InterruptSignals.h"
#include "tool/MemoryReuse.h"
#include "tool/ProgressPrinter.h"
#include "tool/StagedOutput.h"
#include "wavra/wavra.h"

namespace {

const char* const kUsage =
    "Usage: wavra-encode -i INPUT -o OUTPUT [-n nlev] [-rate bits] [-b blocksize] [-nodither] [-best] "
    "[-threads N] [-quiet]\n"
    "  -i INPUT      raw 8-bit BIL, BIP or BSQ image with its .hdr header beside it\n"
    "  -o OUTPUT     Wavra image file to write\n"
    "  -n nlev       wavelet levels, 1 to 9 (default 4)\n"
    "  -rate bits    target bits per sample, above 0 and at most 32 (default 0.6)\n"
    "                (a Wavra file holds at most 4 GiB: a larger output fails, and a lower rate helps)\n"
    "  -b blocksize  largest processing block edge, 16 to 65536 (default 512)\n"
    "  -nodither     quantise without subtractive dither\n"
    "  -best         best quality for the file size: one distortion level over the whole image,\n"
    "                no dither, the file size searched to within 3% of -rate (slower)\n"
    "  -threads N    encoding threads, 1 to 256 (default: the online cores); the output is the same for "
    "every N\n"
    "  -quiet        no progress output\n";

struct Options {
    std::string input, output;
    int nlev = 4;
    float rate = 0.6f;
    int blockSize = 512;
    bool dither = true;
    bool best = false;
    int threads = 0;  // the online cores
    bool quiet = false;
};

bool parse_int(const char* text, long low, long high, int& value) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    value = int(v);
    return true;
}

bool parse_rate(const char* text, float& value) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v <= 0.0 || v > 32.0) return false;
    value = float(v);
    return true;
}

// Returns false on a usage error.
bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "-i" && next) {
            o.input = argv[++i];
        } else if (a == "-o" && next) {
            o.output = argv[++i];
        } else if (a == "-n" && next) {
            // Out-of-range level counts reach the encoder, which names the limit.
            if (!parse_int(argv[++i], -1000, 1000, o.nlev)) return false;
        } else if (a == "-rate" && next) {
            if (!parse_rate(argv[++i], o.rate)) return false;
        } else if (a == "-b" && next) {
            if (!parse_int(argv[++i], 16, 65536, o.blockSize)) return false;
        } else if (a == "-nodither") {
            o.dither = false;
        } else if (a == "-threads" && next) {
            if (!parse_int(argv[++i], 1, 256, o.threads)) return false;
        } else if (a == "-best") {
            o.best = true;
        } else if (a == "-quiet") {
            o.quiet = true;
        } else {
            return false;
        }
    }
    return !o.input.empty() && !o.output.empty();
}

// Encodes beside the output (with the world file of a georeferenced image)
// and moves the result over it once complete, so a failed or stopped run
// leaves an earlier output and world file as they were. SIGINT and SIGTERM
// stop the encoding at its next progress report.
int run(const Options& o, ProgressPrinter& progress) {
    wavra::EncodeParameters parameters;
    parameters.levels = o.nlev;
    parameters.rate = o.rate;
    parameters.blockSize = o.blockSize;
    parameters.dither = o.dither;
    parameters.bestQuality = o.best;
    parameters.threads = o.threads;
    InterruptWindow interrupts;
    interrupts.arm();
    StagedOutput output(o.output);
    output.companion("wvw");
    try {
        wavra::encodeRawFile(o.input, parameters, output.writeName(),
                             progressUntilInterrupted(o.quiet ? nullptr : &progress));
        throwIfInterrupted();
        output.commit();
    } catch (const wavra::Error& e) {
        throw wavra::Error(output.tellAsOutput(e.what()));
    }
    if (!o.quiet) progress.finish();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ignoreWriteFailureSignals();
    keepFreedMemoryForReuse();
    wavra::setDiagnosticHandler([](const std::string& text) { std::fputs(text.c_str(), stderr); });
    Options options;
    if (!parse(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    ProgressPrinter progress(stderr);
    try {
        return run(options, progress);
    } catch (const std::exception& e) {
        progress.abandon();
        printFailure(e.what());
    }
    return 1;
}
