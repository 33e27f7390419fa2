#pragma once
// One extracted block of an image on its way into the wavelet analysis: the
// samples as separate band planes (plane after plane, each row-major
// width x height), with the conversion to floats and the forward colour
// transforms the analysis applies.

#include <cstddef>
#include <cstdint>
#include <vector>

class PixelData {
public:
    // Sample type codes.
    enum SampleType { kUInt8 = 0, kUInt16 = 1, kFloat = 2 };

    // Each constructor takes over a buffer of bands planes of width x height
    // samples. colour is 0 for a single band, 1 for planar colour bands.
    PixelData(std::vector<unsigned char> samples, int width, int height, int colour, int bands);
    PixelData(std::vector<unsigned short> samples, int width, int height, int colour, int bands);
    PixelData(std::vector<float> samples, int width, int height, int colour, int bands);

    int width() const { return width_; }
    int height() const { return height_; }
    int bands() const { return bands_; }
    int colour() const { return colour_; }
    int sampleType() const { return sampleType_; }
    // Samples per plane (width x height).
    size_t planeSize() const { return size_t(width_) * size_t(height_); }

    // The buffers; only the one of the current sample type holds samples.
    const unsigned char* bytes() const { return bytes_.data(); }
    const float* floats() const { return floats_.data(); }
    float* floats() { return floats_.data(); }
    // Plane b of a float block.
    const float* plane(int b) const { return floats_.data() + size_t(b) * planeSize(); }
    float* plane(int b) { return floats_.data() + size_t(b) * planeSize(); }

    // True when the samples were already floats (nothing done); false after
    // converting them to floats (the old buffer is freed).
    bool convert2float();
    // Forward transform of planes 0, 1, 2 to YIQ (converts to float first).
    // A single-band block is left unchanged.
    void yiq();
    // Forward transform of the four CMYK planes to YIQK (converts to float
    // first). Requires 4 bands; a single-band block is left unchanged.
    void yiqk();
    // For an 8-bit block: its samples as floats in `out` (bands() planes),
    // transformed as yiq() (yiqk() when `cmyk`) would transform them,
    // without changing the block.
    void codedPlanes(float* out, bool cmyk) const;
    // Whether codedRows serves this block: 8-bit grey or RGB samples.
    bool codesByBand(bool cmyk) const;
    // Rows first .. first + rows - 1 of plane `band` of what codedPlanes
    // writes, alone, in `out`.
    void codedRows(int band, int first, int rows, float* out, bool cmyk) const;

private:
    static void yiqPlanes(float* p0, float* p1, float* p2, size_t n);
    static void yiqkPlanes(float* p0, float* p1, float* p2, float* p3, size_t n);

    int width_, height_, bands_, colour_, sampleType_;
    std::vector<unsigned char> bytes_;
    std::vector<unsigned short> shorts_;
    std::vector<float> floats_;
};
