#include "encoder/codec/ImagePixelSource.h"

#include <algorithm>

#include "core/Error.h"
#include "encoder/rawimage/Image.h"
#include "encoder/rawimage/PixelData.h"

ImagePixelSource::ImagePixelSource(const Image& image, EncoderInterrupt interrupt)
    : image_(image), interrupt_(std::move(interrupt)) {}

int ImagePixelSource::width() const { return image_.width(); }
int ImagePixelSource::height() const { return image_.height(); }
int ImagePixelSource::bands() const { return image_.codedBands(); }
bool ImagePixelSource::fullWidth() const { return image_.fullWidth(); }

int ImagePixelSource::readBlock(int x0, int x1, int y0, int y1, float* planes) {
    // Block coordinates count from the image's first pixel; the file's
    // support may start elsewhere.
    int support[2][2];
    image_.support(support);
    const int rect[2][2] = {{support[0][0] + x0, support[0][0] + x1},
                            {support[1][0] + y0, support[1][0] + y1}};
    std::unique_ptr<PixelData> block = image_.extract(rect);
    if (interrupted()) return 1;
    const bool wasFloat = block->convert2float();
    if (interrupted()) return 1;
    if (!wasFloat) {
        if (image_.colorScheme() == kSchemeCMYK)
            block->yiqk();
        else
            block->yiq();
    }
    if (interrupted()) return 1;
    const size_t count = block->planeSize() * size_t(bands());
    if (block->bands() < bands() || block->planeSize() != size_t(x1 - x0 + 1) * size_t(y1 - y0 + 1))
        throw Error("Error encountered in subroutine split.");
    std::copy(block->floats(), block->floats() + count, planes);
    return 0;
}
