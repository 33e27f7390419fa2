// Reading: a file's facts, windows decoded into the caller's memory, and
// the command-line programs' regions decoded into rows or a raw file.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "api/Library.h"
#include "core/Exception.h"
#include "core/RowHandOff.h"
#include "core/WorkerPool.h"
#include "decoder/WavraDecoder.h"
#include "decoder/WavraNavigator.h"
#include "format/InformationListing.h"
#include "format/WavraFile.h"
#include "imaging/pixels/BIPFileBuffer.h"
#include "imaging/pixels/PassThroughImageBuffer.h"
#include "imaging/watermark/JpegWatermark.h"

namespace wavra {

struct Reader::Body {
    explicit Body(const Lumetra::WavraFile& f) : file(f) {}
    int threads = 0;
    Lumetra::WavraFile file;
    ImageInfo info;
};

struct Watermark::Body {
    Lumetra::JpegWatermark picture;
};

namespace {

using Lumetra::ImageBufferInfo;

// Rows per strip of every decode. Short strips keep a strip's planes in the
// caches: a 4096 x 4096 RGB window decodes fastest in strips of 32 rows
// (64 rows: 5% slower, 128: 25%, with 2.5 times the memory).
constexpr int kStripHeight = 32;
// Strips handed to an output thread that may wait for it at once; the
// buffer keeps two more in memory, the current strip and the next, which
// decoders that run ahead of the others may fill meanwhile.
constexpr int kWaitingStrips = 2;
constexpr int kStripMemories = kWaitingStrips + 2;

const char* const kIncompatibleScale =
    "Error: incompatible scale parameter input for image synthesis.\n scale is less than 0 or greater than "
    "nlev\n";

// ---------------------------------------------------------------- facts

ColorSpace publicColorSpace(int colorSpace) {
    if (colorSpace == ImageBufferInfo::Grayscale) return ColorSpace::Grey;
    if (colorSpace == ImageBufferInfo::CMYK) return ColorSpace::CMYK;
    return ColorSpace::RGB;
}

// The shortest text that reads back as the same value of the cell's type.
void appendNumber(std::string& out, const Lumetra::MetadataElement::Cell& cell) {
    char text[64];
    const std::to_chars_result r = cell.type == Lumetra::TypeFloat32
                                       ? std::to_chars(text, text + sizeof text, float(cell.number))
                                       : std::to_chars(text, text + sizeof text, cell.number);
    out.append(text, r.ptr);
}

Tag tagOf(const Lumetra::MetadataElement& element) {
    Tag tag;
    tag.name = element.name();
    for (int32_t row = 0; row < element.height(); ++row) {
        for (int32_t column = 0; column < element.width(); ++column) {
            const Lumetra::MetadataElement::Cell& cell = element.cell(row, column);
            if (!tag.value.empty()) tag.value += ' ';
            if (cell.type == Lumetra::TypeText)
                tag.value += cell.text;
            else if (Lumetra::isNumericMetadataType(cell.type))
                appendNumber(tag.value, cell);
        }
    }
    return tag;
}

ImageInfo infoOf(const Lumetra::WavraFile& file) {
    ImageInfo info;
    info.width = file.width();
    info.height = file.height();
    info.bands = file.bands();
    info.colorSpace = publicColorSpace(file.colorScheme().colorSpace);
    info.levels = file.levels();
    info.version = file.version();
    Lumetra::GeoReference g;
    g.present = file.isGeoreferenced();
    g.xPixelSize = file.xResolution();
    g.yPixelSize = file.yResolution();
    g.upperLeftX = file.xOrigin();
    g.upperLeftY = file.yOrigin();
    g.xRotation = file.xRotation();
    g.yRotation = file.yRotation();
    info.geo = detail::publicGeoReference(g);
    info.noData = file.noDataValue();
    for (const Lumetra::MetadataElement& element : file.metadata().elements())
        info.tags.push_back(tagOf(element));
    return info;
}

// ---------------------------------------------------------------- navigators

// A negative scale counts as 0; one beyond the file's levels is refused.
int checkedScale(const Lumetra::WavraFile& file, int32_t scale) {
    const int s = std::max<int32_t>(scale, 0);
    if (s > file.levels()) throw Lumetra::Exception(kIncompatibleScale);
    return s;
}

// The centre coordinate brought to `scale`: v / 2^scale in double precision,
// truncated toward zero (v itself for a scale of 0 or below).
int32_t centreAtScale(int32_t v, int scale) {
    if (scale <= 0) return v;
    // |v / 2^scale| <= |v|, so the truncated value always fits.
    return int32_t(std::trunc(double(v) * (1.0 / std::ldexp(1.0, scale))));
}

Lumetra::Rectangle wholeImageAt(const Lumetra::WavraFile& file, int scale) {
    int32_t w = 0, h = 0;
    Lumetra::imageSizeAtScale(file.width(), file.height(), scale, w, h);
    return Lumetra::Rectangle::fromCorners(0, 0, w - 1, h - 1);
}

Lumetra::WavraNavigator navigatorFor(const Lumetra::WavraFile& file, const Region& r) {
    if (r.icon) return Lumetra::WavraNavigator::forRegion(file, true, 0, 0, 0, 0, 0);
    const int s = checkedScale(file, r.scale);
    if (r.wholeImage) return Lumetra::WavraNavigator(file, s, wholeImageAt(file, s));
    return Lumetra::WavraNavigator::forRegion(file, false, s, centreAtScale(r.centreX, s),
                                              centreAtScale(r.centreY, s), r.width, r.height);
}

// Grayscale for a grey file, RGB for every other colour scheme.
int greyOrRGB(const Lumetra::WavraFile& file) {
    return file.colorScheme().colorSpace == ImageBufferInfo::Grayscale ? ImageBufferInfo::Grayscale
                                                                       : ImageBufferInfo::RGB;
}

int colorSpaceFor(const Lumetra::WavraFile& file, SampleLayout layout) {
    const int space = file.colorScheme().colorSpace;
    if (layout == SampleLayout::Native && space == ImageBufferInfo::CMYK) return ImageBufferInfo::CMYK;
    return greyOrRGB(file);
}

// ---------------------------------------------------------------- buffers

// Strips written straight into the caller's memory: the whole window is
// the buffer's image, its rows the caller's rows.
class CallerMemoryBuffer : public Lumetra::ImageBuffer {
public:
    CallerMemoryBuffer(int colorSpace, uint8_t* memory, size_t rowStride) : stride_(int64_t(rowStride)) {
        info_.setColorSpace(colorSpace);
        info_.setBandMap(nullptr);
        setBackground(Lumetra::Pixel(info_));  // already the buffer's format: zero samples
        setStripHeight(kStripHeight);
        data_ = memory;
        ownsData_ = false;
    }

    // The whole window is in memory: decoders may run strips ahead as far
    // as they gain by it.
    int stripsAhead() const override { return 2; }

protected:
    void computeRowStride() override { rowStride_ = stride_; }
    // Nothing to allocate: the memory is lent.
    int64_t computeSize() override { return 0; }

private:
    int64_t stride_;
};

// Hands each finished strip to a row sink: on this thread, or with
// `overlapped` on a thread of its own while the next strip is decoded.
class RowSinkBuffer : public Lumetra::PassThroughImageBuffer {
public:
    RowSinkBuffer(const RowSink& sink, bool overlapped) : sink_(sink) {
        setBackground(Lumetra::Pixel(info_));
        if (overlapped) {
            handOff_.reset(new Lumetra::RowHandOff(sink, kWaitingStrips));
            setStripMemories(kStripMemories, kWaitingStrips);
        }
    }

protected:
    void flushStrip() override {
        const int rows = stripRect_.height();
        if (rows <= 0) return;
        if (handOff_) {
            handOff_->hand(stripAddress(0, 0, 0), rows, size_t(rowStride_));
        } else {
            sink_(stripAddress(0, 0, 0), rows, size_t(rowStride_));
        }
    }
    void onFinish() override {
        if (handOff_) handOff_->finish();
    }

private:
    const RowSink& sink_;
    std::unique_ptr<Lumetra::RowHandOff> handOff_;
};

// A raw BIP file whose strips are written on a thread of their own while
// the next strip is decoded.
class OverlappedBIPFileBuffer : public Lumetra::BIPFileBuffer {
public:
    OverlappedBIPFileBuffer(const Lumetra::FileSpecification& dataFile, const Lumetra::GeoReference& geo)
        : BIPFileBuffer(dataFile, geo) {
        setStripMemories(kStripMemories, kWaitingStrips);
    }

protected:
    void flushStrip() override {
        const int rows = stripRect_.height();
        if (rows > 0) handOff_.hand(stripAddress(0, 0, 0), rows, size_t(rowStride_));
    }
    void onFinish() override {
        handOff_.finish();
        BIPFileBuffer::onFinish();
    }

private:
    Lumetra::RowHandOff handOff_{[this](const uint8_t* rows, int count, size_t rowBytes) {
                                     writeRows(rows, int64_t(count) * int64_t(rowBytes));
                                 },
                                 kWaitingStrips};
};

// The threads a decode uses: as set, or by default one thread per two
// million pixels of the region, up to the online cores (below that a
// second thread's start and the hand-overs cost what it saves).
int decodingThreads(const Lumetra::WavraNavigator& navigator, int threads) {
    if (threads > 0) return threads;
    constexpr int64_t kPixelsPerThread = int64_t(1) << 21;
    const Lumetra::Rectangle& all = navigator.support();
    const int64_t pixels =
        all.isEmpty() ? 0 : (int64_t(all.x1()) - all.x0() + 1) * (int64_t(all.y1()) - all.y0() + 1);
    return int(std::max<int64_t>(
        1, std::min<int64_t>(Lumetra::WorkerPool::onlineCores(), pixels / kPixelsPerThread)));
}

// Decodes with the caller's progress; a cancel noticed only by the last
// report still throws.
void decodeWithProgress(Lumetra::WavraNavigator& navigator, Lumetra::ImageBuffer& buffer,
                        const Progress& progress, int threads) {
    detail::Cancellation cancellation(progress);
    navigator.setThreads(decodingThreads(navigator, threads));
    navigator.setProgressHook(cancellation.reportHook());
    navigator.setInterruptHook(cancellation.pollHook());
    navigator.decode(buffer);
}

}  // namespace

// ---------------------------------------------------------------- Reader

Reader::Reader(std::unique_ptr<Body> body) : body_(std::move(body)) {}
Reader::Reader(Reader&&) noexcept = default;
Reader& Reader::operator=(Reader&&) noexcept = default;
Reader::~Reader() = default;

Reader Reader::open(const std::string& path) {
    detail::prepare();
    auto body = std::make_unique<Body>(Lumetra::WavraFile(Lumetra::FileSpecification(path), 0));
    body->info = infoOf(body->file);
    return Reader(std::move(body));
}

Reader Reader::open(std::shared_ptr<ByteSource> source, const std::string& name) {
    detail::prepare();
    if (!source) throw Lumetra::NullPointerException();
    auto body =
        std::make_unique<Body>(Lumetra::WavraFile(std::move(source), Lumetra::FileSpecification(name), 0));
    body->info = infoOf(body->file);
    return Reader(std::move(body));
}

const ImageInfo& Reader::info() const { return body_->info; }

void Reader::setThreads(int threads) { body_->threads = threads < 0 ? 0 : threads; }

int Reader::threads() const { return body_->threads; }

int Reader::bandsFor(SampleLayout layout) const {
    return Lumetra::bandsFor(colorSpaceFor(body_->file, layout));
}

void Reader::read(int scale, const Window& window, uint8_t* buffer, size_t rowStride, SampleLayout layout,
                  const Progress& progress) const {
    const Lumetra::WavraFile& file = body_->file;
    if (scale < 0 || scale > file.levels()) throw Lumetra::Exception(kIncompatibleScale);
    if (window.width < 0 || window.height < 0) throw Lumetra::InvalidArgumentException("window size");
    const int64_t x1 = int64_t(window.x) + window.width - 1, y1 = int64_t(window.y) + window.height - 1;
    if (x1 > INT32_MAX || y1 > INT32_MAX) throw Lumetra::InvalidArgumentException("window position");
    const int space = colorSpaceFor(file, layout);
    if (rowStride / size_t(Lumetra::bandsFor(space)) < size_t(window.width))
        throw Lumetra::InvalidArgumentException("row stride");
    if (window.width == 0 || window.height == 0) return;
    if (!buffer) throw Lumetra::InvalidArgumentException("buffer");

    Lumetra::WavraNavigator navigator(
        file, scale, Lumetra::Rectangle::fromCorners(window.x, window.y, int32_t(x1), int32_t(y1)));
    CallerMemoryBuffer memory(space, buffer, rowStride);
    decodeWithProgress(navigator, memory, progress, body_->threads);
}

Window Reader::regionWindow(const Region& region) const {
    const Lumetra::Rectangle r = navigatorFor(body_->file, region).support();
    return Window{r.x0(), r.y0(), r.width(), r.height()};
}

GeoReference Reader::regionGeoReference(const Region& region) const {
    return detail::publicGeoReference(navigatorFor(body_->file, region).geoReference());
}

void Reader::readRegion(const Region& region, const RowSink& sink, const Progress& progress) const {
    Lumetra::WavraNavigator navigator = navigatorFor(body_->file, region);
    // With more than one thread the sink takes each strip while the
    // decoders go on with the next.
    RowSinkBuffer buffer(sink, decodingThreads(navigator, body_->threads) > 1);
    buffer.info().setColorSpace(greyOrRGB(body_->file));
    buffer.setStripHeight(kStripHeight);
    decodeWithProgress(navigator, buffer, progress, body_->threads);
}

void Reader::readRegionToRawFile(const Region& region, const std::string& rawPath, const Watermark* watermark,
                                 int position, const Progress& progress) const {
    Lumetra::WavraNavigator navigator = navigatorFor(body_->file, region);
    const Lumetra::FileSpecification raw(rawPath);
    try {
        // The buffer writes the header when the decode begins and closes
        // the raw file when it goes out of scope. With more than one thread
        // each strip is written while the next is decoded.
        const int threads = decodingThreads(navigator, body_->threads);
        std::unique_ptr<Lumetra::BIPFileBuffer> buffer(
            threads > 1 ? new OverlappedBIPFileBuffer(raw, navigator.geoReference())
                        : new Lumetra::BIPFileBuffer(raw, navigator.geoReference()));
        if (watermark) buffer->attachWatermark(watermark->body().picture, position);
        buffer->info().setColorSpace(greyOrRGB(body_->file));
        buffer->setStripHeight(kStripHeight);
        decodeWithProgress(navigator, *buffer, progress, threads);
    } catch (...) {
        raw.removeQuietly();
        raw.setExtension("hdr").removeQuietly();
        throw;
    }
}

// ---------------------------------------------------------------- the rest

void printListing(const std::string& path, std::FILE* out) {
    detail::prepare();
    Lumetra::printInformationListing(Lumetra::FileSpecification(path), out);
}

std::pair<int32_t, int32_t> sizeAtScale(int32_t width, int32_t height, int scale) {
    std::pair<int32_t, int32_t> size;
    Lumetra::imageSizeAtScale(width, height, scale, size.first, size.second);
    return size;
}

Watermark::Watermark(const std::string& jpegPath) : body_(std::make_unique<Body>()) {
    detail::prepare();
    body_->picture = Lumetra::JpegWatermark(Lumetra::FileSpecification(jpegPath));
}

Watermark::~Watermark() = default;
Watermark::Watermark(Watermark&&) noexcept = default;
Watermark& Watermark::operator=(Watermark&&) noexcept = default;

}  // namespace wavra
