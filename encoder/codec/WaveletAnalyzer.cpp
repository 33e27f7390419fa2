#include "encoder/codec/WaveletAnalyzer.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>

#include "core/Error.h"
#include "core/Exception.h"
#include "core/WorkerPool.h"
#include "encoder/codec/BlockAnalysis.h"
#include "encoder/codec/BorderPieces.h"
#include "encoder/codec/DumpSchedule.h"
#include "encoder/codec/FloatRecycler.h"
#include "wavra/diagnostics.h"

using Lumetra::runJobs;

namespace {

[[noreturn]] void interrupted() { throw Error("Program interrupt encountered."); }

// Count, sum and sum of squares of every band of a cell.
void cellStatistics(const CoefficientPiece& cell, int bands, LeafStatistics* out) {
    const size_t area = cell.area();
    for (int b = 0; b < bands; ++b) {
        const float* v = cell.data.data() + size_t(b) * area;
        double sum = 0.0, squares = 0.0;
        for (size_t i = 0; i < area; ++i) {
            const double x = v[i];
            sum += x;
            squares += x * x;
        }
        out[b].count = double(area);
        out[b].sum = sum;
        out[b].sumSquares = squares;
    }
}

}  // namespace

WaveletAnalyzer::WaveletAnalyzer(BlockPixelSource& source, int levels, int blockSize)
    : source_(source),
      levels_(levels),
      bands_(source.bands()),
      grid_(source.width(), source.height(), levels, blockSize, source.fullWidth()) {
    if (bands_ < 1 || bands_ > 4) throw Lumetra::InvalidArgumentException("bands");
    if (grid_.indexCount() > INT_MAX) throw Lumetra::Exception("Memory allocation error.");
}

WaveletAnalyzer::~WaveletAnalyzer() = default;

void WaveletAnalyzer::run(SubbandSink& sink) {
    try {
        runPass(sink);
    } catch (const std::bad_alloc&) {
        throw Lumetra::Exception("Memory allocation error.");
    }
}

// One block on its way through fetch and split.
struct WaveletAnalyzer::Slot {
    Slot(const BlockGrid& grid, int bands) : analysis(grid, bands) {}
    BlockRecord block;
    std::vector<float> pixels;
    std::unique_ptr<BlockPixelSource::Fetched> fetched;
    BlockAnalysis analysis;
    int status = 0;  // of split
};

size_t WaveletAnalyzer::fetch(int& from, int count, std::vector<std::unique_ptr<Slot>>& slots) {
    size_t n = 0;
    for (; from < count && n < slots.size(); ++from) {
        if (!grid_.inImage(from)) continue;
        Slot& slot = *slots[n++];
        slot.block = grid_.record(from);
        const BlockRecord& b = slot.block;
        const size_t area = size_t(b.x1 - b.x0 + 1) * size_t(b.y1 - b.y0 + 1);
        slot.pixels.resize(area * size_t(bands_));
        if (source_.fetchBlock(b.x0, b.x1, b.y0, b.y1, slot.pixels.data(), slot.fetched) != 0) interrupted();
    }
    return n;
}

void WaveletAnalyzer::runPass(SubbandSink& sink) {
    const int subbands = subbandCount();
    peakHeld_ = 0;
    const int count = int(grid_.indexCount());
    total_.assign(size_t(subbands) * size_t(bands_), LeafStatistics());
    // What a few blocks drop: their cells, border pieces and pieces.
    const BlockSize size = grid_.blockSize();
    FloatRecycler recycler(8 * size_t(size.width) * size_t(size.height) * size_t(bands_));
    OverlapExchange exchange(grid_, bands_);
    DumpSchedule schedule(grid_, bands_);
    schedule.setPool(pool_);
    exchange.setRecycler(&recycler);
    schedule.setRecycler(&recycler);
    std::vector<CoefficientPiece> cells;
    // With a pool, a batch of blocks is split by the workers while this
    // thread fetches the next batch.
    const size_t batch = pool_ ? size_t(pool_->threads()) : 1;
    std::vector<std::unique_ptr<Slot>> current(batch), upcoming(pool_ ? batch : 0);
    for (auto& slot : current) slot = std::make_unique<Slot>(grid_, bands_);
    for (auto& slot : upcoming) slot = std::make_unique<Slot>(grid_, bands_);
    const auto split = [&](int i) {
        Slot& slot = *current[size_t(i)];
        if (slot.fetched) source_.convertBlock(slot.fetched, slot.pixels.data());
        slot.status = slot.analysis.split(slot.block, slot.pixels.data());
    };
    int fetchFrom = 0;           // the grid index the next fetch starts at
    size_t fetched = 0;          // blocks waiting in `upcoming`
    size_t ready = 0, next = 0;  // blocks split in `current`, and the next one to use
    if (pool_) fetched = fetch(fetchFrom, count, upcoming);

    for (int index = 0; index < count; ++index) {
        if (sink.blockStarting(index, count) != 0) interrupted();
        if (grid_.inImage(index)) {
            if (next == ready) {
                if (pool_) {
                    current.swap(upcoming);
                    ready = fetched;
                    fetched = 0;
                    runJobs(pool_, int(ready), split, [&] { fetched = fetch(fetchFrom, count, upcoming); });
                } else {
                    ready = fetch(fetchFrom, count, current);
                    runJobs(nullptr, int(ready), split);
                }
                if (sink.pollInterrupt() != 0) interrupted();
                next = 0;
                if (ready == 0) throw Error("Error encountered in subroutine split.");
            }
            Slot& slot = *current[next++];
            const BlockRecord& block = slot.block;
            if (block.index != index || slot.status != 0)
                throw Error("Error encountered in subroutine split.");
            std::vector<LeafStatistics> statistics(size_t(subbands) * size_t(bands_));
            if (exchange.correct(
                    block, slot.analysis.leaves(), cells, pool_, [&](int s, const CoefficientPiece& cell) {
                        cellStatistics(cell, bands_, statistics.data() + size_t(s) * size_t(bands_));
                    }) != 0)
                throw Error("Error encountered in subroutine correct.");
            if (sink.pollInterrupt() != 0) interrupted();

            for (size_t j = 0; j < statistics.size(); ++j) total_[j].add(statistics[j]);
            schedule.addBlock(block, std::move(cells), std::move(statistics));
            cells.clear();
        }
        peakHeld_ = std::max(peakHeld_, exchange.waitingFloats() + schedule.waitingFloats());
        const int r = schedule.dump(index, false, sink);
        if (r == 1) throw Error("Error encountered in subroutine assemble.");
        if (r != 0) throw Error("Error encountered in subroutine output2disk.");
        if (sink.blockDone(index, count) != 0) interrupted();
    }
    if (exchange.waitingPieces() != 0) {
        wavra::diagnostic("Error 2 in subroutine purge_border.\n");
        throw Error("Error encountered in subroutine correct.");
    }
    const int r = schedule.dump(count - 1, true, sink);
    if (r == 1) throw Error("Error encountered in subroutine assemble.");
    if (r != 0) throw Error("Error encountered in subroutine output2disk.");
}
