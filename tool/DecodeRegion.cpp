#include "tool/DecodeRegion.h"

#include <algorithm>
#include <cmath>

#include "core/Exception.h"
#include "decoder/WavraDecoder.h"
#include "imaging/pixels/BIPFileBuffer.h"
#include "imaging/pixels/PassThroughImageBuffer.h"

namespace {

// Hands each finished strip to a row consumer.
class RowConsumerBuffer : public Lumetra::PassThroughImageBuffer {
public:
    explicit RowConsumerBuffer(const RowConsumer& consumer) : consumer_(consumer) {
        setBackground(Lumetra::Pixel(info_));
    }

protected:
    void flushStrip() override {
        const int rows = stripRect_.height();
        if (rows > 0) consumer_(stripAddress(0, 0, 0), rows, rowStride_);
    }

private:
    const RowConsumer& consumer_;
};

// A negative scale counts as 0; one beyond the file's levels is refused.
int checkedScale(const Lumetra::WavraFile& file, int32_t scale) {
    const int s = std::max<int32_t>(scale, 0);
    if (s > file.levels()) throw Lumetra::Exception(kIncompatibleScaleMessage);
    return s;
}

}  // namespace

const char* const kIncompatibleScaleMessage =
    "Error: incompatible scale parameter input for image synthesis.\n scale is less than 0 or greater than "
    "nlev\n";

int32_t centreAtScale(int32_t v, int scale) {
    if (scale <= 0) return v;
    // |v / 2^scale| <= |v|, so the truncated value always fits.
    return int32_t(std::trunc(double(v) * (1.0 / std::ldexp(1.0, scale))));
}

Lumetra::WavraNavigator regionNavigator(const Lumetra::WavraFile& file, bool icon, int32_t scale, int32_t x0,
                                        int32_t y0, int32_t width, int32_t height) {
    if (icon) return Lumetra::WavraNavigator::forRegion(file, true, 0, 0, 0, 0, 0);
    const int s = checkedScale(file, scale);
    return Lumetra::WavraNavigator::forRegion(file, false, s, centreAtScale(x0, s), centreAtScale(y0, s),
                                              width, height);
}

Lumetra::WavraNavigator wholeImageNavigator(const Lumetra::WavraFile& file, int32_t scale) {
    const int s = checkedScale(file, scale);
    int32_t w = 0, h = 0;
    Lumetra::imageSizeAtScale(file.width(), file.height(), s, w, h);
    return Lumetra::WavraNavigator(file, s, Lumetra::Rectangle::fromCorners(0, 0, w - 1, h - 1));
}

int decodedColorSpace(const Lumetra::WavraFile& file) {
    using Lumetra::ImageBufferInfo;
    return file.colorScheme().colorSpace == ImageBufferInfo::Grayscale ? ImageBufferInfo::Grayscale
                                                                       : ImageBufferInfo::RGB;
}

void decodeToRawFile(Lumetra::WavraNavigator& navigator, const Lumetra::FileSpecification& rawFile,
                     const Lumetra::Watermark* watermark, int position) {
    // The buffer writes the header when the decode begins and closes the raw
    // file when it goes out of scope.
    Lumetra::BIPFileBuffer buffer(rawFile, navigator.geoReference());
    if (watermark) buffer.attachWatermark(*watermark, position);
    buffer.info().setColorSpace(decodedColorSpace(navigator.file()));
    buffer.setStripHeight(kDecodeStripHeight);
    navigator.decode(buffer);
}

void decodeToRows(Lumetra::WavraNavigator& navigator, const RowConsumer& consumer) {
    RowConsumerBuffer buffer(consumer);
    buffer.info().setColorSpace(decodedColorSpace(navigator.file()));
    buffer.setStripHeight(kDecodeStripHeight);
    navigator.decode(buffer);
}
