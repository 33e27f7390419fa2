#include "encoder/rawimage/PixelData.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// RGB to YIQ for n pixels, from any sample type to float planes (which may
// be the inputs; a null output is skipped). Each output is the three products in double, summed left
// to right and rounded to float once: the vector path does the same
// operations in the same order, two pixels to a register.
template <typename T>
void yiqRows(const T* r, const T* g, const T* b, float* y, float* i, float* q, size_t n) {
    size_t k = 0;
#if defined(__SSE2__)
    const auto load = [](const T* p, __m128d& lo, __m128d& hi) {
        if constexpr (sizeof(T) == 1) {
            int32_t word;
            std::memcpy(&word, p, sizeof word);
            const __m128i zero = _mm_setzero_si128();
            const __m128i v = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
            lo = _mm_cvtepi32_pd(v);
            hi = _mm_cvtepi32_pd(_mm_shuffle_epi32(v, 0x0E));
        } else {
            const __m128 v = _mm_loadu_ps(p);
            lo = _mm_cvtps_pd(v);
            hi = _mm_cvtps_pd(_mm_movehl_ps(v, v));
        }
    };
    __m128d c[3][3];
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) c[row][col] = _mm_set1_pd(double(kRgb[row][col]));
    const auto mix = [&](int row, __m128d r2, __m128d g2, __m128d b2) {
        return _mm_add_pd(_mm_add_pd(_mm_mul_pd(c[row][0], r2), _mm_mul_pd(c[row][1], g2)),
                          _mm_mul_pd(c[row][2], b2));
    };
    for (; k + 4 <= n; k += 4) {
        __m128d r0, r1, g0, g1, b0, b1;
        load(r + k, r0, r1);
        load(g + k, g0, g1);
        load(b + k, b0, b1);
        float* out[3] = {y, i, q};
        for (int row = 0; row < 3; ++row)
            if (out[row])
                _mm_storeu_ps(out[row] + k, _mm_movelh_ps(_mm_cvtpd_ps(mix(row, r0, g0, b0)),
                                                          _mm_cvtpd_ps(mix(row, r1, g1, b1))));
    }
#endif
    for (; k < n; ++k) {
        const double rd = r[k], gd = g[k], bd = b[k];
        if (y) y[k] = float(kRgb[0][0] * rd + kRgb[0][1] * gd + kRgb[0][2] * bd);
        if (i) i[k] = float(kRgb[1][0] * rd + kRgb[1][1] * gd + kRgb[1][2] * bd);
        if (q) q[k] = float(kRgb[2][0] * rd + kRgb[2][1] * gd + kRgb[2][2] * bd);
    }
}

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
    if (!cmyk && colour_ == 1 && bands_ >= 3) {
        // Straight from the bytes, without a pass that only widens them.
        yiqRows(in, in + plane, in + 2 * plane, out, out + plane, out + 2 * plane, plane);
        for (size_t i = 3 * plane; i < n; ++i) out[i] = float(in[i]);
        return;
    }
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

bool PixelData::codesByBand(bool cmyk) const {
    return sampleType_ == kUInt8 && !cmyk && (colour_ == 0 || (colour_ == 1 && bands_ >= 3));
}

void PixelData::codedRows(int band, int first, int rows, float* out, bool cmyk) const {
    if (!codesByBand(cmyk) || band < 0 || band >= bands_ || first < 0 || rows < 0 || first > height_ - rows)
        throw Lumetra::Exception("Internal error in PixelData::codedRows().");
    const size_t plane = planeSize(), n = size_t(rows) * size_t(width_);
    const unsigned char* in = bytes_.data() + size_t(first) * size_t(width_);
    if (colour_ == 1 && band < 3) {
        float* planes[3] = {nullptr, nullptr, nullptr};
        planes[band] = out;
        yiqRows(in, in + plane, in + 2 * plane, planes[0], planes[1], planes[2], n);
        return;
    }
    in += size_t(band) * plane;
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time, widened to 16 and 32 bits: exact, as each float(in[i]) is.
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i low = _mm_unpacklo_epi8(bytes, zero), high = _mm_unpackhi_epi8(bytes, zero);
        _mm_storeu_ps(out + i, _mm_cvtepi32_ps(_mm_unpacklo_epi16(low, zero)));
        _mm_storeu_ps(out + i + 4, _mm_cvtepi32_ps(_mm_unpackhi_epi16(low, zero)));
        _mm_storeu_ps(out + i + 8, _mm_cvtepi32_ps(_mm_unpacklo_epi16(high, zero)));
        _mm_storeu_ps(out + i + 12, _mm_cvtepi32_ps(_mm_unpackhi_epi16(high, zero)));
    }
#endif
    for (; i < n; ++i) out[i] = float(in[i]);
}

void PixelData::yiqPlanes(float* p0, float* p1, float* p2, size_t n) { yiqRows(p0, p1, p2, p0, p1, p2, n); }

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
