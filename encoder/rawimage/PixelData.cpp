#include "encoder/rawimage/PixelData.h"

#include <algorithm>

#include "core/Error.h"
#include "core/Exception.h"
#include "imaging/transform/YiqMatrices.h"

namespace {

size_t samplesOf(int width, int height, int bands) {
    if (width < 0 || height < 0 || bands < 0) throw Error("Error: negative block size in PixelData.");
    return size_t(width) * size_t(height) * size_t(bands);
}

template <typename T>
void requireSize(const std::vector<T>& samples, int width, int height, int bands) {
    if (samples.size() < samplesOf(width, height, bands))
        throw Error("Error: pixel buffer smaller than its planes in PixelData.");
}

// The forward matrices' single-precision coefficients; the products are
// summed in double and rounded to float once per output sample.
constexpr const float (&kRgb)[3][3] = Lumetra::Yiq::kFromRgb;
constexpr const float (&kYk)[4] = Lumetra::Yiq::kLumaFromInks;  // C, M, Y, K
constexpr const float (&kIk)[3] = Lumetra::Yiq::kIFromInks;     // C, M, Y
constexpr const float (&kQk)[3] = Lumetra::Yiq::kQFromInks;     // C, M, Y

}  // namespace

PixelData::PixelData(std::vector<unsigned char> samples, int width, int height, int colour, int bands)
    : width_(width),
      height_(height),
      bands_(bands),
      colour_(colour),
      sampleType_(kUInt8),
      bytes_(std::move(samples)) {
    requireSize(bytes_, width, height, bands);
}

PixelData::PixelData(std::vector<unsigned short> samples, int width, int height, int colour, int bands)
    : width_(width),
      height_(height),
      bands_(bands),
      colour_(colour),
      sampleType_(kUInt16),
      shorts_(std::move(samples)) {
    requireSize(shorts_, width, height, bands);
}

PixelData::PixelData(std::vector<float> samples, int width, int height, int colour, int bands)
    : width_(width),
      height_(height),
      bands_(bands),
      colour_(colour),
      sampleType_(kFloat),
      floats_(std::move(samples)) {
    requireSize(floats_, width, height, bands);
}

bool PixelData::convert2float() {
    if (sampleType_ == kFloat) return true;
    const size_t n = samplesOf(width_, height_, bands_);
    std::vector<float> converted(n);
    if (sampleType_ == kUInt8) {
        const unsigned char* in = bytes_.data();
        for (size_t i = 0; i < n; ++i) converted[i] = float(in[i]);
        std::vector<unsigned char>().swap(bytes_);
    } else if (sampleType_ == kUInt16) {
        const unsigned short* in = shorts_.data();
        for (size_t i = 0; i < n; ++i) converted[i] = float(in[i]);
        std::vector<unsigned short>().swap(shorts_);
    } else {
        throw Lumetra::Exception("Internal error in PixelData::convert2float().");
    }
    floats_ = std::move(converted);
    sampleType_ = kFloat;
    return false;
}

void PixelData::yiq() {
    if (colour_ == 0) return;
    // A colour block needs three planes to read from.
    if (colour_ != 1 || bands_ < 3) throw Error("Error: unsupported band structure in PixelData::yiq.");
    convert2float();
    yiqPlanes(plane(0), plane(1), plane(2), planeSize());
}

void PixelData::yiqk() {
    if (bands_ != 4) throw Error("Error: yiqk transform requires 4 bands::yiqk.");
    if (colour_ == 0) return;
    if (colour_ != 1) throw Error("Error: unsupported band structure in PixelData::yiqk.");
    convert2float();
    yiqkPlanes(plane(0), plane(1), plane(2), plane(3), planeSize());
}

void PixelData::codedPlanes(float* out, bool cmyk) const {
    if (sampleType_ != kUInt8) throw Lumetra::Exception("Internal error in PixelData::codedPlanes().");
    const size_t plane = planeSize(), n = plane * size_t(bands_);
    const unsigned char* in = bytes_.data();
    for (size_t i = 0; i < n; ++i) out[i] = float(in[i]);
    if (cmyk) {
        if (bands_ != 4) throw Error("Error: yiqk transform requires 4 bands::yiqk.");
        if (colour_ == 0) return;
        if (colour_ != 1) throw Error("Error: unsupported band structure in PixelData::yiqk.");
        yiqkPlanes(out, out + plane, out + 2 * plane, out + 3 * plane, plane);
    } else {
        if (colour_ == 0) return;
        if (colour_ != 1 || bands_ < 3) throw Error("Error: unsupported band structure in PixelData::yiq.");
        yiqPlanes(out, out + plane, out + 2 * plane, plane);
    }
}

void PixelData::yiqPlanes(float* p0, float* p1, float* p2, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const double r = p0[i], g = p1[i], b = p2[i];
        p0[i] = float(kRgb[0][0] * r + kRgb[0][1] * g + kRgb[0][2] * b);
        p1[i] = float(kRgb[1][0] * r + kRgb[1][1] * g + kRgb[1][2] * b);
        p2[i] = float(kRgb[2][0] * r + kRgb[2][1] * g + kRgb[2][2] * b);
    }
}

void PixelData::yiqkPlanes(float* p0, float* p1, float* p2, float* p3, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const float cf = p0[i], mf = p1[i], yf = p2[i], kf = p3[i];
        const double c = cf, m = mf, y = yf, k = kf;
        p0[i] = float(255.0 - kYk[3] * k - kYk[0] * c - kYk[1] * m - kYk[2] * y);
        p1[i] = float(kIk[2] * y + kIk[1] * m + kIk[0] * c);
        p2[i] = float(kQk[1] * m + kQk[0] * c + kQk[2] * y);
        p3[i] = std::min(cf, std::min(mf, yf));
    }
}
