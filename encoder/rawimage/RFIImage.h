#pragma once
// A raw file of 32-bit float samples, band-sequential, after a 12-byte header
// of width, height and band count as native-order 32-bit integers.

#include "encoder/rawimage/ImageFile.h"

class RFIImage : public ImageFile {
public:
    using Image::extract;

    // Reads the header and checks the file size; the support starts at the
    // given origin. Throws OpenError, ReadError or Error.
    RFIImage(const Lumetra::FileSpecification& file, int xOrigin, int yOrigin);

    void info() const override;
    // Float extraction of 1, 3 or 4 bands.
    void extract(const int section_support[2][2], float* pixels) const override;
    void extract(const int section_support[2][2], unsigned char* pixels) const override;
    bool hasGeoreference() const override { return false; }
    void checkCompatibility(const Image&) const override {}
};
