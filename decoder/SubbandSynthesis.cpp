// Tree synthesis: merges each inner node's four children into its planes,
// coarsest level first.
#include <algorithm>
#include <memory>
#include <vector>

#include "core/Exception.h"
#include "core/WorkerPool.h"
#include "decoder/PlaneCache.h"
#include "decoder/Subband.h"
#include "decoder/WaveletSynthesis.h"

namespace Lumetra {

namespace {

void poll(const InterruptHook& interrupt) {
    if (interrupt && interrupt() != 0) throw Interrupt();
}

SynthesisInput rowsOf(const Subband& child, int band) {
    SynthesisInput in;
    in.data = child.band(band);
    in.step = child.rowStep();
    in.first = child.support().y0;
    in.count = child.support().height();
    in.fullLength = child.fullHeight();
    return in;
}

// Below this many samples of the node a pass runs on the calling thread alone.
constexpr std::size_t kParallelSamples = 16384;

// Splits [0, total) into `parts` nearly equal ranges.
void splitRange(int total, int parts, int part, int& begin, int& end) {
    begin = int(int64_t(total) * part / parts);
    end = int(int64_t(total) * (part + 1) / parts);
}

// At most lines / 2 parts, so that every part of the vertical pass holds at
// least two lines and never falls back to the one-line path (which computes
// the same values, but by other code).
int partsFor(int lines, std::size_t samples, const WorkerPool* pool) {
    if (!pool || pool->threads() <= 1 || samples < kParallelSamples) return 1;
    return std::max(1, std::min(lines / 2, 4 * pool->threads()));
}

}  // namespace

void Subband::synthesize(const InterruptHook& interrupt, WorkerPool* pool, SynthesisScratch* scratch) {
    if (isLeaf()) return;
    SynthesisScratch local;
    if (!scratch) scratch = &local;
    static const InterruptHook none;
    children_[0][0]->synthesize(none, pool, scratch);
    children_[1][0]->synthesize(none, pool, scratch);
    children_[0][1]->synthesize(none, pool, scratch);
    children_[1][1]->synthesize(none, pool, scratch);
    if (organisation_ != 1)
        throw Exception("Unknown data organization encountered during subband synthesis.");
    merge(interrupt, pool, *scratch);
    for (auto& column : children_)
        for (auto& c : column) c.reset();
}

void Subband::merge(const InterruptHook& interrupt, WorkerPool* pool, SynthesisScratch& scratch) {
    const Subband& ll = *children_[0][0];
    const Subband& hl = *children_[1][0];
    const Subband& lh = *children_[0][1];
    const Subband& hh = *children_[1][1];
    if (ll.support_.x0 != lh.support_.x0 || ll.support_.x1 != lh.support_.x1)
        throw Exception("Error 1 in subroutine merge2.");
    if (!ll.hasPlanes() || !lh.hasPlanes() || ll.columnStep() != 1 || lh.columnStep() != 1 ||
        ll.count() != bandCount_ || lh.count() != bandCount_)
        throw Exception("Error 2 in subroutine merge2.");
    if (hl.support_.x0 != hh.support_.x0 || hl.support_.x1 != hh.support_.x1)
        throw Exception("Error 3 in subroutine merge2.");
    if (!hl.hasPlanes() || !hh.hasPlanes() || hl.columnStep() != 1 || hh.columnStep() != 1 ||
        hl.count() != bandCount_ || hh.count() != bandCount_)
        throw Exception("Error 4 in subroutine merge2.");
    if (!support_.present) throw Exception("Error 5 in subroutine merge2.");

    const int rows = support_.height();
    const int lowColumns = ll.support_.width();
    const int highColumns = hl.support_.width();
    // Every sample of both halves is written by the vertical pass; each
    // band has its own pair, so that every band of a pass runs at once.
    const std::size_t lowPlane = std::size_t(rows) * std::size_t(lowColumns);
    const std::size_t highPlane = std::size_t(rows) * std::size_t(highColumns);
    const std::shared_ptr<float> lowHalves = PlaneCache::take<float>(lowPlane * std::size_t(bandCount_), false);
    const std::shared_ptr<float> highHalves = PlaneCache::take<float>(highPlane * std::size_t(bandCount_), false);

    // All bands of the node in one allocation, band after band.
    allocate(support_.width(), rows, bandCount_, false);  // every sample is written below

    // The vertical pass splits into groups of columns and the horizontal one
    // into groups of rows; every output sample is computed by the same code
    // whatever the split, so the result does not depend on the threads.
    const std::size_t samples = std::size_t(rows) * std::size_t(support_.width());
    const int lowParts = partsFor(lowColumns, samples, pool);
    const int highParts = partsFor(highColumns, samples, pool);
    const int rowParts = partsFor(rows, samples, pool);
    const int columnJobs = lowParts + highParts;
    // Job j of a pass works in scratch[j]; one thread runs a job at a time.
    const std::size_t jobs = std::size_t(bandCount_) * std::size_t(std::max(columnJobs, rowParts));
    if (scratch.size() < jobs) scratch.resize(jobs);

    // Part `job` of the vertical pass of `band`: a group of low or high columns.
    auto columns = [&](int band, int job, FloatBuffer& work) {
        const bool low = job < lowParts;
        const Subband& lowChild = low ? ll : hl;
        const Subband& highChild = low ? lh : hh;
        const int count = low ? lowColumns : highColumns;
        const int parts = low ? lowParts : highParts;
        float* half = low ? lowHalves.get() + lowPlane * std::size_t(band)
                          : highHalves.get() + highPlane * std::size_t(band);
        int c0, c1;
        splitRange(count, parts, low ? job : job - lowParts, c0, c1);
        if (c1 <= c0) return;
        SynthesisInput lowIn = rowsOf(lowChild, band), highIn = rowsOf(highChild, band);
        lowIn.data += c0;
        highIn.data += c0;
        synthesizeLines(support_.y0, support_.y1, lowIn, highIn, half + c0, count, c1 - c0, work);
    };
    // Rows r0..r1-1 of the horizontal pass of `band`.
    auto rowsOfBand = [&](int band, int r0, int r1, FloatBuffer& work) {
        float* out = bands_[band];
        const float* lowHalf = lowHalves.get() + lowPlane * std::size_t(band);
        const float* highHalf = highHalves.get() + highPlane * std::size_t(band);
        SynthesisInput low{nullptr, 1, ll.support_.x0, lowColumns, ll.fullWidth()};
        SynthesisInput high{nullptr, 1, hl.support_.x0, highColumns, hl.fullWidth()};
        for (int r = r0; r < r1; ++r) {
            low.data = lowHalf + std::size_t(r) * lowColumns;
            high.data = highHalf + std::size_t(r) * highColumns;
            synthesizeLines(support_.x0, support_.x1, low, high, out + std::ptrdiff_t(r) * rowStep_, 1, 1, work);
        }
    };

    if (columnJobs <= 2 && rowParts <= 1) {
        for (int band = 0; band < bandCount_; ++band) {
            columns(band, 0, scratch[0]);
            poll(interrupt);
            columns(band, 1, scratch[0]);
            poll(interrupt);
            rowsOfBand(band, 0, rows, scratch[0]);
            poll(interrupt);
        }
        return;
    }
    runJobs(pool, bandCount_ * columnJobs, [&](int job) {
        columns(job / columnJobs, job % columnJobs, scratch[std::size_t(job)]);
    });
    poll(interrupt);
    runJobs(pool, bandCount_ * rowParts, [&](int job) {
        int r0, r1;
        splitRange(rows, rowParts, job % rowParts, r0, r1);
        rowsOfBand(job / rowParts, r0, r1, scratch[std::size_t(job)]);
    });
    poll(interrupt);
}

}  // namespace Lumetra
