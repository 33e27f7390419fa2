#include "encoder/codec/WaveletAnalyzer.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Sum and sum of squares of one band, in sample order (the order fixes
// their bits).
struct BandSums {
    double sum = 0.0, squares = 0.0;
    void add(float v) {
        const double x = v;
        sum += x;
        squares += x * x;
    }
    void put(LeafStatistics& out) const {
        out.sum = sum;
        out.sumSquares = squares;
    }
};

// The same for two bands, one in each half of a register.
struct PairSums {
#if defined(__SSE2__)
    __m128d sum = _mm_setzero_pd(), squares = _mm_setzero_pd();
    void add(float a, float b) {
        const __m128d x = _mm_set_pd(double(b), double(a));
        sum = _mm_add_pd(sum, x);
        squares = _mm_add_pd(squares, _mm_mul_pd(x, x));
    }
    void put(LeafStatistics* out) const {
        double s[2], q[2];
        _mm_storeu_pd(s, sum);
        _mm_storeu_pd(q, squares);
        for (int k = 0; k < 2; ++k) {
            out[k].sum = s[k];
            out[k].sumSquares = q[k];
        }
    }
#else
    BandSums first, second;
    void add(float a, float b) {
        first.add(a);
        second.add(b);
    }
    void put(LeafStatistics* out) const {
        first.put(out[0]);
        second.put(out[1]);
    }
#endif
};

// Count, sum and sum of squares of every band of a cell: the bands go side
// by side so that their chains of additions overlap.
template <int Bands>
void bandSums(const float* v, size_t area, LeafStatistics* out) {
    const float* band[4] = {v, v + area, v + 2 * area, v + 3 * area};
    PairSums first, second;
    BandSums lone;
    for (size_t i = 0; i < area; ++i) {
        if constexpr (Bands >= 2) first.add(band[0][i], band[1][i]);
        if constexpr (Bands == 4) second.add(band[2][i], band[3][i]);
        if constexpr (Bands % 2 == 1) lone.add(band[Bands - 1][i]);
    }
    if constexpr (Bands >= 2) first.put(out);
    if constexpr (Bands == 4) second.put(out + 2);
    if constexpr (Bands % 2 == 1) lone.put(out[Bands - 1]);
    for (int b = 0; b < Bands; ++b) out[b].count = double(area);
}

void cellStatistics(const CoefficientPiece& cell, int bands, LeafStatistics* out) {
    const size_t area = cell.area();
    const float* v = cell.data.data();
    switch (bands) {
        case 1:
            return bandSums<1>(v, area, out);
        case 2:
            return bandSums<2>(v, area, out);
        case 3:
            return bandSums<3>(v, area, out);
        default:
            return bandSums<4>(v, area, out);
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

// A block fetched, waiting for its split.
struct WaveletAnalyzer::Fetch {
    BlockRecord block;
    std::vector<float> pixels;  // filled by the fetch when the source fetches planes
    std::unique_ptr<BlockPixelSource::Fetched> fetched;
};

// A block split, waiting for correct.
struct WaveletAnalyzer::Slot {
    Slot(const BlockGrid& grid, int bands) : analysis(grid, bands) {}
    BlockRecord block;
    std::vector<float> pixels;
    std::unique_ptr<BlockPixelSource::Fetched> fetched;
    BlockAnalysis analysis;
    int status = 0;  // of split
};

size_t WaveletAnalyzer::plan(int& from, int count, std::vector<Fetch>& into) {
    size_t n = 0;
    for (; from < count && n < into.size(); ++from)
        if (grid_.inImage(from)) into[n++].block = grid_.record(from);
    return n;
}

size_t WaveletAnalyzer::fetch(int& from, int count, std::vector<Fetch>& into) {
    const size_t n = plan(from, count, into);
    for (size_t i = 0; i < n; ++i) {
        Fetch& f = into[i];
        const BlockRecord& b = f.block;
        if (source_.fetchesPlanes())
            f.pixels.resize(size_t(b.x1 - b.x0 + 1) * size_t(b.y1 - b.y0 + 1) * size_t(bands_));
        if (source_.fetchBlock(b.x0, b.x1, b.y0, b.y1, f.pixels.data(), f.fetched) != 0) interrupted();
    }
    return n;
}

void WaveletAnalyzer::runPass(SubbandSink& sink) {
    const int subbands = subbandCount();
    peakHeld_ = 0;
    const int count = int(grid_.indexCount());
    total_.assign(size_t(subbands) * size_t(bands_), LeafStatistics());
    // About what two blocks drop: their cells, border pieces and pieces.
    const BlockSize size = grid_.blockSize();
    FloatRecycler recycler(2 * size_t(size.width) * size_t(size.height) * size_t(bands_));
    OverlapExchange exchange(grid_, bands_);
    DumpSchedule schedule(grid_, bands_);
    schedule.setPool(pool_);
    exchange.setRecycler(&recycler);
    schedule.setRecycler(&recycler);
    std::vector<CoefficientPiece> cells;
    // With a pool, a batch of blocks is split by the workers while this
    // thread fetches the next batch; a block a thread and two more, so that
    // the threads end a batch about together (each block in a batch holds
    // its pixels and planes: the memory grows with the threads).
    const size_t batch = pool_ ? size_t(pool_->threads()) + 2 : 1;
    std::vector<std::unique_ptr<Slot>> slots(batch);
    for (auto& slot : slots) {
        slot = std::make_unique<Slot>(grid_, bands_);
        slot->analysis.setRecycler(&recycler);
    }
    // The last `batch` blocks in the image: none follows that needs their
    // pixels' and lifting buffers' storage, so they let it go once split,
    // before the border exchange makes its pieces.
    int tailStart = count;
    for (size_t tail = 0; tailStart > 0 && tail < batch;)
        if (grid_.inImage(--tailStart)) ++tail;
    std::vector<Fetch> fetches(batch);
    const auto split = [&](int i) {
        Slot& slot = *slots[size_t(i)];
        const BlockRecord& b = slot.block;
        const size_t area = size_t(b.x1 - b.x0 + 1) * size_t(b.y1 - b.y0 + 1);
        if (slot.fetched && source_.convertsBands(*slot.fetched)) {
            // A strip of one band at a time, each converted as it is analysed.
            const int width = b.x1 - b.x0 + 1, height = b.y1 - b.y0 + 1;
            slot.status = slot.analysis.split(b, [&](int band, int first, int rows) {
                slot.pixels.resize(size_t(rows) * size_t(width));
                source_.convertRows(*slot.fetched, band, first, rows, slot.pixels.data());
                // Every band is converted once the last band's last rows are.
                if (band == bands_ - 1 && first + rows == height) slot.fetched.reset();
                return slot.pixels.data();
            });
            slot.fetched.reset();
        } else {
            if (slot.fetched) {
                slot.pixels.resize(area * size_t(bands_));
                source_.convertBlock(slot.fetched, slot.pixels.data());
            }
            slot.status = slot.analysis.split(b, slot.pixels.data());
        }
        if (b.index >= tailStart) {
            std::vector<float>().swap(slot.pixels);
            slot.analysis.releaseSpare();
        }
    };
    int fetchFrom = 0;           // the grid index the next fetch starts at
    size_t fetched = 0;          // blocks waiting in `fetches`
    size_t ready = 0, next = 0;  // blocks split in `slots`, and the next one to use
    if (pool_) fetched = fetch(fetchFrom, count, fetches);
    const bool concurrent = pool_ && source_.fetchesConcurrently() && !source_.fetchesPlanes();

    for (int index = 0; index < count; ++index) {
        if (sink.blockStarting(index, count) != 0) interrupted();
        if (grid_.inImage(index)) {
            if (next == ready) {
                if (!pool_) fetched = fetch(fetchFrom, count, fetches);
                ready = fetched;
                fetched = 0;
                for (size_t i = 0; i < ready; ++i) {
                    Slot& slot = *slots[i];
                    slot.block = fetches[i].block;
                    if (source_.fetchesPlanes()) slot.pixels.swap(fetches[i].pixels);
                    slot.fetched = std::move(fetches[i].fetched);
                }
                if (concurrent) {
                    // The next batch is read by whichever thread is free.
                    const size_t planned = plan(fetchFrom, count, fetches);
                    runJobs(pool_, int(ready + planned), [&](int j) {
                        if (size_t(j) < ready) return split(j);
                        Fetch& f = fetches[size_t(j) - ready];
                        source_.readFetched(f.block.x0, f.block.x1, f.block.y0, f.block.y1, f.fetched);
                    });
                    for (size_t i = 0; i < planned; ++i)
                        if (source_.pollFetched() != 0) interrupted();
                    fetched = planned;
                } else if (pool_)
                    runJobs(pool_, int(ready), split, [&] { fetched = fetch(fetchFrom, count, fetches); });
                else
                    runJobs(nullptr, int(ready), split);
                if (sink.pollInterrupt() != 0) interrupted();
                next = 0;
                if (ready == 0) throw Error("Error encountered in subroutine split.");
            }
            Slot& slot = *slots[next++];
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
