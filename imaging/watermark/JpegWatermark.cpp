#include "imaging/watermark/JpegWatermark.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "core/Exception.h"
#include "core/Geometry.h"
#include "imaging/pixels/ImageBuffer.h"
#include "imaging/watermark/JpegReader.h"

namespace Lumetra {

JpegWatermark::JpegWatermark(const FileSpecification& file) {
    JpegReader reader(file);
    const int components = reader.components();
    if (components != 1 && components != 3) throw Exception("This watermark must be Grayscale or RGB!\n");

    const int64_t pictureRowBytes = int64_t(reader.width()) * components;
    const int64_t pictureBytes = pictureRowBytes * reader.height();
    if (pictureBytes > kMaxPictureBytes) {
        char message[200];
        std::snprintf(message, sizeof message,
                      "The watermark is too large: %d x %d pixels with %d components need %" PRId64
                      " bytes, more than %" PRId64 ".",
                      reader.width(), reader.height(), components, pictureBytes, kMaxPictureBytes);
        throw Exception(message);
    }

    ImageBufferInfo pictureInfo;
    pictureInfo.bitsPerSample = reader.precision();
    pictureInfo.setColorSpace(components == 1 ? ImageBufferInfo::Grayscale : ImageBufferInfo::RGB);

    // The rows as the library delivers them: BIP, one sample per band.
    ImageBufferInfo rowInfo;
    rowInfo.setColorSpace(pictureInfo.colorSpace, pictureInfo.bands);
    rowInfo.setSamplesPerPixel(pictureInfo.bands);
    rowInfo.layout = ImageBufferInfo::BIP;

    // The first row is decoded before the picture's memory is taken, so a
    // file that only claims a large picture fails without allocating it.
    std::vector<unsigned char> row(static_cast<size_t>(pictureRowBytes));
    reader.start();
    reader.readRow(row.data());

    // One strip spanning the whole picture; each decoded row is converted
    // straight into its place, so only one row is held besides the picture.
    ImageBuffer picture(pictureInfo);
    picture.setImageRect(Rectangle(Point(0, 0, 0), Point(reader.width() - 1, reader.height() - 1, 0)));
    picture.setStripHeight(0);
    picture.begin();
    for (int y = 0; y < reader.height(); ++y) {
        if (y > 0) reader.readRow(row.data());
        picture.writeData(row.data(), reader.width(), 1, static_cast<int>(pictureRowBytes), rowInfo, 0, y, 0);
    }
    reader.finish();
    picture.end();

    pixels.adopt(picture.releaseData(), static_cast<size_t>(pictureBytes));
    info = pictureInfo;
    width = reader.width();
    height = reader.height();
    rowBytes = static_cast<int>(pictureRowBytes);
}

JpegWatermark& JpegWatermark::operator=(const Watermark& other) {
    Watermark::operator=(other);
    return *this;
}

}  // namespace Lumetra
