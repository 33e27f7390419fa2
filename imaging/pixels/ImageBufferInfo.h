#pragma once
// The description of a block of samples: layout, colour space, band count,
// sample type and where each band sits within a pixel.

#include <vector>

namespace Lumetra {

class ImageBufferInfo {
public:
    // Colour-space numbers (the `colorSpace` field).
    enum ColorSpace : int { RGB = 0, CMYK = 2, Grayscale = 3, RGBK = 4, YIQ = 10, YIQK = 11 };
    // Sample-type numbers (the `sampleType` field).
    enum SampleType : int { UInt8 = 0, UInt16 = 1, Int32 = 2, Float32 = 10, Float64 = 11 };
    // Data organisation (the `layout` field). Any non-zero value is planar.
    enum Layout : int { BIP = 0, Planar = 2 };

    // RGB, 3 bands, 3 samples per pixel, 8 bits, unsigned 8-bit, BIP,
    // alignment 1, band map 0,1,2.
    ImageBufferInfo();
    ImageBufferInfo(const ImageBufferInfo&) = default;
    ImageBufferInfo& operator=(const ImageBufferInfo&) = default;
    virtual ~ImageBufferInfo() = default;

    // Sets colour space and its band count; samplesPerPixel grows to the band
    // count (and becomes it for Grayscale); the band map resets to identity.
    void setColorSpace(int colorSpace);
    // The same with an explicit band count (negative counts become 0).
    void setColorSpace(int colorSpace, int bands);
    // Copies `bands` offsets from `offsets`, or the identity when null.
    void setBandMap(const int* offsets);
    void setSamplesPerPixel(int n) { samplesPerPixel = n; }
    // Size in bytes of one sample of `sampleType` (0 for unknown types).
    int bytesPerSample() const;
    // samplesPerPixel * bytesPerSample().
    int bytesPerPixel() const { return samplesPerPixel * bytesPerSample(); }
    // Samples from one pixel to the next in a row: samplesPerPixel for BIP, else 1.
    int columnStep() const { return layout == BIP ? samplesPerPixel : 1; }

    int layout = BIP;
    int colorSpace = RGB;
    int bands = 3;
    int bitsPerSample = 8;
    int samplesPerPixel = 3;
    int rowAlignment = 1;
    std::vector<int> bandMap;  // `bands` entries: sample offset of each band
    int reserved = -1;
    int sampleType = UInt8;
};

// Bands of a colour space (0 for numbers outside the table).
int bandsFor(int colorSpace);
// Bytes per sample of a sample type (0 for numbers outside the table).
int sampleSize(int sampleType);

}  // namespace Lumetra
