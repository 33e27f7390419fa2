#include "encoder/codec/WaveletAnalyzer.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>

#include "core/Error.h"
#include "core/Exception.h"
#include "encoder/codec/BlockAnalysis.h"
#include "encoder/codec/BorderPieces.h"
#include "encoder/codec/DumpSchedule.h"
#include "wavra/diagnostics.h"

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

void WaveletAnalyzer::runPass(SubbandSink& sink) {
    const int subbands = subbandCount();
    peakHeld_ = 0;
    total_.assign(size_t(subbands) * size_t(bands_), LeafStatistics());
    BlockAnalysis analysis(grid_, bands_);
    OverlapExchange exchange(grid_, bands_);
    DumpSchedule schedule(grid_, bands_);
    std::vector<float> pixels;
    std::vector<CoefficientPiece> cells;

    const int count = int(grid_.indexCount());
    for (int index = 0; index < count; ++index) {
        if (sink.blockStarting(index, count) != 0) interrupted();
        if (grid_.inImage(index)) {
            const BlockRecord block = grid_.record(index);
            const size_t area = size_t(block.x1 - block.x0 + 1) * size_t(block.y1 - block.y0 + 1);
            pixels.resize(area * size_t(bands_));
            if (source_.readBlock(block.x0, block.x1, block.y0, block.y1, pixels.data()) != 0) interrupted();
            if (analysis.split(block, pixels.data()) != 0)
                throw Error("Error encountered in subroutine split.");
            if (sink.pollInterrupt() != 0) interrupted();
            if (exchange.correct(block, analysis.leaves(), cells) != 0)
                throw Error("Error encountered in subroutine correct.");
            if (sink.pollInterrupt() != 0) interrupted();

            std::vector<LeafStatistics> statistics(size_t(subbands) * size_t(bands_));
            for (int s = 0; s < subbands; ++s)
                cellStatistics(cells[size_t(s)], bands_, statistics.data() + size_t(s) * size_t(bands_));
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
