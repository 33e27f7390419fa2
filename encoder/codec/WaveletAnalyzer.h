#pragma once
// One analysis pass of the encoder: the block-wise CDF 9/7 decomposition of
// a whole image, handed to a SubbandSink piece by piece.
//
// Usage (one pass, L levels):
//
//     WaveletAnalyzer analyzer(source, L, 512);   // block-size rule checked here
//     analyzer.run(sink);                         // pieces + statistics to the sink
//     analyzer.totalStatistics();                 // all blocks, for the rate estimate
//
// run() walks every grid index in Morton order. For an index inside the
// image it reads the block's pixels, analyses them (split), adds the
// contributions exchanged with the neighbours analysed before (correct), and
// then applies the dump schedule: for each depth d = L .. 1, when (index + 1)
// is a multiple of 4^(d-1), every leaf subband of that depth (in leaf order)
// whose cells are ready is assembled into one rectangular piece and handed to
// SubbandSink::writePiece with the statistics of the blocks in it. Indices
// outside the image go straight to the schedule. After the last index every
// depth is flushed. blockStarting / blockDone are called around every index.
//
// Contract (checked where pieces are assembled): a leaf's coefficients, over
// all its pieces, equal those of a whole-image decomposition with symmetric
// extension at the image edges; every coefficient is handed over exactly
// once; a piece is exactly the union of the cells of one aligned group of
// 2^(d-1) x 2^(d-1) blocks clipped to the grid, so the pieces of a subband
// form a grid with shared column and row boundaries.
//
// Leaf numbering: 0 is the final low-pass band (depth L), then HL, LH, HH of
// depth L, of depth L-1, ..., of depth 1.

#include <cstddef>
#include <memory>
#include <vector>

#include "encoder/codec/BlockGrid.h"
#include "encoder/codec/BlockPixelSource.h"
#include "encoder/codec/SubbandSink.h"

namespace Lumetra {
class WorkerPool;
}

class WaveletAnalyzer {
public:
    // Builds the block grid for the source's size and band count. Throws
    // Lumetra::Exception with "Error: image too small for given nlev." or
    // "Error: block size too small for given nlev.".
    WaveletAnalyzer(BlockPixelSource& source, int levels, int blockSize);
    ~WaveletAnalyzer();
    WaveletAnalyzer(const WaveletAnalyzer&) = delete;
    WaveletAnalyzer& operator=(const WaveletAnalyzer&) = delete;

    const BlockGrid& grid() const { return grid_; }
    int levels() const { return levels_; }
    int bands() const { return bands_; }
    int subbandCount() const { return 3 * levels_ + 1; }

    // Runs the whole pass into the sink. Throws Error with
    // "Program interrupt encountered." when a hook answers non-zero,
    // "Error encountered in subroutine split." / "... correct." /
    // "... assemble." / "... output2disk." (writePiece failed) on failure,
    // and Lumetra::Exception "Memory allocation error." when memory runs out.
    void run(SubbandSink& sink);

    // Threads for the conversion and split of blocks: with a pool, batches
    // of two blocks more than it has threads are fetched (in order, on this
    // thread, each batch while the workers split the one before; by the
    // workers too, with the splits, when the source reads concurrently) and
    // split at once; correct, the schedule and the sink stay on this thread in
    // block order, so the pieces are the same. None: one block at a time,
    // all on this thread.
    void setPool(Lumetra::WorkerPool* pool) { pool_ = pool; }

    // Statistics over all blocks analysed so far, index subband * bands + band.
    const std::vector<LeafStatistics>& totalStatistics() const { return total_; }

    // Largest number of coefficient floats held between blocks (border
    // pieces and cells waiting for their dump) during the last run.
    size_t peakHeldFloats() const { return peakHeld_; }

private:
    struct Fetch;
    struct Slot;
    void runPass(SubbandSink& sink);
    // Fetches the in-image blocks from grid index `from` on, as many as
    // `into` holds; returns how many, `from` moved past the last.
    size_t fetch(int& from, int count, std::vector<Fetch>& into);
    // The same without reading: only the blocks' records.
    size_t plan(int& from, int count, std::vector<Fetch>& into);

    BlockPixelSource& source_;
    int levels_;
    int bands_;
    BlockGrid grid_;
    std::vector<LeafStatistics> total_;
    size_t peakHeld_ = 0;
    Lumetra::WorkerPool* pool_ = nullptr;
};
