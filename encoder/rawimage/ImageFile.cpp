#include "encoder/rawimage/ImageFile.h"

#include <cstdio>
#include <cstring>

#include "core/Error.h"

ImageFile::ImageFile(const Lumetra::FileSpecification& file, const unsigned char* noDataValue,
                     const unsigned char* transparentValue)
    : file_(file) {
    if (noDataValue) std::memcpy(noData_, noDataValue, 3);
    if (transparentValue) {
        std::memcpy(transparent_, transparentValue, 3);
        hasTransparent_ = true;
    }
}

ImageFile::~ImageFile() = default;

int ImageFile::codedBands() const { return bands_ == 4 && colorScheme_ != kSchemeCMYK ? 3 : bands_; }

void ImageFile::support(int section_support[2][2]) const {
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) section_support[i][j] = support_[i][j];
}

double ImageFile::fileSize() const {
    FILE* f = file_.open("rb");
    if (!f) throw OpenError(file_, "read");
    const bool sought = fseeko(f, 0, SEEK_END) == 0;
    const off_t size = sought ? ftello(f) : off_t(-1);
    std::fclose(f);
    if (size < 0) throw ReadError(file_);
    return double(size);
}
