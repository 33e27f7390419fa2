#include "imaging/pixels/ImageBuffer.h"

#include <algorithm>
#include <climits>
#include <new>

#include "core/Exception.h"
#include "core/WorkerPool.h"
#include "imaging/pixels/Raster.h"
#include "imaging/transform/ImageTransformer.h"
#include "imaging/transform/TransformerRegistry.h"

namespace Lumetra {

namespace {

const char* const kTooLarge = "Image buffer too large: cannot allocate its memory";

int32_t clampToInt(int64_t v) {
    return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v)));
}

// Area of a rectangle in 64 bits (negative sides count as empty).
int64_t area(const Rectangle& r) {
    const int64_t w = int64_t(r.x1()) - r.x0() + 1;
    const int64_t h = int64_t(r.y1()) - r.y0() + 1;
    return (w > 0 && h > 0) ? w * h : 0;
}

}  // namespace

ImageBuffer::ImageBuffer() = default;

ImageBuffer::ImageBuffer(const ImageBufferInfo& info) : info_(info) {}

ImageBuffer::~ImageBuffer() { freeData(); }

void ImageBuffer::freeData() {
    if (ownsData_) delete[] data_;
    data_ = nullptr;
    capacity_ = 0;
}

unsigned char* ImageBuffer::releaseData() {
    if (!ownsData_) return nullptr;
    unsigned char* taken = data_;
    data_ = nullptr;
    capacity_ = 0;
    ownsData_ = false;
    return taken;
}

unsigned char* ImageBuffer::pixelAddress(int x, int y, int) {
    return data_ + int64_t(x) * pixelBytes() + int64_t(y) * rowStride_;
}

unsigned char* ImageBuffer::data() { return data_; }

unsigned char* ImageBuffer::stripMemory(int64_t, const Rectangle& strip) {
    return data_ + (int64_t(strip.x0()) - imageRect_.x0()) * pixelBytes() +
           (int64_t(strip.y0()) - imageRect_.y0()) * rowStride_;
}

unsigned char* ImageBuffer::stripAddress(int x, int y, int) {
    return stripMemory(stripIndex_, stripRect_) + int64_t(x) * pixelBytes() + int64_t(y) * rowStride_;
}

void ImageBuffer::computeRowStride() {
    const int64_t width = std::max<int64_t>(0, int64_t(imageRect_.x1()) - imageRect_.x0() + 1);
    int64_t stride = int64_t(std::max(0, pixelBytes())) * width;
    const int64_t align = info_.rowAlignment;
    if (align > 1 && stride % align != 0) stride += align - stride % align;
    rowStride_ = stride;
}

int64_t ImageBuffer::computeSize() {
    const int64_t height = std::max<int64_t>(0, int64_t(imageRect_.y1()) - imageRect_.y0() + 1);
    // Checked here, before the product can overflow.
    if (rowStride_ > 0 && height > kMaxBufferBytes / rowStride_) return kMaxBufferBytes + 1;
    return height * rowStride_;
}

void ImageBuffer::allocateData() {
    if (size_ < 0 || size_ > kMaxBufferBytes) throw Exception(kTooLarge);
    if (data_ && size_ <= capacity_) return;
    if (data_ && !ownsData_) return;  // memory lent to the buffer is used as it is
    freeData();
    data_ = new (std::nothrow) unsigned char[size_t(std::max<int64_t>(size_, 1))];
    if (!data_) throw Exception(kTooLarge);
    ownsData_ = true;
    capacity_ = size_;
}

Rectangle ImageBuffer::clipToImage(const Rectangle& strip) const {
    Rectangle r(strip.topLeft(), strip.bottomRight());  // refuses negative sides
    return r.intersect(imageRect_);
}

void ImageBuffer::begin() {
    active_ = true;
    stripIndex_ = 0;

    if (stripStep_.dy < 1) stripStep_.dy = std::max(0, imageRect_.height());
    computeRowStride();
    size_ = computeSize();
    allocateData();

    const int64_t columns = int64_t(imageRect_.x1()) - imageRect_.x0() + 1;
    stripRect_ = clipToImage(
        Rectangle::fromCorners(0, 0, clampToInt(columns), clampToInt(int64_t(stripStep_.dy) - 1)));

    if (!watermark_.isEmpty()) placeWatermark();

    if (background_.hasValues()) {
        const ImageBufferInfo& b = background_.info();
        if (b.colorSpace != info_.colorSpace || b.bands != info_.bands || b.sampleType != info_.sampleType ||
            b.bitsPerSample != info_.bitsPerSample) {
            ImageBufferInfo format = info_;
            format.layout = ImageBufferInfo::BIP;
            format.samplesPerPixel = format.bands;
            format.setBandMap(nullptr);
            Pixel converted(format);
            background_.convertTo(converted);
            background_ = converted;
        }
    }

    onStart();
    clearStrip();
}

bool ImageBuffer::hasStrip() const { return area(stripRect_) > 0; }

Rectangle ImageBuffer::stripAfter(const Rectangle& s) const {
    return clipToImage(Rectangle::fromCorners(
        clampToInt(int64_t(s.x0()) + stripStep_.dx), clampToInt(int64_t(s.y0()) + stripStep_.dy),
        clampToInt(int64_t(s.x1()) + stripStep_.dx), clampToInt(int64_t(s.y1()) + stripStep_.dy),
        clampToInt(int64_t(s.z0()) + stripStep_.dz)));
}

namespace {

// Below this many pixels a write is converted on the calling thread alone.
constexpr int64_t kSharedWritePixels = 65536;

}  // namespace

void ImageBuffer::prepareWriters(int writers, const ImageBufferInfo& sourceInfo) {
    if (!transformer_) {
        transformer_ = findTransformer(info_, sourceInfo);
        if (!transformer_) throw Exception("No transformer registered");
    }
    while (groupTransformers_.size() + 1 < std::size_t(std::max(writers, 1))) {
        groupTransformers_.push_back(findTransformer(info_, sourceInfo));
        if (!groupTransformers_.back()) throw Exception("No transformer registered");
    }
}

ImageTransformer& ImageBuffer::writerTransformer(int writer) {
    if (writer < 0 || std::size_t(writer) > groupTransformers_.size() || !transformer_)
        throw Exception("No transformer registered");
    return writer == 0 ? *transformer_ : *groupTransformers_[std::size_t(writer) - 1];
}

void ImageBuffer::convert(ImageTransformer& t, const void* samples, int width, int height, int rowBytes,
                          const ImageBufferInfo& sourceInfo, unsigned char* destination, int columns,
                          int rows) {
    t.setSourceWindow(sourceWindow_);
    t.setSourceLevel(sourceLevel_);
    t.setDestinationWindow(destinationWindow_);
    t.setDestinationLevel(destinationLevel_);
    t.setSource(samples, width, height, rowBytes, sourceInfo);
    t.setDestination(destination, columns, rows, rowStride_, info_);
    if (clut_.hasEntries()) t.setDestinationClut(clut_);
    t.transform();
}

void ImageBuffer::writeData(const void* samples, int width, int height, int rowBytes,
                            const ImageBufferInfo& sourceInfo, int x, int y, int z, WorkerPool* pool, int writer) {
    ImageTransformer* const own = writer < 0 ? nullptr : &writerTransformer(writer);
    if (!own) {
        prepareWriters(1, sourceInfo);
        onWrite();
    }

    if (!data_ || !hasStrip()) throw Exception("Image buffer write outside the current strip");
    if (x < 0 || y < 0 || x >= stripRect_.width() || y >= stripRect_.height())
        throw Exception("Image buffer write outside the current strip");
    // Only the part that lies inside the strip is written.
    const int columns = std::max(0, std::min(width, stripRect_.width() - x));
    const int rows = std::max(0, std::min(height, stripRect_.height() - y));

    if (own) {
        convert(*own, samples, width, height, rowBytes, sourceInfo, stripAddress(x, y, z), columns, rows);
        return;
    }
    int groups = 1;
    if (pool && pool->threads() > 1 && int64_t(columns) * rows >= kSharedWritePixels) {
        groups = std::min(rows, 4 * pool->threads());
        prepareWriters(groups, sourceInfo);
    }
    runJobs(groups > 1 ? pool : nullptr, groups, [&](int group) {
        const int r0 = int(int64_t(rows) * group / groups), r1 = int(int64_t(rows) * (group + 1) / groups);
        convert(writerTransformer(group), static_cast<const unsigned char*>(samples) + int64_t(r0) * rowBytes,
                width, groups > 1 ? r1 - r0 : height, rowBytes, sourceInfo, stripAddress(x, y + r0, z),
                columns, r1 - r0);
    });
}

void ImageBuffer::writeAhead(int64_t index, const Rectangle& strip, const void* samples, int width,
                             int height, int rowBytes, const ImageBufferInfo& sourceInfo, int x, int y,
                             int writer) {
    ImageTransformer& t = writerTransformer(writer);
    if (!data_ || area(strip) == 0 || index < stripIndex_ || index - stripIndex_ > stripsAhead())
        throw Exception("Image buffer write outside the current strip");
    if (x < 0 || y < 0 || x >= strip.width() || y >= strip.height())
        throw Exception("Image buffer write outside the current strip");
    const int columns = std::max(0, std::min(width, strip.width() - x));
    const int rows = std::max(0, std::min(height, strip.height() - y));
    convert(t, samples, width, height, rowBytes, sourceInfo,
            stripMemory(index, strip) + int64_t(x) * pixelBytes() + int64_t(y) * rowStride_, columns, rows);
}

void ImageBuffer::stripDone(bool clearNext) {
    stampWatermark();
    onStripDone();
    stripRect_ = nextStripRect();
    ++stripIndex_;
    if (clearNext) clearStrip();
}

void ImageBuffer::end() {
    onFinish();
    transformer_.reset();
    groupTransformers_.clear();
    active_ = false;
    ++runCount_;
}

void ImageBuffer::attachWatermark(const Watermark& watermark, int position) {
    watermark_ = watermark;
    watermarkPosition_ = position;
    watermarkTransformer_.reset();
}

void ImageBuffer::clearStrip() {
    if (!background_.hasValues() || !data_ || !hasStrip()) return;
    const int w = stripRect_.width(), h = stripRect_.height();
    unsigned char* at = stripAddress(0, 0, 0);
    switch (info_.sampleType) {
        case ImageBufferInfo::UInt8:
            Raster<unsigned char>(at, w, h, rowStride_, info_).fill(background_);
            break;
        case ImageBufferInfo::UInt16:
            Raster<unsigned short>(reinterpret_cast<unsigned short*>(at), w, h, rowStride_, info_)
                .fill(background_);
            break;
        case ImageBufferInfo::Float32:
            Raster<float>(reinterpret_cast<float*>(at), w, h, rowStride_, info_).fill(background_);
            break;
        default:
            throw Exception("Invalid properties.");
    }
}

void ImageBuffer::placeWatermark() {
    const int64_t W = int64_t(imageRect_.x1()) - imageRect_.x0() + 1;
    const int64_t H = int64_t(imageRect_.y1()) - imageRect_.y0() + 1;
    const int64_t w = watermark_.width, h = watermark_.height;
    const int64_t right = W - w, bottom = H - h;
    const int64_t centreX = W / 2 - w / 2, centreY = H / 2 - h / 2;
    int64_t x = right, y = bottom;
    switch (watermarkPosition_) {
        case WatermarkCenter:
            x = centreX;
            y = centreY;
            break;
        case WatermarkMiddleLeft:
            x = 0;
            y = centreY;
            break;
        case WatermarkMiddleRight:
            x = right;
            y = centreY;
            break;
        case WatermarkTopLeft:
            x = 0;
            y = 0;
            break;
        case WatermarkTopCenter:
            x = centreX;
            y = 0;
            break;
        case WatermarkTopRight:
            x = right;
            y = 0;
            break;
        case WatermarkBottomLeft:
            x = 0;
            y = bottom;
            break;
        case WatermarkBottomCenter:
            x = centreX;
            y = bottom;
            break;
        default:
            break;
    }
    const char* invalid = "Error constructing rectangle object: points do not specify a valid rectangle.";
    const int64_t x1 = x + w - 1, y1 = y + h - 1;
    if (x < INT32_MIN || y < INT32_MIN || x1 > INT32_MAX || y1 > INT32_MAX) throw GeometryException(invalid);
    watermarkRect_ = Rectangle(Point(int32_t(x), int32_t(y), 0), Point(int32_t(x1), int32_t(y1), 0));
}

void ImageBuffer::stampWatermark() {
    if (watermark_.isEmpty() || !data_) return;
    Rectangle overlap = stripRect_;
    overlap.intersect(watermarkRect_);
    if (area(overlap) == 0) return;
    if (!watermarkTransformer_) {
        watermarkTransformer_ = findTransformer(info_, watermark_.info);
        if (!watermarkTransformer_) return;
    }
    const int ow = overlap.width(), oh = overlap.height();
    if (ow < 0 || oh < 0)
        throw GeometryException("Error construction a dimension object: Cannot have negative dimensions");

    // The rows read must lie inside the watermark's memory.
    const int64_t pixelSize = watermark_.info.bytesPerPixel();
    const int64_t held = int64_t(watermark_.pixels.size());
    if (!watermark_.pixels || pixelSize <= 0 || watermark_.rowBytes < int64_t(watermark_.width) * pixelSize ||
        (held > 0 && held < watermark_.byteSize()))
        throw Exception("Watermark pixels do not match its size");

    unsigned char* destination =
        stripAddress(overlap.x0() - stripRect_.x0(), overlap.y0() - stripRect_.y0(), 0);
    const unsigned char* source = watermark_.pixels.data() +
                                  (int64_t(overlap.y0()) - watermarkRect_.y0()) * watermark_.rowBytes +
                                  pixelSize * (int64_t(overlap.x0()) - watermarkRect_.x0());
    watermarkTransformer_->setDestination(destination, ow, oh, rowStride_, info_);
    watermarkTransformer_->setSource(source, ow, oh, watermark_.rowBytes, watermark_.info);
    watermarkTransformer_->transform();
}

}  // namespace Lumetra
