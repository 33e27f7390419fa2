#include "encoder/rawimage/BBBImage.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <string>

#include "core/Error.h"
#include "encoder/rawimage/BandOrderExtraction.h"

namespace {

RawSource sourceOf(const BBBImage& image) {
    RawSource s;
    s.file = image.file();
    image.support(s.support);
    s.width = image.width();
    s.height = image.height();
    s.bands = image.bands();
    s.skip = image.header().skipbytes;
    s.transparent = image.transparentValue();
    return s;
}

std::string incompatibility(const ImageFile& a, const Image& b, const char* what) {
    const auto* other = dynamic_cast<const ImageFile*>(&b);
    return std::string("File incompatibility: files ") + a.file().path() + " and " +
           (other ? other->file().path() : "") + " " + what;
}

// (v + 0.5) truncated toward zero, refused when no int could hold it.
int32_t gridIndex(double v) {
    const double t = std::trunc(v + 0.5);
    if (!(t >= double(std::numeric_limits<int32_t>::min()) &&
          t <= double(std::numeric_limits<int32_t>::max())))
        throw Error("Error: georeference cannot be aligned with the pixel grid.");
    return int32_t(t);
}

}  // namespace

BBBImage::BBBImage(const Lumetra::FileSpecification& rawFile, const unsigned char* noDataValue,
                   const unsigned char* transparentValue)
    : ImageFile(rawFile, noDataValue, transparentValue), header_(readRawHeader(rawFile.setExtension("hdr"))) {
    bands_ = header_.nbands;
    width_ = header_.ncols;
    height_ = header_.nrows;
    dataType_ = header_.dataType == 0 ? kImageUInt8 : kImageUInt16;
    support_[0][0] = 0;
    support_[0][1] = width_ - 1;
    support_[1][0] = 0;
    support_[1][1] = height_ - 1;
    colorScheme_ = bands_ == 1 ? kSchemeGrayscale : kSchemeRGB;

    const double size = fileSize();
    fillMetadata(size);
    const int64_t expected = expectedRawFileSize(header_);
    if (size != double(expected)) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "%" PRId64 ") is not consistent with the reported file size (%" PRId64, int64_t(size),
                      expected);
        throw Error(std::string("Error: The actual file size (") + text + ") for file " + file().path() +
                    ".\nThis file's header must be repaired prior to encoding.");
    }
}

void BBBImage::fillMetadata(double fileBytes) {
    Lumetra::TagStore& m = metadata();
    const unsigned char* transparent = transparentValue();
    bool ok = m.addWidth(uint32_t(width_)) >= 0;
    ok = ok && m.addHeight(uint32_t(height_)) >= 0;
    ok = ok && m.addInputName(file().path()) >= 0;
    ok = ok && m.addInputFileSize(fileBytes) >= 0;
    ok = ok && m.addNoDataValue(noDataValue(), 3) >= 0;
    ok = ok && (!transparent || m.addTransparentDataValue(transparent, 3) >= 0);
    if (hasGeoreference()) {
        ok = ok && m.addXYOrigin(xcoord(), ycoord()) >= 0;
        ok = ok && m.addXResolution(xscale()) >= 0;
        ok = ok && m.addYResolution(-yscale()) >= 0;
    }
    if (inputLutLength() > 0) ok = ok && m.addInputLut(inputLut(), bands_, inputLutLength()) >= 0;
    ok = ok && m.addColorScheme(uint32_t(colorScheme_)) >= 0;
    ok = ok && m.addDataType(uint32_t(dataType_)) >= 0;
    if (ok && header_.dynamicRangeWindow != -1) {
        ok = m.addDynamicRangeWindow(double(header_.dynamicRangeWindow)) >= 0;
        ok = ok && m.addDynamicRangeLevel(double(header_.dynamicRangeLevel)) >= 0;
    }
    if (!ok) throw Error("Error creating metadata.");

    int bits = 0;
    if (dataType_ == kImageUInt8)
        bits = 8;
    else if (dataType_ == kImageUInt16)
        bits = 16;
    else
        throw Error("Bogus data type encountered in BBBImage ctor.");
    if (m.addBitsPerSample(uint16_t(bits)) < 0) throw Error("Error initializing metadata.");
}

void BBBImage::info() const {
    std::ostream& out = std::cout;
    const RawHeader& h = header_;
    out << "***** " << file().path() << "*****\n\n";
    out << "  bandgapbytes: " << h.bandgapbytes << "\n";
    out << "  bandrowbytes: " << h.bandrowbytes << "\n";
    out << "  nbands: " << h.nbands << "\n";
    out << "  nbits: " << h.nbits << "\n";
    if (h.dynamicRangeWindow != -1) {
        out << "  dynamic range window: " << h.dynamicRangeWindow << "\n";
        out << "  dynamic range level: " << h.dynamicRangeLevel << "\n";
    }
    out << "  ncols: " << h.ncols << "\n";
    out << "  nrows: " << h.nrows << "\n";
    out << "  totalrowbytes: " << h.totalrowbytes << "\n";
    out << "  skipbytes: " << h.skipbytes << "\n";
    out << "  ulxmap: " << h.ulxmap << "\n";
    out << "  ulymap: " << h.ulymap << "\n";
    out << "  xdim: " << h.xdim << "\n";
    out << "  ydim: " << h.ydim << "\n";
    switch (h.layout) {
        case kLayoutBIL:
            out << "  layout: BIL\n";
            break;
        case kLayoutBIP:
            out << "  layout: BIP\n";
            break;
        case kLayoutBSQ:
            out << "  layout: BSQ\n";
            break;
        default:
            out << "  layout: unknown\n";
            break;
    }
    out.flush();
}

const char* BBBImage::bandOrder() const {
    if (bands_ == 1) return "GRAYSCALE";
    if (bands_ == 3) {
        if (header_.layout == kLayoutBIL) return "RGB_BIL";
        if (header_.layout == kLayoutBIP) return "RGB";
        if (header_.layout == kLayoutBSQ) return "RGB_BSQ";
    }
    throw Error("Error: unknown band structure encountered in subroutine BBBImage::extract.");
}

void BBBImage::extract(const int section_support[2][2], unsigned short* pixels) const {
    extract_raw(sourceOf(*this), section_support, pixels, bandOrder());
}

void BBBImage::extract(const int section_support[2][2], unsigned char* pixels) const {
    extract_raw(sourceOf(*this), section_support, pixels, bandOrder());
}

void BBBImage::alignToGrid() {
    const int32_t x0 = gridIndex(header_.ulxmap / header_.xdim);
    const int32_t y0 = gridIndex(header_.ulymap / header_.ydim);
    // y0 is negated and both far corners must stay in range.
    if (y0 == std::numeric_limits<int32_t>::min() ||
        int64_t(x0) + width_ - 1 > std::numeric_limits<int32_t>::max() ||
        -int64_t(y0) + height_ - 1 > std::numeric_limits<int32_t>::max())
        throw Error("Error: georeference cannot be aligned with the pixel grid.");
    support_[0][0] = x0;
    support_[0][1] = x0 + width_ - 1;
    support_[1][0] = -y0;
    support_[1][1] = -y0 + height_ - 1;
}

void BBBImage::checkCompatibility(const Image& other) const {
    if (codedBands() != other.codedBands())
        throw Error(incompatibility(*this, other, "have a different number of spectral bands."));
    if (xscale() != other.xscale())
        throw Error(incompatibility(*this, other, "have different x-resolutions."));
    if (yscale() != other.yscale())
        throw Error(incompatibility(*this, other, "have different y-resolutions."));
}
