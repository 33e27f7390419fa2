#include "encoder/rawimage/RFIImage.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "core/Error.h"
#include "encoder/rawimage/BandOrderExtraction.h"

RFIImage::RFIImage(const Lumetra::FileSpecification& file, int xOrigin, int yOrigin)
    : ImageFile(file, nullptr, nullptr) {
    int32_t head[3];
    FILE* f = file.open("rb");
    if (!f) throw OpenError(file, "read");
    const size_t got = std::fread(head, sizeof(int32_t), 3, f);
    std::fclose(f);
    if (got != 3) throw ReadError(file);

    // Negative or overflowing counts cannot match any file size.
    const int64_t w = head[0], h = head[1], n = head[2];
    int64_t samples = 0;
    if (w < 0 || h < 0 || n < 0 || __builtin_mul_overflow(w * h, n, &samples) ||
        samples > (std::numeric_limits<int64_t>::max() - 12) / 4 || double(12 + 4 * samples) != fileSize() ||
        int64_t(xOrigin) + w - 1 > std::numeric_limits<int32_t>::max() ||
        int64_t(yOrigin) + h - 1 > std::numeric_limits<int32_t>::max())
        throw Error("Error: invalid RFI Image.");

    width_ = head[0];
    height_ = head[1];
    bands_ = head[2];
    dataType_ = kImageFloat;
    support_[0][0] = xOrigin;
    support_[0][1] = xOrigin + width_ - 1;
    support_[1][0] = yOrigin;
    support_[1][1] = yOrigin + height_ - 1;
    colorScheme_ = bands_ == 1   ? kSchemeGrayscale
                   : bands_ == 3 ? kSchemeRGB
                   : bands_ == 4 ? kSchemeCMYK
                                 : kSchemeUnknown;
}

void RFIImage::info() const {
    std::printf("***** %s *****\n\n", file().path());
    std::printf("  image_width: %d\n", width_);
    std::printf("  image_height: %d\n", height_);
    std::printf("  nband: %d\n", bands_);
    std::fflush(stdout);
}

void RFIImage::extract(const int section_support[2][2], float* pixels) const {
    const char* order = bands_ == 1   ? "GRAYSCALE"
                        : bands_ == 3 ? "RGB_BSQ"
                        : bands_ == 4 ? "CMYK_BSQ"
                                      : nullptr;
    if (!order) {
        char text[96];
        std::snprintf(text, sizeof text, "Error: cannot process %d spectral band RFI files.", bands_);
        throw Error(text);
    }
    RawSource s;
    s.file = file();
    support(s.support);
    s.width = width_;
    s.height = height_;
    s.bands = bands_;
    s.skip = 12;
    extract_raw(s, section_support, pixels, order);
}

void RFIImage::extract(const int[2][2], unsigned char*) const {
    throw Error("void RFIImage::extract( int section_support[2][2], unsigned char *pixels ) not supported.");
}
