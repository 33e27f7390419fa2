#include "encoder/codec/ImagePixelSource.h"

#include <algorithm>

#include "core/Error.h"
#include "encoder/rawimage/Image.h"
#include "encoder/rawimage/PixelData.h"

namespace {

// A block extracted and waiting for its conversion.
struct FetchedPixels : BlockPixelSource::Fetched {
    explicit FetchedPixels(std::unique_ptr<PixelData> b) : block(std::move(b)) {}
    std::unique_ptr<PixelData> block;
};

}  // namespace

ImagePixelSource::ImagePixelSource(const Image& image, EncoderInterrupt interrupt)
    : image_(image), interrupt_(std::move(interrupt)) {}

int ImagePixelSource::width() const { return image_.width(); }
int ImagePixelSource::height() const { return image_.height(); }
int ImagePixelSource::bands() const { return image_.codedBands(); }
bool ImagePixelSource::fullWidth() const { return image_.fullWidth(); }

std::unique_ptr<PixelData> ImagePixelSource::extract(int x0, int x1, int y0, int y1) const {
    // Block coordinates count from the image's first pixel; the file's
    // support may start elsewhere.
    int support[2][2];
    image_.support(support);
    const int rect[2][2] = {{support[0][0] + x0, support[0][0] + x1},
                            {support[1][0] + y0, support[1][0] + y1}};
    std::unique_ptr<PixelData> block = image_.extract(rect);
    if (block->bands() < bands() || block->planeSize() != size_t(x1 - x0 + 1) * size_t(y1 - y0 + 1))
        throw Error("Error encountered in subroutine split.");
    return block;
}

void ImagePixelSource::transform(PixelData& block) const {
    if (image_.colorScheme() == kSchemeCMYK)
        block.yiqk();
    else
        block.yiq();
}

void ImagePixelSource::copyPlanes(const PixelData& block, float* planes) const {
    const size_t count = block.planeSize() * size_t(bands());
    std::copy(block.floats(), block.floats() + count, planes);
}

int ImagePixelSource::readBlock(int x0, int x1, int y0, int y1, float* planes) {
    std::unique_ptr<PixelData> block = extract(x0, x1, y0, y1);
    if (interrupted()) return 1;
    const bool wasFloat = block->convert2float();
    if (interrupted()) return 1;
    if (!wasFloat) {
        transform(*block);
        if (interrupted()) return 1;
    }
    copyPlanes(*block, planes);
    return 0;
}

int ImagePixelSource::fetchBlock(int x0, int x1, int y0, int y1, float*, std::unique_ptr<Fetched>& fetched) {
    readFetched(x0, x1, y0, y1, fetched);
    return pollFetched();
}

bool ImagePixelSource::fetchesConcurrently() const { return image_.extractsConcurrently(); }

void ImagePixelSource::readFetched(int x0, int x1, int y0, int y1, std::unique_ptr<Fetched>& fetched) {
    fetched = std::make_unique<FetchedPixels>(extract(x0, x1, y0, y1));
}

void ImagePixelSource::convertBlock(std::unique_ptr<Fetched>& fetched, float* planes) {
    auto* pixels = static_cast<FetchedPixels*>(fetched.get());
    if (!pixels || !pixels->block) throw Error("Error encountered in subroutine split.");
    PixelData& block = *pixels->block;
    if (block.sampleType() == PixelData::kUInt8 && block.bands() == bands()) {
        // Straight into the planes, without a float copy of the block.
        block.codedPlanes(planes, image_.colorScheme() == kSchemeCMYK);
    } else {
        if (!block.convert2float()) transform(block);
        copyPlanes(block, planes);
    }
    fetched.reset();
}

bool ImagePixelSource::convertsBands(const Fetched& fetched) const {
    const auto& pixels = static_cast<const FetchedPixels&>(fetched);
    return pixels.block && pixels.block->bands() == bands() &&
           pixels.block->codesByBand(image_.colorScheme() == kSchemeCMYK);
}

void ImagePixelSource::convertRows(const Fetched& fetched, int band, int first, int rows, float* out) {
    const auto& pixels = static_cast<const FetchedPixels&>(fetched);
    if (!pixels.block) throw Error("Error encountered in subroutine split.");
    pixels.block->codedRows(band, first, rows, out, image_.colorScheme() == kSchemeCMYK);
}
