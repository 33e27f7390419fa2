// A watermark JPEG from arbitrary bytes: loaded through JpegWatermark and,
// when it loads, stamped over a small RGB and a small grey buffer at a
// position taken from the input, so hostile sizes reach the placement too.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzScratch.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "imaging/pixels/ImageBuffer.h"
#include "imaging/transform/TransformerRegistry.h"
#include "imaging/watermark/JpegWatermark.h"

using namespace Lumetra;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    registerStandardFactories();
    return 0;
}

namespace {

void stamp(const Watermark& watermark, int colorSpace, int position) {
    ImageBuffer buffer;
    buffer.info().setColorSpace(colorSpace);
    buffer.attachWatermark(watermark, position);
    buffer.setStripHeight(16);
    buffer.setImageRect(Rectangle(Point(0, 0, 0), Point(39, 39, 0)));
    ImageBufferInfo source;
    source.setColorSpace(colorSpace);
    std::vector<unsigned char> rows(40 * 3 * 16, 99);
    buffer.begin();
    while (buffer.hasStrip()) {
        buffer.writeData(rows.data(), 40, buffer.currentStrip().height(), 40 * source.samplesPerPixel, source, 0, 0,
                         0);
        buffer.stripDone();
    }
    buffer.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::scratchPath("mark.jpg");
    fuzz::writeFile(path, data, size);
    // The last byte picks the position; JPEG decoding ignores bytes after
    // the end-of-image marker.
    const int position = size ? data[size - 1] % 11 : 9;
    try {
        JpegWatermark watermark{FileSpecification(path)};
        stamp(watermark, ImageBufferInfo::RGB, position);
        stamp(watermark, ImageBufferInfo::Grayscale, position);
    } catch (const Exception&) {
    } catch (const Error&) {
    }
    return 0;
}
