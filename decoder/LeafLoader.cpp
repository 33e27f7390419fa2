#include "decoder/LeafLoader.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "core/Exception.h"
#include "format/DBInfo.h"
#include "format/Dequantiser.h"
#include "format/FormatMessages.h"
#include "format/HuffmanDecoder.h"

namespace Lumetra {

bool CodeBlockCursorCache::find(const Key& key, CodeBlockCursor& cursor) const {
    const std::lock_guard<std::mutex> hold(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return false;
    cursor = it->second;
    return true;
}

void CodeBlockCursorCache::update(const Key& key, const CodeBlockCursor* cursor) {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (cursor)
        entries_[key] = *cursor;
    else
        entries_.erase(key);
}

void CodeBlockCursorCache::clear() {
    const std::lock_guard<std::mutex> hold(mutex_);
    entries_.clear();
}

std::size_t CodeBlockCursorCache::size() const {
    const std::lock_guard<std::mutex> hold(mutex_);
    return entries_.size();
}

namespace {

void poll(const InterruptHook& interrupt) {
    if (interrupt && interrupt() != 0) throw Interrupt();
}

// Scale factor that brings a reduced-scale image back to full-resolution
// intensities.
constexpr double kScaleGain = 1.5133282207855925;

}  // namespace

bool leafIsCoded(const Subband& leaf, const LeafSource& source) {
    const int index = leaf.leafIndex();
    return leaf.support().present && index >= 0 && index < 3 * source.levels + 1 &&
           index < source.database->subbandCount();
}

void loadLeaf(Subband& leaf, const LeafSource& source, int scale, CodeBlockCursorCache& cache,
              const InterruptHook& interrupt) {
    if (!leaf.support().present) return;
    if (!leaf.hasPlanes()) leaf.allocateSupport();
    if (!leafIsCoded(leaf, source)) return;
    for (int b = 0; b < leaf.count(); ++b) loadLeafBand(leaf, b, source, scale, cache, interrupt);
}

void loadLeafBand(Subband& leaf, int b, const LeafSource& source, int scale, CodeBlockCursorCache& cache,
                  const InterruptHook& interrupt) {
    const int index = leaf.leafIndex();
    DBInfo& db = *source.database;
    const SubbandSupport sup = leaf.support();
    const DBInfo::SubbandRecord& record = db.subband(index);
    const int d0 = record.dither[0], d1 = record.dither[1];

    auto it = db.iterator(index, sup.x0, sup.x1, sup.y0, sup.y1);
    for (; !it->done(); it->next()) {
        const DBInfo::BlockHeader& h = *it->current();
        if (b >= h.bandCount()) continue;
        const int64_t bw = int64_t(h.x1()) - h.x0() + 1;
        const int64_t bh = int64_t(h.y1()) - h.y0() + 1;
        if (!h.hasData(b)) continue;
        const float q = h.step(b);
        if (q == 0.0f) continue;
        if (!std::isfinite(q) || bw < 1 || bh < 1) throw Exception(kReadErrorMessage);

        const int64_t cw = h.codeBlockWidth(b), ch = h.codeBlockHeight(b);
        if (cw < 1 || ch < 1) throw Exception(kReadErrorMessage);
        const int64_t columns = (bw + cw - 1) / cw;
        const int64_t rows = (bh + ch - 1) / ch;
        const int64_t count = h.codeBlockCount(b);
        if (columns > count || rows > count || columns * rows != count) throw Exception(kReadErrorMessage);

        std::unique_ptr<HuffmanDecoder> made;
        const HuffmanDecoder* decoder = h.decoder(b);
        if (!decoder) {
            made.reset(new HuffmanDecoder(h.table(b)));
            decoder = made.get();
        }

        const float step = float(double(q) / std::pow(kScaleGain, double(scale)) / double(leaf.weight()));
        if (!std::isfinite(step)) throw Exception(kReadErrorMessage);
        if (step == 0.0f) continue;  // every value 0, undithered: the plane as it is

        for (int32_t t = 0; t < h.codeBlockCount(b); ++t) {
            const int64_t cx = (t % columns) * cw, cy = (t / columns) * ch;
            const int64_t cellX0 = h.x0() + cx, cellY0 = h.y0() + cy;
            const int64_t cellWidth = std::min(cw, bw - cx), cellHeight = std::min(ch, bh - cy);
            const int64_t rx0 = std::max<int64_t>(cellX0, sup.x0);
            const int64_t ry0 = std::max<int64_t>(cellY0, sup.y0);
            const int64_t rx1 = std::min<int64_t>(cellX0 + cellWidth - 1, sup.x1);
            const int64_t ry1 = std::min<int64_t>(cellY0 + cellHeight - 1, sup.y1);
            if (rx1 < rx0 || ry1 < ry0) continue;
            // The cell meets the support, so its corner fits 32 bits.
            const CodeBlockArea cell{int(cellX0), int(cellY0), int(cellWidth), int(cellHeight)};
            const CodeBlockArea region{int(rx0), int(ry0), int(rx1 - rx0 + 1), int(ry1 - ry0 + 1)};

            const int ox = int(rx0 - sup.x0), oy = int(ry0 - sup.y0);
            if (ox < 0 || oy < 0 || ox + region.width > leaf.width() || oy + region.height > leaf.height())
                throw Exception("Error 1 in Array2D::insert()");
            float* const out = leaf.band(b) + std::ptrdiff_t(oy) * leaf.rowStep() + ox;
            poll(interrupt);

            // The coefficients go straight into the zeroed plane, dequantised
            // as they come; the dither then applies to every sample.
            const CodeBlockCursorCache::Key key(b, it->blockNumber(), index, t);
            CodeBlockCursor resume;
            const bool resuming = cache.find(key, resume);
            std::size_t size = 0;
            const uint8_t* payload = it->readPayload(b, t, &size);
            CodeBlockCursor next;
            const bool more = decodeCodeBlockRegion(
                *decoder, payload, size, out, leaf.rowStep(),
                [step](int32_t v) { return quickDequantisedValue(v, step); }, cell, region,
                resuming ? &resume : nullptr, next);
            cache.update(key, more ? &next : nullptr);
            poll(interrupt);
            poll(interrupt);

            DitherSetting dither;
            dither.on = b == 0 && source.dither;
            dither.d0 = d0;
            dither.d1 = d1;
            dither.x0 = int(rx0);
            dither.y0 = int(ry0);
            subtractDither(dither, region.width, region.height, step, out, leaf.rowStep());
        }
    }
}

}  // namespace Lumetra
