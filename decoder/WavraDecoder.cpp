#include "decoder/WavraDecoder.h"

#include "decoder/PlaneCache.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "core/Exception.h"
#include "imaging/pixels/ImageBuffer.h"

namespace Lumetra {

namespace {

const char* const kNegativeDimension =
    "Error construction a dimension object: Cannot have negative dimensions";
const char* const kBadRectangle =
    "Error constructing rectangle object: points do not specify a valid rectangle.";

Rectangle moved(const Rectangle& r, int64_t dx, int64_t dy) {
    if (r.isEmpty()) return Rectangle();
    const int64_t x0 = r.x0() + dx, x1 = r.x1() + dx, y0 = r.y0() + dy, y1 = r.y1() + dy;
    if (x0 < INT32_MIN || y0 < INT32_MIN || x1 > INT32_MAX || y1 > INT32_MAX)
        throw GeometryException(kBadRectangle);
    return Rectangle::fromCorners(int32_t(x0), int32_t(y0), int32_t(x1), int32_t(y1));
}

bool hasArea(const Rectangle& r) { return !r.isEmpty() && r.width() > 0 && r.height() > 0; }

}  // namespace

void ImageDecoder::reserved() { throw Exception("Unimplemented method"); }

void imageSizeAtScale(int64_t width, int64_t height, int scale, int32_t& outWidth, int32_t& outHeight) {
    if (scale < 0) {
        if (scale < -31) throw GeometryException(kBadRectangle);
        width <<= -scale;
        height <<= -scale;
    }
    for (int i = 0; i < scale && (width > 1 || height > 1); ++i) {
        width = (width + 1) / 2;
        height = (height + 1) / 2;
    }
    if (width < 0 || height < 0 || width > INT32_MAX || height > INT32_MAX)
        throw GeometryException(kBadRectangle);
    outWidth = int32_t(width);
    outHeight = int32_t(height);
}

WavraDecoder::WavraDecoder(const WavraFile& file) : file_(file) {
    const ColorScheme scheme = file_.colorScheme();
    int space = scheme.colorSpace, bands = scheme.bands;
    if (space == ImageBufferInfo::RGB) {
        space = ImageBufferInfo::YIQ;
        bands = 3;
    } else if (space == ImageBufferInfo::CMYK) {
        space = ImageBufferInfo::YIQK;
        bands = 4;
    }
    output_.setColorSpace(space, bands);
    output_.samplesPerPixel = output_.bands;
    output_.bitsPerSample = file_.bitsPerSample();
    output_.layout = ImageBufferInfo::Planar;
    output_.rowAlignment = 1;
    output_.sampleType = ImageBufferInfo::Float32;
}

WavraDecoder::~WavraDecoder() = default;

void WavraDecoder::setThreads(int threads) {
    if (threads <= 1) {
        pool_.reset();
    } else if (!pool_ || pool_->threads() != threads) {
        pool_.reset(new WorkerPool(threads));
    }
}

void WavraDecoder::report(float fraction) {
    if (progress_) progress_(fraction);
}

void WavraDecoder::finish() {
    scratch_ = Subband::SynthesisScratch();
    current_.reset();
    next_.reset();
    overlap_.reset();
    cache_.clear();
    report(1.0f);
}

void WavraDecoder::decode(ImageBuffer& buffer) {
    // Each strip's planes serve the next strip.
    const PlaneCache planes;
    position_ = 0.0f;
    // Trees and cursors left here can only come from a decode abandoned by an
    // exception; resuming from them would decode the wrong coefficients.
    current_.reset();
    next_.reset();
    overlap_.reset();
    cache_.clear();

    // Dynamic range from the metadata, unless the buffer's owner set it.
    try {
        const WavraMetadata& metadata = file_.metadata();
        if (buffer.sourceWindow() == ImageBuffer::kWindowNotSet &&
            metadata.has("IMAGE::DYNAMIC_RANGE_WINDOW"))
            buffer.setSourceWindow(float(metadata.get("IMAGE::DYNAMIC_RANGE_WINDOW").toDouble(0, 0)));
        if (buffer.sourceLevel() == 0.0f && metadata.has("IMAGE::DYNAMIC_RANGE_LEVEL"))
            buffer.setSourceLevel(float(metadata.get("IMAGE::DYNAMIC_RANGE_LEVEL").toDouble(0, 0)));
    } catch (...) {
        // A malformed tag leaves the range as it was.
    }

    int32_t width = 0, height = 0;
    imageSizeAtScale(file_.width(), file_.height(), scale_, width, height);
    clipped_ = support_;
    clipped_.intersect(Rectangle::fromCorners(0, 0, width - 1, height - 1));
    const Rectangle inBuffer = moved(clipped_, -int64_t(support_.x0()), -int64_t(support_.y0()));

    const int64_t totalRows = buffer.imageRect().height();
    while (buffer.hasStrip()) {
        const Rectangle strip = buffer.currentStrip();
        Rectangle area = strip;
        area.intersect(inBuffer);
        step_ = totalRows > 0 ? float(strip.height()) / float(totalRows) : 0.0f;
        if (!inBuffer.isEmpty() && hasArea(area)) {
            report(position_);
            Rectangle region = moved(strip, support_.x0(), support_.y0());
            region.intersect(clipped_);
            Rectangle lookahead = moved(buffer.nextStripRect(), support_.x0(), support_.y0());
            lookahead.intersect(clipped_);
            decodeRegion(region, lookahead, area.x0() - strip.x0(), area.y0() - strip.y0(), buffer);
        }
        position_ += step_;
        buffer.stripDone();
    }
}

void WavraDecoder::loadLeaves(Subband& tree) {
    LeafSource source;
    source.database = &file_.blockDatabase();
    source.levels = file_.levels();
    source.dither = file_.dither();
    if (!pool_) {
        tree.forEachLeaf([&](Subband& leaf) { loadLeaf(leaf, source, scale_, cache_, interrupt_); });
        return;
    }
    // Every band of every leaf is a job of its own, the largest first. The
    // planes are taken here, from this thread's plane cache; each job zeroes
    // its own plane. Only jobs on this thread ask the interrupt hook, which
    // may call back into the host.
    struct Job {
        Subband* leaf;
        int band;
        std::size_t samples;
    };
    std::vector<Job> jobs;
    tree.forEachLeaf([&](Subband& leaf) {
        if (!leaf.support().present) return;
        leaf.allocateSupport(false);
        if (!leafIsCoded(leaf, source)) {
            for (int b = 0; b < leaf.count(); ++b)
                std::memset(leaf.band(b), 0, sizeof(float) * std::size_t(leaf.width()) * std::size_t(leaf.height()));
            return;
        }
        const std::size_t samples = std::size_t(leaf.width()) * std::size_t(leaf.height());
        for (int b = 0; b < leaf.count(); ++b) jobs.push_back(Job{&leaf, b, samples});
    });
    std::stable_sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) { return a.samples > b.samples; });
    static const InterruptHook none;
    const std::thread::id caller = std::this_thread::get_id();
    runJobs(pool_.get(), int(jobs.size()), [&](int i) {
        const Job& job = jobs[std::size_t(i)];
        std::memset(job.leaf->band(job.band), 0, sizeof(float) * job.samples);
        const bool here = std::this_thread::get_id() == caller;
        loadLeafBand(*job.leaf, job.band, source, scale_, cache_, here ? interrupt_ : none);
    });
}

void WavraDecoder::decodeRegion(const Rectangle& region, const Rectangle& lookahead, int outX, int outY,
                                ImageBuffer& buffer) {
    report(position_);
    current_.reset();
    if (next_) {
        current_ = std::move(next_);
        if (overlap_) {
            std::unique_ptr<Subband> fresh = Subband::difference(current_.get(), overlap_.get());
            loadLeaves(*fresh);
            current_->copy(fresh.get(), pool_.get());
        } else {
            loadLeaves(*current_);
        }
        report(position_ + 0.4f * step_);
        current_->copy(overlap_.get(), pool_.get());
        overlap_.reset();
    } else {
        current_ = Subband::buildTree(file_.width(), file_.height(), file_.bands(), file_.levels(), scale_,
                                      region.x0(), region.x1(), region.y0(), region.y1());
        loadLeaves(*current_);
        report(position_ + 0.4f * step_);
    }
    if (hasArea(lookahead)) {
        next_ = Subband::buildTree(file_.width(), file_.height(), file_.bands(), file_.levels(), scale_,
                                   lookahead.x0(), lookahead.x1(), lookahead.y0(), lookahead.y1());
    }
    overlap_ = Subband::intersect(current_.get(), next_.get(), pool_.get());

    current_->synthesize(interrupt_, pool_.get(), &scratch_);
    report(position_ + 0.7f * step_);

    const int w = current_->width(), h = current_->height();
    if (w < 0 || h < 0) throw GeometryException(kNegativeDimension);
    if (current_->count() < output_.bands || !current_->hasPlanes())
        throw Exception("Error 1 in subroutine merge2.");
    if (int64_t(output_.bands) * w * h > INT32_MAX || int64_t(w) * 4 > INT32_MAX)
        throw GeometryException(kBadRectangle);
    // The root's planes are one allocation, band after band.
    std::vector<int> bandMap(std::size_t(output_.bands));
    for (int b = 0; b < output_.bands; ++b) bandMap[std::size_t(b)] = int(int64_t(b) * w * h);
    output_.setBandMap(bandMap.data());
    buffer.writeData(current_->band(0), w, h, w * 4, output_, outX, outY, 0, pool_.get());
}

}  // namespace Lumetra
