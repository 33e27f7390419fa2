#pragma once
// The Wavra library: open a Wavra image, learn its facts, decode any window
// at any scale, and encode new files. This header (with error.h and
// diagnostics.h, which it includes) is all that programs and hosts include.
//
// Errors: every failure throws wavra::Error (what() is the message text).
// Diagnostics: the library never prints; see diagnostics.h.
// Threads: one Reader may decode in several threads at once (its header
// and block tables are shared; the reads of its byte source are serialised,
// so a host's source need not be thread-safe); distinct Readers (even of
// the same file) may be used concurrently too.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "wavra/byte_source.h"
#include "wavra/diagnostics.h"
#include "wavra/error.h"

namespace wavra {

// A byte source over a block of memory that the caller keeps alive.
std::shared_ptr<ByteSource> memorySource(const void* data, size_t size);

// ---------------------------------------------------------------- facts

// The colour spaces of Wavra images: 1, 3 and 4 bands.
enum class ColorSpace { Grey, RGB, CMYK };

// The six numbers of a world file, in its order, and whether the file has
// them. The origin is the centre of the upper-left pixel.
struct GeoReference {
    bool present = false;
    double xPixelSize = 1.0;   // A
    double yRotation = 0.0;    // D
    double xRotation = 0.0;    // B
    double yPixelSize = -1.0;  // E (negative: rows go south)
    double upperLeftX = 0.0;   // C
    double upperLeftY = 0.0;   // F
};

// One metadata tag as text: its name (e.g. "IMAGE::NO_DITHER") and its value
// (numbers separated by single spaces, or the string itself).
struct Tag {
    std::string name;
    std::string value;
};

// What a Wavra file says about itself.
struct ImageInfo {
    int32_t width = 0;
    int32_t height = 0;
    int bands = 0;  // bands coded in the file (1 grey, 3 RGB, 4 CMYK); read() delivers bandsFor(layout)
    ColorSpace colorSpace = ColorSpace::Grey;  // Grey, CMYK, or RGB for every other scheme
    int levels = 0;                            // scales 0 .. levels can be decoded
    std::array<uint8_t, 3> version{};          // major, minor, revision
    // The file's georeferencing (the world file NAME.wvw beside a file opened
    // by path wins over the metadata); without it, pixel units with y upward.
    GeoReference geo;
    // The no-data bytes as stored (the encoder stores three whatever the
    // band count); empty when absent.
    std::vector<uint8_t> noData;
    // Every metadata tag in file order, the IMAGE:: tags included.
    std::vector<Tag> tags;
};

// Size of an image of width x height at `scale` (each scale halves,
// rounding up), exactly as the decoder produces it.
std::pair<int32_t, int32_t> sizeAtScale(int32_t width, int32_t height, int scale);

// ---------------------------------------------------------------- callbacks

// Receives the fraction done (0 .. 1, never decreasing; asked again with the
// same fraction between reports, and 1 at the end); returning false cancels
// the running operation, which then throws wavra::Error "Program interrupt
// encountered" after removing every file it began.
using Progress = std::function<bool(double fraction)>;

// Throws the error of a cancelled operation ("Program interrupt
// encountered"); a PixelSource or RowSink may call it to cancel.
[[noreturn]] void throwInterrupt();
// Throws the library's error for a file that could not be written:
// "Error writing file PATH. Perhaps you are out of disk space."
[[noreturn]] void throwWriteError(const std::string& path);

// Runs `start` first on every worker thread that the library starts for
// decoding or encoding (null, the default: nothing). Set it before the
// first decode or encode; the command-line programs prepare each thread's
// share of the heap with it.
void setThreadStart(void (*start)());

// ---------------------------------------------------------------- decoding

// A rectangle in the pixel grid of one scale (at scale 0, full resolution).
struct Window {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// How decoded samples are delivered.
enum class SampleLayout {
    // The file's own bands: grey, RGB, or C, M, Y, K.
    Native,
    // As the command-line programs write them: grey for grey files, RGB for
    // every other (CMYK converted).
    GreyOrRGB,
};

// A region as the command-line programs name it: the width x height
// rectangle centred on (centreX, centreY), given in full-resolution pixels,
// at `scale` (negative counts as 0; beyond the file's levels is refused);
// with `wholeImage` the whole image at `scale`; with `icon` the whole image
// at its coarsest scale. Parts outside the image are 0.
struct Region {
    bool icon = false;
    int32_t scale = 0;
    int32_t centreX = 0;
    int32_t centreY = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool wholeImage = false;
};

// A JPEG picture (grey or RGB) to stamp over decoded pixels.
class Watermark {
public:
    // Loads the picture; a damaged or unreadable JPEG throws.
    explicit Watermark(const std::string& jpegPath);
    ~Watermark();
    Watermark(Watermark&&) noexcept;
    Watermark& operator=(Watermark&&) noexcept;

    // The decoded picture (its definition stays inside the library).
    struct Body;
    const Body& body() const { return *body_; }

private:
    std::unique_ptr<Body> body_;
};

// Where a watermark goes: 1 centre, 2 middle left, 3 middle right, 4 top
// left, 5 top centre, 6 top right, 7 bottom left, 8 bottom centre, 9 bottom
// right.
constexpr int kBottomRight = 9;

// Receives `count` consecutive rows of `rowBytes` bytes each, top to bottom.
using RowSink = std::function<void(const uint8_t* rows, int count, size_t rowBytes)>;

// An open Wavra file: its facts and decodes of any part of it.
class Reader {
public:
    // Opens a file by name; a world file beside it (NAME.wvw) is read too.
    static Reader open(const std::string& path);
    // Opens a file served by `source`, which the Reader keeps and reads
    // through for every later decode; `name` is used in messages only, and no
    // world file is looked for.
    static Reader open(std::shared_ptr<ByteSource> source, const std::string& name = "");

    // Movable, not copyable; closing is the destructor's.
    Reader(Reader&&) noexcept;
    Reader& operator=(Reader&&) noexcept;
    ~Reader();

    // The file's facts, read when it was opened.
    const ImageInfo& info() const;

    // Decodes `window` of `scale` into `buffer`: window.height rows of
    // window.width pixels, each pixel `bands` samples interleaved (1, 3 or 4
    // after `layout`, see bandsFor), rows `rowStride` bytes apart. Parts of
    // the window outside the image are 0. Equals the same rectangle cut from
    // the whole image decoded at that scale. A scale outside 0 .. levels, a
    // negative size, a row stride below width x bands or a window reaching
    // past 32-bit coordinates throws; an empty window decodes nothing.
    void read(int scale, const Window& window, uint8_t* buffer, size_t rowStride,
              SampleLayout layout = SampleLayout::Native, const Progress& progress = nullptr) const;
    // Samples per pixel that read() delivers for `layout`.
    int bandsFor(SampleLayout layout) const;

    // Threads the decodes of this Reader may use: 0 (the default) the
    // number of online cores, fewer for a region of less than two million
    // pixels a core; 1 the calling thread only. Decoded samples are
    // the same for every count.
    void setThreads(int threads);
    int threads() const;

    // The region's rectangle at its scale (an icon's scale is the file's
    // levels) and its georeferencing (moved to the region and scaled);
    // throws for a region the file cannot deliver, with the messages of the
    // command-line programs.
    Window regionWindow(const Region& region) const;
    GeoReference regionGeoReference(const Region& region) const;

    // Decodes a region as GreyOrRGB, strip by strip, into `sink` (rows of
    // regionWindow(region).width pixels). When the decode uses more than one
    // thread, the sink is called on a thread of its own while the next strip
    // is decoded; its calls keep their order and never overlap.
    void readRegion(const Region& region, const RowSink& sink, const Progress& progress = nullptr) const;
    // Decodes a region as GreyOrRGB into a raw BIP file at `rawPath` with its
    // ten-line text header (same name, extension "hdr", carrying the
    // region's georeferencing), stamping `watermark` at `position` when
    // given. A failure removes both files.
    void readRegionToRawFile(const Region& region, const std::string& rawPath, const Watermark* watermark,
                             int position, const Progress& progress = nullptr) const;

    // The open file (its definition stays inside the library).
    struct Body;

private:
    explicit Reader(std::unique_ptr<Body> body);
    std::unique_ptr<Body> body_;
};

// The six-line listing (file name, width, height, bands, levels, version)
// that `wavra-extract -misinfo` prints, written to `out` line by line as it
// is known; throws when the file cannot be opened as a Wavra file.
void printListing(const std::string& path, std::FILE* out);

// ---------------------------------------------------------------- encoding

// The encoder's settings; the defaults are those of the command-line programs.
struct EncodeParameters {
    int levels = 4;         // wavelet levels, 1 .. 9
    float rate = 0.6f;      // bits per sample asked for
    int blockSize = 512;    // largest processing block edge
    bool dither = true;     // subtractive dither when quantising
    float weight = 4.0f;    // bit-allocation weight of band 0 (Y) of a colour image
    float gamma = 2.0f;     // bit-allocation weight factor per decomposition depth
    float kWeight = 0.25f;  // bit-allocation weight of band 3 (K) of a CMYK image
    // Best quality for the file size: one distortion level over the whole
    // image, no dither, the size searched by trial encodings (slower).
    bool bestQuality = false;
    // Whether a georeferenced image also gets NAME.wvw beside the output.
    bool writeWorldFile = true;
    // Folder for the encoder's temporary files; empty: the TMP rule.
    std::string temporaryFolder;
    // Threads the encoder may use, the calling thread included: 0 the
    // number of online cores, 1 the calling thread only, at most 256 (more,
    // or a negative count, throws). The file is the same for every count;
    // the sources and the progress are called on the calling thread only.
    // Each thread holds a processing block or so more in memory.
    int threads = 0;
};

// The pixels of an image to encode, served row by row on request.
class PixelSource {
public:
    virtual ~PixelSource() = default;
    // Size in pixels, each at least 1.
    virtual int32_t width() const = 0;
    virtual int32_t height() const = 0;
    // Grey (1 band), RGB (3) or CMYK (4).
    virtual ColorSpace colorSpace() const = 0;
    // Fills `count` rows from `firstRow` on, each width() pixels of interleaved
    // 8-bit samples, rows `rowStride` bytes apart. Rows are asked for once,
    // top to bottom.
    virtual void readRows(int32_t firstRow, int32_t count, uint8_t* buffer, size_t rowStride) = 0;
    // Random access, for sources that have it cheaply (a GIS dataset, memory):
    // fills the width x height window at (x, y), always inside the image,
    // with interleaved samples, rows `rowStride` bytes apart, and returns
    // true. Windows come in the encoder's block order and overlap a little.
    // The default returns false; the source is then read through readRows.
    virtual bool readWindow(int32_t x, int32_t y, int32_t width, int32_t height, uint8_t* buffer,
                            size_t rowStride) {
        (void)x, (void)y, (void)width, (void)height, (void)buffer, (void)rowStride;
        return false;
    }
};

// Encodes `source` into a Wavra file at `outputPath`, carrying `geo` (when
// present, rotation included) and `tags` into its metadata. Tags are stored
// as text; tags named like one the encoder writes itself (IMAGE::WIDTH,
// IMAGE::XY_ORIGIN, IMAGE::COMPRESSION_NLEV, IMAGE::NO_DATA_VALUE, ... every
// IMAGE:: name of the format) are not carried, nor names longer than 98
// bytes or with a zero byte (refused). A cancelled or failed encode leaves no
// output and no temporary file (an output that is not a regular file is left).
// A source with readWindow is read block by block as the encoder goes;
// another is read once, top to bottom, into a temporary file as large as its
// samples (copying takes the first tenth of the progress).
// Exceptions of the source pass through unchanged.
void encode(PixelSource& source, const EncodeParameters& parameters, const GeoReference& geo,
            const std::vector<Tag>& tags, const std::string& outputPath, const Progress& progress = nullptr);

// Encodes an 8-bit BIL, BIP or BSQ raw image with its ".hdr" header (the
// encoder's raw input) into `outputPath`, as encode() does.
void encodeRawFile(const std::string& rawPath, const EncodeParameters& parameters,
                   const std::string& outputPath, const Progress& progress = nullptr);

// ---------------------------------------------------------------- files

// A name FOLDER/tmpN reserved for the caller: the bare file is created
// exclusively (and FOLDER/tmpN.bip, .hdr are free), so concurrent processes
// never share it; the bare file goes with the object, derived files stay
// the owner's business.
class TemporaryName {
public:
    // Nothing reserved (path() is "").
    TemporaryName();
    // Reserves in `folder`, which must exist, or with an empty folder in the
    // temporary folder: TMP (quotes removed) if it names a folder, else ".",
    // else "/". Throws Error when no name can be had.
    explicit TemporaryName(const std::string& folder);
    ~TemporaryName();
    TemporaryName(TemporaryName&&) noexcept;
    TemporaryName& operator=(TemporaryName&&) noexcept;

    // The reserved name, and whether there is one.
    const std::string& path() const { return path_; }
    bool isReserved() const { return !path_.empty(); }

    // The reservation (its definition stays inside the library).
    struct Body;

private:
    std::unique_ptr<Body> body_;
    std::string path_;
};

}  // namespace wavra
