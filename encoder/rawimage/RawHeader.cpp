#include "encoder/rawimage/RawHeader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "core/Error.h"

namespace {

const char kHeaderTail[] = " in BIL/BIP/BSQ header.";

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// White-space-delimited tokens and line skipping over a text file.
class HeaderReader {
public:
    HeaderReader(FILE* file, const Lumetra::FileSpecification& name) : file_(file), name_(name) {}

    // The next token, or false at the end of the file.
    bool token(std::string& out) {
        out.clear();
        int c = std::fgetc(file_);
        while (c != EOF && isSpace(c)) c = std::fgetc(file_);
        if (c == EOF) return false;
        while (c != EOF && !isSpace(c)) {
            out.push_back(char(c));
            c = std::fgetc(file_);
        }
        if (c != EOF) std::ungetc(c, file_);
        return true;
    }

    // Drops everything up to and including the next newline.
    void skipLine() {
        int c = std::fgetc(file_);
        while (c != EOF && c != '\n') c = std::fgetc(file_);
    }

    // The value after a keyword as a 32-bit integer. A value that does not
    // start with a number is a read fault; one that does not fit 32 bits is
    // refused under the keyword's name.
    int32_t integer(const char* keyword) {
        std::string t;
        if (!token(t)) throw ReadError(name_);
        errno = 0;
        char* end = nullptr;
        const long long v = std::strtoll(t.c_str(), &end, 10);
        if (end == t.c_str()) throw ReadError(name_);
        if (errno == ERANGE || v < std::numeric_limits<int32_t>::min() ||
            v > std::numeric_limits<int32_t>::max())
            throw outOfRange(keyword);
        return int32_t(v);
    }

    double real() {
        std::string t;
        if (!token(t)) throw ReadError(name_);
        char* end = nullptr;
        const double v = std::strtod(t.c_str(), &end);
        if (end == t.c_str()) throw ReadError(name_);
        return v;
    }

    std::string word() {
        std::string t;
        if (!token(t)) throw ReadError(name_);
        return t;
    }

    static Error outOfRange(const char* keyword) {
        return Error(std::string("Error: value of ") + keyword + " out of range" + kHeaderTail);
    }

private:
    static bool isSpace(int c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }

    FILE* file_;
    const Lumetra::FileSpecification& name_;
};

// Keywords in the order they are tried; each has its lower- and upper-case
// spelling and, for some, a second pair.
enum Keyword {
    kWordLength,
    kDynamicRangeWindow,
    kDynamicRangeLevel,
    kBandGapBytes,
    kBandRowBytes,
    kNBands,
    kNBits,
    kNCols,
    kNRows,
    kTotalRowBytes,
    kSkipBytes,
    kULXMap,
    kULYMap,
    kXDim,
    kYDim,
    kLayout,
    kNoKeyword
};

struct KeywordNames {
    Keyword keyword;
    const char* upper;  // also the name used in messages
    const char* lower;
    const char* upper2;
    const char* lower2;
};

const KeywordNames kKeywords[] = {
    {kWordLength, "WORDLENGTH", "wordlength", nullptr, nullptr},
    {kDynamicRangeWindow, "DYNAMICRANGEWINDOW", "dynamicrangewindow", nullptr, nullptr},
    {kDynamicRangeLevel, "DYNAMICRANGELEVEL", "dynamicrangelevel", nullptr, nullptr},
    {kBandGapBytes, "BANDGAPBYTES", "bandgapbytes", nullptr, nullptr},
    {kBandRowBytes, "BANDROWBYTES", "bandrowbytes", nullptr, nullptr},
    {kNBands, "NBANDS", "nbands", "BANDS", "bands"},
    {kNBits, "NBITS", "nbits", nullptr, nullptr},
    {kNCols, "NCOLS", "ncols", "COLS", "cols"},
    {kNRows, "NROWS", "nrows", "ROWS", "rows"},
    {kTotalRowBytes, "TOTALROWBYTES", "totalrowbytes", nullptr, nullptr},
    {kSkipBytes, "SKIPBYTES", "skipbytes", nullptr, nullptr},
    {kULXMap, "ULXMAP", "ulxmap", "UL_X_COORDINATE", "ul_x_coordinate"},
    {kULYMap, "ULYMAP", "ulymap", "UL_Y_COORDINATE", "ul_y_coordinate"},
    {kXDim, "XDIM", "xdim", "PIXEL_WIDTH", "pixel_width"},
    {kYDim, "YDIM", "ydim", "PIXEL_HEIGHT", "pixel_height"},
    {kLayout, "LAYOUT", "layout", "INTERLEAVING", "interleaving"},
};

const KeywordNames* lookUp(const std::string& token) {
    for (const KeywordNames& k : kKeywords) {
        if (token == k.upper || token == k.lower) return &k;
        if (k.upper2 && (token == k.upper2 || token == k.lower2)) return &k;
    }
    return nullptr;
}

int32_t layoutOf(const std::string& w) {
    if (w == "BIL" || w == "bil") return kLayoutBIL;
    if (w == "BIP" || w == "bip") return kLayoutBIP;
    if (w == "BSQ" || w == "bsq") return kLayoutBSQ;
    throw Error("Unknown layout specification found.");
}

}  // namespace

RawHeader readRawHeader(const Lumetra::FileSpecification& headerFile) {
    std::unique_ptr<FILE, FileCloser> file(headerFile.open("r"));
    if (!file) throw OpenError(headerFile, "read");
    HeaderReader in(file.get(), headerFile);

    RawHeader h;
    bool haveTotalRowBytes = false, haveBandRowBytes = false;
    std::string token;
    while (in.token(token)) {
        const size_t colon = token.find(':');
        if (colon != std::string::npos) token.resize(colon);
        const KeywordNames* k = lookUp(token);
        switch (k ? k->keyword : kNoKeyword) {
            case kWordLength: {
                const int32_t w = in.integer(k->upper);
                if (w == 2)
                    throw Error("Error: This version of the Wavra Encoder does not support 16 bit imagery.");
                if (w != 1)
                    throw Error(
                        "Error: this program only processes BBB images with a word length of 1 or 2.");
                h.dataType = 0;
                break;
            }
            case kDynamicRangeWindow:
                h.dynamicRangeWindow = in.integer(k->upper);
                break;
            case kDynamicRangeLevel:
                h.dynamicRangeLevel = in.integer(k->upper);
                break;
            case kBandGapBytes:
                h.bandgapbytes = in.integer(k->upper);
                break;
            case kBandRowBytes:
                h.bandrowbytes = in.integer(k->upper);
                haveBandRowBytes = true;
                break;
            case kNBands:
                h.nbands = in.integer(k->upper);
                if (h.nbands != 1 && h.nbands != 3)
                    throw Error("Error: this program can of process 1- or 3-band LAN files.");
                break;
            case kNBits:
                h.nbits = in.integer(k->upper);
                break;
            case kNCols:
                h.ncols = in.integer(k->upper);
                break;
            case kNRows:
                h.nrows = in.integer(k->upper);
                break;
            case kTotalRowBytes:
                h.totalrowbytes = in.integer(k->upper);
                haveTotalRowBytes = true;
                break;
            case kSkipBytes:
                h.skipbytes = in.integer(k->upper);
                break;
            case kULXMap:
                h.ulxmap = in.real();
                break;
            case kULYMap:
                h.ulymap = in.real();
                break;
            case kXDim:
                h.xdim = in.real();
                break;
            case kYDim:
                h.ydim = in.real();
                break;
            case kLayout:
                h.layout = layoutOf(in.word());
                break;
            case kNoKeyword:
                break;
        }
        in.skipLine();
    }

    if (h.nbands == -1)
        throw Error(std::string("Error: missing required specification NBANDS") + kHeaderTail);
    if (h.ncols == -1) throw Error(std::string("Error: missing required specification NCOLS") + kHeaderTail);
    if (h.nrows == -1) throw Error(std::string("Error: missing required specification NROWS") + kHeaderTail);

    // Counts that no raw file could hold are refused before anyone sizes a
    // buffer or an offset by them.
    if (h.ncols < 1) throw HeaderReader::outOfRange("NCOLS");
    if (h.nrows < 1) throw HeaderReader::outOfRange("NROWS");
    if (h.skipbytes < 0) throw HeaderReader::outOfRange("SKIPBYTES");
    const int64_t rowSamples = int64_t(h.ncols) * h.nbands;
    if (rowSamples > std::numeric_limits<int32_t>::max())
        throw Error(std::string("Error: image too large") + kHeaderTail);
    int64_t size = 0;
    if (__builtin_mul_overflow(rowSamples, int64_t(h.nrows), &size) ||
        __builtin_mul_overflow(size, int64_t(2), &size))
        throw Error(std::string("Error: image too large") + kHeaderTail);

    if (!haveBandRowBytes) h.bandrowbytes = h.ncols;
    if (!haveTotalRowBytes) h.totalrowbytes = int32_t(rowSamples);
    return h;
}

int64_t expectedRawFileSize(const RawHeader& h) {
    const int64_t sampleBytes = h.dataType == 2 ? 2 : 1;
    return int64_t(h.skipbytes) + sampleBytes * int64_t(h.nrows) * int64_t(h.nbands) * int64_t(h.ncols);
}
