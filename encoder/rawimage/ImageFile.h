#pragma once
// An image read from a file: the fields every file kind shares (bands, size,
// data type, colour scheme, support, no-data and transparent values, the
// file's name) and the operations that fail for kinds that lack them.

#include "core/FileSpecification.h"
#include "encoder/rawimage/Image.h"

class ImageFile : public Image {
public:
    using Image::extract;

    // Both values are copied (3 bytes each); null means none given (no-data
    // then reads as zeros).
    ImageFile(const Lumetra::FileSpecification& file, const unsigned char* noDataValue,
              const unsigned char* transparentValue);
    ~ImageFile() override;

    int bands() const final { return bands_; }
    // The stored band count, except that a 4-band image that is not CMYK
    // codes 3 bands.
    int codedBands() const final;
    int width() const final { return width_; }
    int height() const final { return height_; }
    int dataType() const final { return dataType_; }
    int colorScheme() const final { return colorScheme_; }
    void support(int section_support[2][2]) const final;
    const Lumetra::FileSpecification& file() const { return file_; }

    // Opens the file, seeks to its end and takes the position; OpenError.
    double fileSize() const override;
    const unsigned char* noDataValue() const final { return noData_; }
    const unsigned char* transparentValue() const final { return hasTransparent_ ? transparent_ : nullptr; }

protected:
    int bands_ = 0;
    int width_ = 0;
    int height_ = 0;
    int dataType_ = kImageUInt8;
    int colorScheme_ = kSchemeUnknown;
    // Inclusive x0, x1, y0, y1; empty until the subclass sets it.
    int support_[2][2] = {{0, -1}, {0, -1}};

private:
    Lumetra::FileSpecification file_;
    unsigned char noData_[3] = {0, 0, 0};
    unsigned char transparent_[3] = {0, 0, 0};
    bool hasTransparent_ = false;
};
