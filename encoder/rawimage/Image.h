#pragma once
// The encoder's view of an input image: its size, bands, sample type,
// georeference and metadata, and extraction of rectangles of pixels.
//
// Rectangles are inclusive and given as int[2][2]: [0] = { x0, x1 },
// [1] = { y0, y1 }.

#include <memory>

#include "core/FileSpecification.h"
#include "format/TagStore.h"

class PixelData;

// Sample type codes of an image file.
enum ImageDataType { kImageUInt8 = 0, kImageFloat = 1, kImageUInt16 = 2 };

// Colour scheme codes (the same as IMAGE::COLOR_SCHEME).
enum ImageColorScheme { kSchemeUnknown = -1, kSchemeRGB = 0, kSchemeCMYK = 2, kSchemeGrayscale = 3 };

class Image {
public:
    virtual ~Image();

    // A new block of bands() planes of (x1-x0+1) x (y1-y0+1) samples of the
    // image's data type: no-data bytes (8-bit) or zeros where the rectangle
    // leaves the support, the image's samples inside it. The colour flag is
    // set unless the image has one band; the block has codedBands() planes.
    std::unique_ptr<PixelData> extract(const int section_support[2][2]) const;

    // --- size and sample layout
    virtual int bands() const = 0;       // samples per pixel as stored
    virtual int codedBands() const = 0;  // bands the encoder codes
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual int dataType() const = 0;     // ImageDataType
    virtual int colorScheme() const = 0;  // ImageColorScheme
    // The inclusive rectangle the file covers.
    virtual void support(int section_support[2][2]) const = 0;

    // --- operations of an image file
    // Prints a description to standard output.
    virtual void info() const = 0;
    // Extraction into a caller's buffer of bands() planes of the rectangle's
    // size; samples outside the support are left untouched.
    virtual void extract(const int section_support[2][2], unsigned short* pixels) const;
    virtual void extract(const int section_support[2][2], float* pixels) const;
    virtual void extract(const int section_support[2][2], unsigned char* pixels) const = 0;
    // Size of the file in bytes.
    virtual double fileSize() const = 0;
    // Georeference of the upper-left pixel and the pixel size.
    virtual double xcoord() const;
    virtual double ycoord() const;
    virtual double xscale() const;
    virtual double yscale() const;
    // The rotation terms (world-file lines 2 and 3); 0 unless an image has them.
    virtual double xrotation() const { return 0.0; }
    virtual double yrotation() const { return 0.0; }
    virtual bool hasGeoreference() const = 0;
    // Input colour lookup table (none here: length 0, data null).
    virtual int inputLutLength() const { return 0; }
    virtual const unsigned char* inputLut() const { return nullptr; }
    // Three bytes; the transparent value is null when none was given.
    virtual const unsigned char* noDataValue() const = 0;
    virtual const unsigned char* transparentValue() const = 0;

    // --- full-width flag: when set the encoder makes its blocks as wide as
    // the image.
    virtual bool fullWidth() const { return fullWidth_; }
    virtual bool isComposite() const { return false; }
    // Called by the encoder with the output file name before it writes.
    virtual void beginOutput(const char* /*outputName*/) {}
    virtual void endOutput(const char* /*outputName*/) {}
    virtual void setFullWidth(bool on) { fullWidth_ = on; }

    // Moves the support onto the georeference grid.
    virtual void alignToGrid() {}
    // Throws Error when the other image cannot be combined with this one.
    virtual void checkCompatibility(const Image& other) const = 0;
    virtual bool isVirtual() const { return false; }
    // Whether extract may run on several threads at once for distinct
    // rectangles.
    virtual bool extractsConcurrently() const { return false; }

    // Writes NAME.wvw beside the output (six "%30.15lf" lines) when the image
    // has a georeference; does nothing otherwise. Throws WriteError.
    void writeWorldFile(const Lumetra::FileSpecification& outputName) const;

    // The image's IMAGE:: tags, filled by the concrete image at construction.
    const Lumetra::TagStore& metadata() const { return metadata_; }
    Lumetra::TagStore& metadata() { return metadata_; }

private:
    bool fullWidth_ = false;
    Lumetra::TagStore metadata_;
};
