#pragma once
// The dump schedule: which leaf subbands are written after which block, and
// the assembly of the waiting cells of a subband into one piece.
//
// After grid index a, the leaves of depth d (d = L .. 1, in leaf order) are
// due when (a + 1) is a multiple of 4^(d-1); the final flush makes every
// depth due. The cells waiting for a subband at that moment are those of one
// aligned group of 2^(d-1) x 2^(d-1) blocks (clipped to the grid); they are
// assembled into their bounding box, which they fill exactly. The marked
// statistics of a piece are the statistics, for every leaf and band, of the
// blocks whose cells it holds.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "encoder/codec/BlockGrid.h"
#include "encoder/codec/BorderPieces.h"
#include "encoder/codec/FloatRecycler.h"
#include "encoder/codec/SubbandSink.h"

namespace Lumetra {
class WorkerPool;
}

class DumpSchedule {
public:
    DumpSchedule(const BlockGrid& grid, int bands);

    // Whether the leaves of `depth` are written after grid index `index`.
    static bool due(int64_t index, int depth);

    // Takes the final cells of a block (leaf order) and their statistics
    // (index subband * bands + band).
    void addBlock(const BlockRecord& block, std::vector<CoefficientPiece>&& cells,
                  std::vector<LeafStatistics>&& statistics);

    // Pieces are assembled on the pool when there is one.
    void setPool(Lumetra::WorkerPool* pool) { pool_ = pool; }
    // Where the pieces take their storage (none: new), and where the cells
    // and the written pieces give it back.
    void setRecycler(FloatRecycler* recycler) { recycler_ = recycler; }

    // Writes every due subband after grid index `index` (every depth when
    // finalFlush), all in one call of the sink's writePieces. Returns 0, 1 when the cells of a piece do not
    // form one group of the grid ("Error 1 in subroutine assemble." on standard error), or 2 when the sink
    // refused a piece.
    int dump(int64_t index, bool finalFlush, SubbandSink& sink);

    // Assembles the waiting cells of one subband into `piece`, with the
    // marked statistics. Returns 0 (piece.blocks empty when nothing waits)
    // or 1 as above.
    int assemble(int subband, SubbandPiece& piece, std::vector<LeafStatistics>& marked);

    // Cells waiting to be written, and the floats they hold.
    size_t waitingCells() const;
    size_t waitingFloats() const;

private:
    struct Cell {
        int column = 0, row = 0;
        int64_t block = 0;
        CoefficientPiece piece;
    };
    struct BlockStatistics {
        std::vector<LeafStatistics> values;
        int remaining = 0;  // leaves not yet written
    };

    void release(const SubbandPiece& piece);

    const BlockGrid& grid_;
    int bands_;
    int subbands_;
    std::vector<std::vector<Cell>> waiting_;  // per leaf
    std::unordered_map<int64_t, BlockStatistics> statistics_;
    Lumetra::WorkerPool* pool_ = nullptr;
    FloatRecycler* recycler_ = nullptr;
};
