#pragma once
// An open Wavra image file: a counted handle on one shared body holding the
// header values, the block database, the metadata and the image properties
// derived from them (colour scheme, georeferencing, dither, no-data value,
// input lookup table). Copies share the body.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/FileSpecification.h"
#include "format/DBInfo.h"
#include "format/WavraMetadata.h"
#include "imaging/pixels/Clut.h"
#include "imaging/pixels/ImageBufferInfo.h"
#include "wavra/byte_source.h"

namespace Lumetra {

// A (colour space, band count) pair; colour space -1 is unknown.
struct ColorScheme {
    int colorSpace = -1;
    int bands = 0;
};

class WavraFile {
public:
    class WavraFileValue;

    // Opens and validates the file, builds the block database of index mode
    // 0..3 (the tool uses 0) and reads the metadata and the world file beside
    // it (NAME.wvw, else NAME.WVW). Every failure throws Exception; nothing
    // stays open.
    explicit WavraFile(const FileSpecification& file, int indexMode = 0);
    // The same over the bytes of `source`, which every later read of the file
    // (block database, coded blocks) goes through; `name` names the file in
    // messages only, and no world file is looked for.
    WavraFile(std::shared_ptr<wavra::ByteSource> source, const FileSpecification& name, int indexMode = 0);
    WavraFile(const WavraFile&) = default;
    WavraFile& operator=(const WavraFile&) = default;
    ~WavraFile() = default;

    // Number of handles sharing the body.
    long useCount() const { return body_.use_count(); }

    const FileSpecification& file() const;
    int32_t width() const;
    int32_t height() const;
    int bands() const;
    // Number of wavelet levels L.
    int levels() const;
    // Major, minor and revision of the format version.
    std::array<uint8_t, 3> version() const;

    // True when the georeferencing values came from the metadata or a world file.
    bool isGeoreferenced() const;
    double xResolution() const;
    // Always non-negative.
    double yResolution() const;
    // Map coordinates of the upper-left pixel (default 0, height - 1).
    double xOrigin() const;
    double yOrigin() const;
    double xRotation() const;
    double yRotation() const;

    // False when the metadata holds IMAGE::NO_DITHER.
    bool dither() const;
    // The no-data value, one byte per value of IMAGE::NO_DATA_VALUE; empty when absent.
    const std::vector<uint8_t>& noDataValue() const;
    // The input colour lookup table (empty without IMAGE::INPUT_LUT).
    const Clut& colorLookUpTable() const;
    // Describes one entry of the lookup table.
    const ImageBufferInfo& pixelDescription() const;
    // The colour scheme, checked when the file was opened.
    ColorScheme colorScheme() const;
    // IMAGE::BITS_PER_SAMPLE (unsigned integer types only, else "bad cast in
    // metadata"); 8 when absent or outside 1..16.
    int bitsPerSample() const;

    DBInfo& blockDatabase() const;
    // A database of its own over the same bytes, for a thread that decodes
    // beside others: its caches then serve it alone. Null when the bytes
    // must be read by one thread at a time.
    std::unique_ptr<DBInfo> openBlockDatabase() const;
    const WavraMetadata& metadata() const;

private:
    WavraFile(std::shared_ptr<wavra::ByteSource> source, const FileSpecification& name, int indexMode,
              bool worldFile);

    std::shared_ptr<WavraFileValue> body_;
};

// Derives the colour scheme from the metadata and the band count: without
// IMAGE::COLOR_SCHEME by the band count (-1 when it is not 1, 3 or 4); with a
// value of -1 Grayscale for 1 band, RGB for 3, else Exception "The Color
// Scheme is Unknown, ..."; another type than an unsigned integer throws
// "bad cast in metadata".
ColorScheme colorSchemeOf(const WavraMetadata& metadata, int bands);

}  // namespace Lumetra
