#include "decoder/WavraDecoder.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Exception.h"
#include "decoder/PlaneCache.h"
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

// The part of `r` in columns x0 .. x1; empty where `r` has no area.
Rectangle inColumns(const Rectangle& r, int x0, int x1) {
    if (!hasArea(r)) return Rectangle();
    Rectangle part = r;
    part.intersect(Rectangle::fromCorners(x0, r.y0(), x1, r.y1()));
    return part;
}

// The hook a job polls: `hook` on the thread that started the jobs, none on
// the others (a host's hook may call back into the host).
const InterruptHook& onCaller(const InterruptHook& hook, std::thread::id caller) {
    static const InterruptHook none;
    return std::this_thread::get_id() == caller ? hook : none;
}

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
    slices_.clear();
    report(1.0f);
}

std::size_t WavraDecoder::pendingCursors() const {
    std::size_t n = 0;
    for (const auto& slice : slices_) n += slice->cache.size();
    return n;
}

int WavraDecoder::sliceCount(int64_t columns) const {
    // Slices narrower than this cost more in their overlaps than they win.
    constexpr int64_t kSliceColumns = 512;
    if (!pool_) return 1;
    return int(std::max<int64_t>(1, std::min<int64_t>(pool_->threads(), columns / kSliceColumns)));
}

void WavraDecoder::decode(ImageBuffer& buffer) {
    // Each strip's planes serve the next strip.
    const PlaneCache planes;
    position_ = 0.0f;
    // Trees and cursors left here can only come from a decode abandoned by an
    // exception; resuming from them would decode the wrong coefficients.
    slices_.clear();

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

    // The support's columns in slices, each decoded on a thread of its own:
    // a thread then keeps the planes it made in its own caches, where
    // sharing every pass of a strip moved them from core to core.
    const int count = clipped_.isEmpty() ? 1 : sliceCount(int64_t(clipped_.width()));
    if (databases_.size() < std::size_t(count - 1)) databases_.resize(std::size_t(count - 1));
    for (int k = 0; k < count; ++k) {
        slices_.emplace_back(new Slice(std::size_t(count)));
        Slice& slice = *slices_.back();
        slice.output = output_;
        if (k == 0) slice.database = &file_.blockDatabase();
        if (!clipped_.isEmpty()) {
            const int64_t columns = clipped_.width();
            slice.x0 = int(clipped_.x0() + columns * k / count);
            slice.x1 = int(clipped_.x0() + columns * (k + 1) / count - 1);
        }
    }
    // Where the support lies wholly inside the image no strip needs
    // clearing, and the slices need not wait for each other at every strip.
    const Rectangle& whole = buffer.imageRect();
    if (count > 1 && buffer.stripsAhead() > 0 && hasArea(whole) &&
        inBuffer.contains(whole.x0(), whole.y0()) && inBuffer.contains(whole.x1(), whole.y1())) {
        decodeApart(buffer);
        return;
    }

    const std::thread::id caller = std::this_thread::get_id();

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
            const int outX = area.x0() - strip.x0(), outY = area.y0() - strip.y0();
            if (count == 1) {
                decodeRegion(*slices_[0], region, lookahead, pool_.get(), interrupt_, true);
                writeSlice(*slices_[0], buffer, StripWrite{outX, outY, pool_.get()});
            } else {
                buffer.prepareWriters(count, output_);
                runJobs(pool_.get(), count, [&](int k) {
                    Slice& slice = *slices_[std::size_t(k)];
                    if (!slice.database) slice.database = &sliceDatabase(k);
                    const Rectangle part = inColumns(region, slice.x0, slice.x1);
                    const Rectangle next = inColumns(lookahead, slice.x0, slice.x1);
                    decodeRegion(slice, part, next, nullptr, onCaller(interrupt_, caller), false);
                    writeSlice(slice, buffer, StripWrite{outX + (part.x0() - region.x0()), outY, nullptr, k});
                });
                report(position_ + 0.7f * step_);
            }
        }
        position_ += step_;
        // A strip that lies inside the support is written whole: it needs
        // no clearing first.
        const Rectangle following = buffer.nextStripRect();
        buffer.stripDone(inBuffer.isEmpty() || following.isEmpty() ||
                         !(inBuffer.contains(following.x0(), following.y0()) &&
                           inBuffer.contains(following.x1(), following.y1())));
    }
}

void WavraDecoder::decodeApart(ImageBuffer& buffer) {
    const int count = int(slices_.size());
    const Rectangle first = buffer.currentStrip();
    const int64_t ahead = buffer.stripsAhead();
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<int64_t> written;  // strips each slice has written
        int64_t handing = 0;           // strips handed on or being handed on
        int64_t handed = 0;            // strips handed on
        bool failed = false;
    } shared;
    shared.written.assign(std::size_t(count), 0);
    buffer.prepareWriters(count, output_);

    const int64_t totalRows = buffer.imageRect().height();
    const std::thread::id caller = std::this_thread::get_id();
    runJobs(pool_.get(), count, [&](int k) {
        Slice& slice = *slices_[std::size_t(k)];
        const bool here = std::this_thread::get_id() == caller;
        try {
            if (!slice.database) slice.database = &sliceDatabase(k);
            int64_t rows = 0, j = 0;
            for (Rectangle strip = first; hasArea(strip); strip = buffer.stripAfter(strip), ++j) {
                const Rectangle after = buffer.stripAfter(strip);
                const Rectangle part = inColumns(moved(strip, support_.x0(), support_.y0()), slice.x0, slice.x1);
                const Rectangle next =
                    hasArea(after) ? inColumns(moved(after, support_.x0(), support_.y0()), slice.x0, slice.x1)
                                   : Rectangle();
                decodeRegion(slice, part, next, nullptr, onCaller(interrupt_, caller), false);
                {
                    std::unique_lock<std::mutex> lock(shared.mutex);
                    shared.changed.wait(lock, [&] { return shared.failed || j - shared.handed <= ahead; });
                    if (shared.failed) return;
                }
                writeSlice(slice, buffer,
                           StripWrite{slice.x0 - int(support_.x0()), 0, nullptr, k, j, &strip});
                bool hands = false;
                {
                    std::lock_guard<std::mutex> lock(shared.mutex);
                    ++shared.written[std::size_t(k)];
                    const int64_t all = *std::min_element(shared.written.begin(), shared.written.end());
                    if (all > shared.handing) {
                        ++shared.handing;
                        hands = true;
                    }
                }
                if (hands) {
                    buffer.stripDone(false);
                    std::lock_guard<std::mutex> lock(shared.mutex);
                    ++shared.handed;
                }
                shared.changed.notify_all();
                rows += strip.height();
                if (here && totalRows > 0) report(float(rows) / float(totalRows));
            }
        } catch (...) {
            {
                std::lock_guard<std::mutex> lock(shared.mutex);
                shared.failed = true;
            }
            shared.changed.notify_all();
            throw;
        }
    });
}

DBInfo& WavraDecoder::sliceDatabase(int k) {
    std::unique_ptr<DBInfo>& own = databases_[std::size_t(k - 1)];
    if (!own) own = file_.openBlockDatabase();
    return own ? *own : file_.blockDatabase();
}

void WavraDecoder::loadLeaves(Subband& tree, Slice& slice, WorkerPool* pool, const InterruptHook& interrupt) {
    CodeBlockCursorCache& cache = slice.cache;
    LeafSource source;
    source.database = slice.database;
    source.levels = file_.levels();
    source.dither = file_.dither();
    if (!pool) {
        tree.forEachLeaf([&](Subband& leaf) { loadLeaf(leaf, source, scale_, cache, interrupt); });
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
        bool zero;
    };
    std::vector<Job> jobs;
    tree.forEachLeaf([&](Subband& leaf) {
        if (!leaf.support().present) return;
        const bool coded = leafIsCoded(leaf, source);
        // Planes a leaf has already (views of the rows to decode) are zero.
        const bool zero = !leaf.hasPlanes();
        if (zero) leaf.allocateSupport(!coded);
        if (!coded) return;
        const std::size_t samples = std::size_t(leaf.width()) * std::size_t(leaf.height());
        for (int b = 0; b < leaf.count(); ++b) jobs.push_back(Job{&leaf, b, samples, zero});
    });
    std::stable_sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) { return a.samples > b.samples; });
    const std::thread::id caller = std::this_thread::get_id();
    runJobs(pool, int(jobs.size()), [&](int i) {
        const Job& job = jobs[std::size_t(i)];
        if (job.zero) std::memset(job.leaf->band(job.band), 0, sizeof(float) * job.samples);
        loadLeafBand(*job.leaf, job.band, source, scale_, cache, onCaller(interrupt, caller));
    });
}

void WavraDecoder::decodeRegion(Slice& slice, const Rectangle& region, const Rectangle& lookahead,
                                WorkerPool* pool, const InterruptHook& interrupt, bool reports) {
    const PlaneCache::Use planes(slice.planes);
    if (reports) report(position_);
    std::unique_ptr<Subband>& current = slice.current;
    current.reset();
    if (slice.next) {
        current = std::move(slice.next);
        if (slice.overlap) {
            // The rows kept from the last strip are copied in and the rest
            // zeroed; the new rows are then decoded where they belong.
            current->copy(slice.overlap.get(), pool);
            std::unique_ptr<Subband> fresh = Subband::difference(current.get(), slice.overlap.get());
            fresh->viewRowsOf(*current);
            loadLeaves(*fresh, slice, pool, interrupt);
        } else {
            loadLeaves(*current, slice, pool, interrupt);
        }
        if (reports) report(position_ + 0.4f * step_);
        slice.overlap.reset();
    } else {
        current = Subband::buildTree(file_.width(), file_.height(), file_.bands(), file_.levels(), scale_,
                                     region.x0(), region.x1(), region.y0(), region.y1());
        loadLeaves(*current, slice, pool, interrupt);
        if (reports) report(position_ + 0.4f * step_);
    }
    if (hasArea(lookahead)) {
        slice.next = Subband::buildTree(file_.width(), file_.height(), file_.bands(), file_.levels(), scale_,
                                        lookahead.x0(), lookahead.x1(), lookahead.y0(), lookahead.y1());
    }
    slice.overlap = Subband::intersect(current.get(), slice.next.get(), pool);

    current->synthesize(interrupt, pool, &slice.scratch);
    if (reports) report(position_ + 0.7f * step_);
}

void WavraDecoder::writeSlice(Slice& slice, ImageBuffer& buffer, const StripWrite& write) {
    Subband& current = *slice.current;
    const int w = current.width(), h = current.height();
    if (w < 0 || h < 0) throw GeometryException(kNegativeDimension);
    ImageBufferInfo& output = slice.output;
    if (current.count() < output.bands || !current.hasPlanes())
        throw Exception("Error 1 in subroutine merge2.");
    if (int64_t(output.bands) * w * h > INT32_MAX || int64_t(w) * 4 > INT32_MAX)
        throw GeometryException(kBadRectangle);
    // The root's planes are one allocation, band after band.
    std::vector<int> bandMap(std::size_t(output.bands));
    for (int b = 0; b < output.bands; ++b) bandMap[std::size_t(b)] = int(int64_t(b) * w * h);
    output.setBandMap(bandMap.data());
    if (write.strip) {
        buffer.writeAhead(write.index, *write.strip, current.band(0), w, h, w * 4, output, write.x, write.y,
                          write.writer);
    } else {
        buffer.writeData(current.band(0), w, h, w * 4, output, write.x, write.y, 0, write.pool, write.writer);
    }
}

}  // namespace Lumetra
