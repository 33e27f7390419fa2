#include "encoder/rawimage/Image.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/Error.h"
#include "encoder/rawimage/PixelData.h"

namespace {

// Largest block Image::extract hands out, in samples.
constexpr int64_t kMaxBlockSamples = int64_t(1) << 31;

}  // namespace

Image::~Image() = default;

std::unique_ptr<PixelData> Image::extract(const int section_support[2][2]) const {
    const int64_t w = int64_t(section_support[0][1]) - section_support[0][0] + 1;
    const int64_t h = int64_t(section_support[1][1]) - section_support[1][0] + 1;
    const int n = bands();
    if (w < 1 || h < 1 || n < 1 || w * h > kMaxBlockSamples / n)
        throw Error("Error: invalid rectangle in Image::extract( int section_support[2][2] ).");
    const size_t plane = size_t(w) * size_t(h);
    const size_t total = plane * size_t(n);
    const int colour = n != 1 ? 1 : 0;

    switch (dataType()) {
        case kImageUInt8: {
            std::vector<unsigned char> buffer(total, 0);
            const unsigned char* noData = noDataValue();
            // Zero already: only a no-data value is filled in.
            for (int b = 0; noData && b < n && b < 3; ++b)
                std::fill(buffer.begin() + b * plane, buffer.begin() + (b + 1) * plane, noData[b]);
            extract(section_support, buffer.data());
            return std::make_unique<PixelData>(std::move(buffer), int(w), int(h), colour, codedBands());
        }
        case kImageUInt16: {
            std::vector<unsigned short> buffer(total, 0);
            extract(section_support, buffer.data());
            return std::make_unique<PixelData>(std::move(buffer), int(w), int(h), colour, codedBands());
        }
        case kImageFloat: {
            std::vector<float> buffer(total, 0.0f);
            extract(section_support, buffer.data());
            return std::make_unique<PixelData>(std::move(buffer), int(w), int(h), colour, codedBands());
        }
        default:
            throw Error("Error: unknown data type in Image::extract( int section_support[2][2] ).");
    }
}

void Image::extract(const int[2][2], unsigned short*) const {
    throw Error("Error: floating point extraction not supported for input file type.");
}

void Image::extract(const int[2][2], float*) const {
    throw Error("Error: floating point extraction not supported for input file type.");
}

double Image::xcoord() const { throw Error("xcoord function not defined for this image class."); }
double Image::ycoord() const { throw Error("ycoord function not defined for this image class."); }
double Image::xscale() const { throw Error("xscale function not defined for this image class."); }
double Image::yscale() const { throw Error("yscale function not defined for this image class."); }

void Image::writeWorldFile(const Lumetra::FileSpecification& outputName) const {
    if (!hasGeoreference()) return;
    const Lumetra::FileSpecification world = outputName.setExtension("wvw");
    const double values[6] = {xscale(), xrotation(), yrotation(), yscale(), xcoord(), ycoord()};
    FILE* f = world.open("w");
    if (!f) throw WriteError(world);
    bool ok = true;
    for (double v : values) ok = std::fprintf(f, "%30.15lf\n", v) > 0 && ok;
    // A full disk shows up at the close as often as at the writes.
    if (std::fclose(f) != 0 || !ok) throw WriteError(world);
}
