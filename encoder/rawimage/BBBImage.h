#pragma once
// An uncompressed raster of 8-bit samples stored band-interleaved by pixel
// (BIP), by line (BIL) or band-sequential (BSQ), described by a text header
// beside it with the extension "hdr".

#include "encoder/rawimage/ImageFile.h"
#include "encoder/rawimage/RawHeader.h"

class BBBImage : public ImageFile {
public:
    using Image::extract;

    // Reads the header and checks the file size against it. The no-data and
    // transparent values are 3 bytes each, or null for none. Throws
    // OpenError, ReadError or Error.
    BBBImage(const Lumetra::FileSpecification& rawFile, const unsigned char* noDataValue = nullptr,
             const unsigned char* transparentValue = nullptr);

    // The header values as read (with derived defaults filled in).
    const RawHeader& header() const { return header_; }

    void info() const override;
    void extract(const int section_support[2][2], unsigned short* pixels) const override;
    void extract(const int section_support[2][2], unsigned char* pixels) const override;
    double xcoord() const override { return header_.ulxmap; }
    double ycoord() const override { return header_.ulymap; }
    double xscale() const override { return header_.xdim; }
    double yscale() const override { return -header_.ydim; }
    bool hasGeoreference() const override { return true; }
    void alignToGrid() override;
    // Each extraction opens the file for itself.
    bool extractsConcurrently() const override { return true; }
    // Compares coded band counts, xdim and ydim with another BBBImage.
    void checkCompatibility(const Image& other) const override;

private:
    // The band-order name for the header's band count and layout.
    const char* bandOrder() const;
    // Adds the IMAGE:: tags that describe the image, in their fixed order.
    void fillMetadata(double fileBytes);

    RawHeader header_;
};
