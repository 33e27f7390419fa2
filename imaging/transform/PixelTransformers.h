#pragma once
// The eleven per-pixel conversions. Each is a template over the destination
// and source sample types (unsigned char, unsigned short, float); init checks
// the colour spaces and copies the band positions, apply converts one pixel.

#include <algorithm>
#include <vector>

#include "imaging/transform/PixelOperator.h"
#include "imaging/transform/YiqMatrices.h"

namespace Lumetra {

namespace pixelkinds {
// Throws Exception(message) unless both colour spaces are the expected ones.
inline void requireSpaces(const ImageBufferInfo& destination, int destinationSpace,
                          const ImageBufferInfo& source, int sourceSpace, const char* message) {
    if (source.colorSpace != sourceSpace || destination.colorSpace != destinationSpace)
        throw Exception(message);
}
}  // namespace pixelkinds

// CMYK to RGB: the mean of two estimates, clamped (no range mapping).
template <class D, class S>
class CMYKtoRGBPixelTransformer : public PixelOperator<D, S> {
public:
    void init(const ImageBufferInfo& destination, const ImageBufferInfo& source) override {
        PixelOperator<D, S>::init(destination, source);
        pixelkinds::requireSpaces(destination, ImageBufferInfo::RGB, source, ImageBufferInfo::CMYK,
                                  "CMYKtoRGBPixelTransformer: invalid colorspace provided");
        this->bandPositions(source, s_, 4);
        this->bandPositions(destination, d_, 3);
    }
    void apply(D* out, const S* in) const {
        const float F = this->fullScale();
        const float K = float(in[s_[3]]);
        const float t = 1.0f - K / F;
        for (int i = 0; i < 3; ++i) {
            const float c = float(in[s_[i]]);
            this->store(out + d_[i], ((F - (K + c) * 0.5f) + (F - (K + t * c))) * 0.5f);
        }
    }

private:
    int s_[4] = {0, 1, 2, 3}, d_[3] = {0, 1, 2};
};

// CMYK to RGBK: each colour band from its ink plus black, the fourth band the
// smallest ink.
template <class D, class S>
class CMYKtoRGBKPixelTransformer : public PixelOperator<D, S> {
public:
    void init(const ImageBufferInfo& destination, const ImageBufferInfo& source) override {
        PixelOperator<D, S>::init(destination, source);
        pixelkinds::requireSpaces(destination, ImageBufferInfo::RGBK, source, ImageBufferInfo::CMYK,
                                  "CMYKtoRGBPixelTransformer: invalid colorspace provided");
        this->bandPositions(source, s_, 4);
        this->bandPositions(destination, d_, 4);
    }
    void apply(D* out, const S* in) const {
        const float F = this->fullScale();
        const float C = float(in[s_[0]]), M = float(in[s_[1]]), Y = float(in[s_[2]]), K = float(in[s_[3]]);
        this->put(out + d_[0], F - (C + K) * 0.5f);
        this->put(out + d_[1], F - (M + K) * 0.5f);
        this->put(out + d_[2], F - (Y + K) * 0.5f);
        this->put(out + d_[3], std::min(C, std::min(M, Y)));
    }

private:
    int s_[4] = {0, 1, 2, 3}, d_[4] = {0, 1, 2, 3};
};

// RGB to CMYK with full black removal, clamped (no range mapping).
template <class D, class S>
class RGBtoCMYKPixelTransformer : public PixelOperator<D, S> {
public:
    void init(const ImageBufferInfo& destination, const ImageBufferInfo& source) override {
        PixelOperator<D, S>::init(destination, source);
        pixelkinds::requireSpaces(destination, ImageBufferInfo::CMYK, source, ImageBufferInfo::RGB,
                                  "RGBtoCMYKPixelTransformer: invalid colorspace provided");
        this->bandPositions(source, s_, 3);
        this->bandPositions(destination, d_, 4);
    }
    void apply(D* out, const S* in) const {
        const float F = this->fullScale();
        const float c = F - float(in[s_[0]]), m = F - float(in[s_[1]]), y = F - float(in[s_[2]]);
        const float k = std::min(c, std::min(m, y));
        this->store(out + d_[0], c - k);
        this->store(out + d_[1], m - k);
        this->store(out + d_[2], y - k);
        this->store(out + d_[3], k);
    }

private:
    int s_[3] = {0, 1, 2}, d_[4] = {0, 1, 2, 3};
};

// RGB to grey: 0.3 R + 0.6 G + 0.1 B (double precision) into the first band.
template <class D, class S>
class RGBtoGrayscalePixelTransformer : public PixelOperator<D, S> {
public:
    void init(const ImageBufferInfo& destination, const ImageBufferInfo& source) override {
        PixelOperator<D, S>::init(destination, source);
        this->bandPositions(source, s_, 3);
        this->bandPositions(destination, d_, 1);
    }
    void apply(D* out, const S* in) const {
        this->put(out + d_[0], 0.3 * double(in[s_[0]]) + 0.6 * double(in[s_[1]]) + 0.1 * double(in[s_[2]]));
    }

private:
    int s_[3] = {0, 1, 2}, d_[1] = {0};
};

// YIQ to RGB through the inverse matrix.
template <class D, class S>
class YIQtoRGBPixelTransformer : public PixelOperator<D, S> {
public:
    void init(const ImageBufferInfo& destination, const ImageBufferInfo& source) override {
        PixelOperator<D, S>::init(destination, source);
        pixelkinds::requireSpaces(destination, ImageBufferInfo::RGB, source, ImageBufferInfo::YIQ,
                                  "YIQtoRGBPixelTransformer: invalid colorspace provided");
        this->bandPositions(source, s_, 3);
        this->bandPositions(destination, d_, 3);
    }
    void apply(D* out, const S* in) const {
        const float Y = float(in[s_[0]]), I = float(in[s_[1]]), Q = float(in[s_[2]]);
        this->put(out + d_[0], Y + rI * I + rQ * Q);
        this->put(out + d_[1], Y + gI * I + gQ * Q);
        this->put(out + d_[2], Y + bI * I + bQ * Q);
    }

    // A row of `count` pixels from float planes one sample apart: the same
    // values as apply, pixel by pixel, four pixels at a time.
    static constexpr bool kRowKernel = std::is_same<S, float>::value && std::is_integral<D>::value;
    void applyRow(D* out, int outStep, const S* in, int count) const {
        using Base = PixelOperator<D, S>;
        constexpr int kChunk = Base::kRowChunk;
        const typename Base::RowMapping m = this->rowMapping();
        const float* y = in + s_[0];
        const float* i = in + s_[1];
        const float* q = in + s_[2];
        if constexpr (std::is_same<D, unsigned char>::value) {
            if (outStep == 3 && d_[0] == 0 && d_[1] == 1 && d_[2] == 2) {
                m.convertToByteTriples(y, i, q, {rI, gI, bI}, {rQ, gQ, bQ}, count, out);
                return;
            }
        }
        // Sample stores may alias the band positions: read them once.
        const int d0 = d_[0], d1 = d_[1], d2 = d_[2];
        int32_t r[kChunk], g[kChunk], b[kChunk];
        for (int x0 = 0; x0 < count; x0 += kChunk) {
            const int n = std::min(kChunk, count - x0);
            m.convert(y + x0, i + x0, q + x0, rI, rQ, n, r);
            m.convert(y + x0, i + x0, q + x0, gI, gQ, n, g);
            m.convert(y + x0, i + x0, q + x0, bI, bQ, n, b);
            D* o = out + std::ptrdiff_t(x0) * outStep;
            for (int k = 0; k < n; ++k, o += outStep) {
                o[d0] = D(r[k]);
                o[d1] = D(g[k]);
                o[d2] = D(b[k]);
            }
        }
    }

    const float rI = Yiq::kRfromI, rQ = Yiq::kRfromQ;
    const float gI = Yiq::kGfromI, gQ = Yiq::kGfromQ;
    const float bI = Yiq::kBfromI, bQ = Yiq::kBfromQ;

private:
    int s_[3] = {0, 1, 2}, d_[3] = {0, 1, 2};
};

// RGB to YIQ (single precision); unsigned destinations lose negative I and Q.
template <class D, class S>
class RGBtoYIQPixelTransformer : public PixelOperator<D, S> {
public:
    void init(const ImageBufferInfo& destination, const ImageBufferInfo& source) override {
        PixelOperator<D, S>::init(destination, source);
        pixelkinds::requireSpaces(destination, ImageBufferInfo::YIQ, source, ImageBufferInfo::RGB,
                                  "RGBtoYIQPixelTransformer: invalid colorspace provided");
        this->bandPositions(source, s_, 3);
        this->bandPositions(destination, d_, 3);
    }
    void apply(D* out, const S* in) const {
        const float R = float(in[s_[0]]), G = float(in[s_[1]]), B = float(in[s_[2]]);
        constexpr const float(&m)[3][3] = Yiq::kFromRgb;
        this->put(out + d_[0], m[0][0] * R + m[0][1] * G + m[0][2] * B);
        this->put(out + d_[1], m[1][0] * R + m[1][1] * G + m[1][2] * B);
        this->put(out + d_[2], m[2][0] * R + m[2][1] * G + m[2][2] * B);
    }

private:
    int s_[3] = {0, 1, 2}, d_[3] = {0, 1, 2};
};

// CMYK to YIQK (single precision, 255 as full scale whatever the types).
template <class D, class S>
class CMYKtoYIQKPixelTransformer : public PixelOperator<D, S> {
public:
    void init(const ImageBufferInfo& destination, const ImageBufferInfo& source) override {
        PixelOperator<D, S>::init(destination, source);
        pixelkinds::requireSpaces(destination, ImageBufferInfo::YIQK, source, ImageBufferInfo::CMYK,
                                  "CMYKtoYIQKPixelTransformer: invalid colorspace provided");
        this->bandPositions(source, s_, 4);
        this->bandPositions(destination, d_, 4);
    }
    void apply(D* out, const S* in) const {
        const float C = float(in[s_[0]]), M = float(in[s_[1]]), Ye = float(in[s_[2]]), K = float(in[s_[3]]);
        constexpr const float(&y)[4] = Yiq::kLumaFromInks;
        constexpr const float(&i)[3] = Yiq::kIFromInks;
        constexpr const float(&q)[3] = Yiq::kQFromInks;
        this->put(out + d_[0], 255.0f - y[3] * K - y[0] * C - y[1] * M - y[2] * Ye);
        this->put(out + d_[1], i[2] * Ye + i[1] * M + i[0] * C);
        this->put(out + d_[2], q[1] * M + q[0] * C + q[2] * Ye);
        this->put(out + d_[3], std::min(C, std::min(M, Ye)));
    }

private:
    int s_[4] = {0, 1, 2, 3}, d_[4] = {0, 1, 2, 3};
};

// YIQK to CMYK: YIQ to RGB, inks from RGB, then black redistributed.
template <class D, class S>
class YIQKtoCMYKPixelTransformer : public PixelOperator<D, S> {
public:
    void init(const ImageBufferInfo& destination, const ImageBufferInfo& source) override {
        PixelOperator<D, S>::init(destination, source);
        pixelkinds::requireSpaces(destination, ImageBufferInfo::CMYK, source, ImageBufferInfo::YIQK,
                                  "YIQKtoCMYKPixelTransformer: invalid colorspace provided");
        this->bandPositions(source, s_, 4);
        this->bandPositions(destination, d_, 4);
    }
    void apply(D* out, const S* in) const {
        const float Y = float(in[s_[0]]), I = float(in[s_[1]]), Q = float(in[s_[2]]), K = float(in[s_[3]]);
        const float c = clamp(255.0f - (Y + rI * I + rQ * Q), 0.0f, 255.0f);
        const float m = clamp(255.0f - (Y + gI * I + gQ * Q), 0.0f, 255.0f);
        const float y = clamp(255.0f - (Y + bI * I + bQ * Q), 0.0f, 255.0f);
        const float k2 = 2.0f * std::min(c, std::min(m, y));
        const float u = k2 - clamp(K, 0.0f, k2);
        this->put(out + d_[0], 2.0f * c - u);
        this->put(out + d_[1], 2.0f * m - u);
        this->put(out + d_[2], 2.0f * y - u);
        this->put(out + d_[3], u);
    }

    const float rI = Yiq::kRfromI, rQ = Yiq::kRfromQ;
    const float gI = Yiq::kGfromI, gQ = Yiq::kGfromQ;
    const float bI = Yiq::kBfromI, bQ = Yiq::kBfromQ;

private:
    static float clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }
    int s_[4] = {0, 1, 2, 3}, d_[4] = {0, 1, 2, 3};
};

// YIQK to RGB through CMYK: an inner YIQK-to-CMYK conversion into a scratch
// pixel of the source type, then CMYK to RGB.
template <class D, class S>
class YIQKtoRGBPixelTransformer : public PixelOperator<D, S> {
public:
    void init(const ImageBufferInfo& destination, const ImageBufferInfo& source) override {
        PixelOperator<D, S>::init(destination, source);
        pixelkinds::requireSpaces(destination, ImageBufferInfo::RGB, source, ImageBufferInfo::YIQK,
                                  "YIQKtoRGBPixelTransformer: invalid colorspace provided");
        ImageBufferInfo intermediate = source;
        intermediate.setColorSpace(ImageBufferInfo::CMYK, 4);
        intermediate.setBandMap(nullptr);
        toCMYK_.init(intermediate, source);
        toRGB_.init(destination, intermediate);
    }
    void apply(D* out, const S* in) const {
        S scratch[4];
        toCMYK_.apply(scratch, in);
        toRGB_.apply(out, scratch);
    }

private:
    YIQKtoCMYKPixelTransformer<S, S> toCMYK_;
    CMYKtoRGBPixelTransformer<D, S> toRGB_;
};

// Grey to RGB: the mapped grey in all three bands.
template <class D, class S>
class GrayscaleToRGBPixelTransformer : public PixelOperator<D, S> {
public:
    void init(const ImageBufferInfo& destination, const ImageBufferInfo& source) override {
        PixelOperator<D, S>::init(destination, source);
        this->bandPositions(source, s_, 1);
        this->bandPositions(destination, d_, 3);
    }
    void apply(D* out, const S* in) const {
        D v;
        this->put(&v, float(in[s_[0]]));
        out[d_[0]] = v;
        out[d_[1]] = v;
        out[d_[2]] = v;
    }

private:
    int s_[1] = {0}, d_[3] = {0, 1, 2};
};

// Band-by-band copy with range mapping. A grey destination also takes the
// luminance band of a YIQ or YIQK source.
template <class D, class S>
class PixelCopier : public PixelOperator<D, S> {
public:
    void init(const ImageBufferInfo& destination, const ImageBufferInfo& source) override {
        const bool luminance =
            destination.colorSpace == ImageBufferInfo::Grayscale &&
            (source.colorSpace == ImageBufferInfo::Grayscale || source.colorSpace == ImageBufferInfo::YIQ ||
             source.colorSpace == ImageBufferInfo::YIQK);
        const bool same = destination.colorSpace == source.colorSpace && destination.bands == source.bands;
        if (!luminance && !same)
            throw Exception("PixelCopier: incompatible source and destination colorspace");
        PixelOperator<D, S>::init(destination, source);
        const int n = std::max(0, std::min(destination.bands, source.bands));
        s_.resize(size_t(n));
        d_.resize(size_t(n));
        this->bandPositions(source, s_.data(), n);
        this->bandPositions(destination, d_.data(), n);
    }
    void apply(D* out, const S* in) const {
        const int n = int(d_.size());
        for (int i = 0; i < n; ++i) this->put(out + d_[i], float(in[s_[i]]));
    }

    // A row of `count` pixels from float planes one sample apart, band by
    // band: the same values as apply.
    static constexpr bool kRowKernel = std::is_same<S, float>::value && std::is_integral<D>::value;
    void applyRow(D* out, int outStep, const S* in, int count) const {
        using Base = PixelOperator<D, S>;
        constexpr int kChunk = Base::kRowChunk;
        const typename Base::RowMapping m = this->rowMapping();
        int32_t values[kChunk];
        for (std::size_t i = 0; i < d_.size(); ++i) {
            if constexpr (std::is_same<D, unsigned char>::value) {
                if (outStep == 1) {
                    m.convertToBytes(in + s_[i], count, out + d_[i]);
                    continue;
                }
            }
            for (int x0 = 0; x0 < count; x0 += kChunk) {
                const int n = std::min(kChunk, count - x0);
                m.convert(in + s_[i] + x0, n, values);
                D* o = out + std::ptrdiff_t(x0) * outStep + d_[i];
                for (int k = 0; k < n; ++k, o += outStep) *o = D(values[k]);
            }
        }
    }

private:
    std::vector<int> s_, d_;
};

}  // namespace Lumetra
