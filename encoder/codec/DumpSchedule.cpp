#include "encoder/codec/DumpSchedule.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "core/WorkerPool.h"
#include "wavra/diagnostics.h"

namespace {

int assembleFailure() {
    wavra::diagnostic("Error 1 in subroutine assemble.\n");
    return 1;
}

}  // namespace

DumpSchedule::DumpSchedule(const BlockGrid& grid, int bands)
    : grid_(grid), bands_(bands), subbands_(3 * grid.levels() + 1), waiting_(size_t(subbands_)) {}

bool DumpSchedule::due(int64_t index, int depth) {
    const int64_t group = int64_t(1) << (2 * (depth - 1));
    return (index + 1) % group == 0;
}

void DumpSchedule::addBlock(const BlockRecord& block, std::vector<CoefficientPiece>&& cells,
                            std::vector<LeafStatistics>&& statistics) {
    BlockStatistics& st = statistics_[block.index];
    st.values = std::move(statistics);
    st.remaining = int(cells.size());
    for (size_t s = 0; s < cells.size() && s < waiting_.size(); ++s) {
        Cell c;
        c.column = block.column;
        c.row = block.row;
        c.block = block.index;
        c.piece = std::move(cells[s]);
        waiting_[s].push_back(std::move(c));
    }
}

int DumpSchedule::assemble(int subband, SubbandPiece& piece, std::vector<LeafStatistics>& marked) {
    int depth = 0, fx = 0, fy = 0;
    leafKind(subband, grid_.levels(), depth, fx, fy);
    piece = SubbandPiece();
    piece.subband = subband;
    piece.depth = depth;
    piece.bands = bands_;
    marked.assign(size_t(subbands_) * size_t(bands_), LeafStatistics());
    std::vector<Cell>& cells = waiting_[size_t(subband)];
    if (cells.empty()) return 0;

    // The cells must be exactly one aligned group of blocks, clipped to the
    // grid: then every piece of the subband is a cell of a coarser grid.
    int c0 = INT_MAX, c1 = -1, r0 = INT_MAX, r1 = -1;
    for (const Cell& c : cells) {
        c0 = std::min(c0, c.column);
        c1 = std::max(c1, c.column);
        r0 = std::min(r0, c.row);
        r1 = std::max(r1, c.row);
    }
    const int side = depth - 1 >= 16 ? INT_MAX : 1 << (depth - 1);
    if (c0 % side != 0 || r0 % side != 0 ||
        c1 != int(std::min<int64_t>(int64_t(c0) + side, grid_.columns()) - 1) ||
        r1 != int(std::min<int64_t>(int64_t(r0) + side, grid_.rows()) - 1) ||
        cells.size() != size_t(c1 - c0 + 1) * size_t(r1 - r0 + 1))
        return assembleFailure();
    std::vector<char> seen(cells.size(), 0);
    for (const Cell& c : cells) {
        char& s = seen[size_t(c.row - r0) * size_t(c1 - c0 + 1) + size_t(c.column - c0)];
        if (s) return assembleFailure();
        s = 1;
        int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        cellBounds(grid_, subband, c.column, c.row, x0, x1, y0, y1);
        if (c.piece.x0 != x0 || c.piece.x1 != x1 || c.piece.y0 != y0 || c.piece.y1 != y1)
            return assembleFailure();
    }

    // Bounding box: from the first cell's start to the last cell's end.
    int bx0 = 0, bx1 = 0, by0 = 0, by1 = 0, ex0 = 0, ex1 = 0, ey0 = 0, ey1 = 0;
    cellBounds(grid_, subband, c0, r0, bx0, bx1, by0, by1);
    cellBounds(grid_, subband, c1, r1, ex0, ex1, ey0, ey1);
    piece.x0 = bx0;
    piece.x1 = ex1;
    piece.y0 = by0;
    piece.y1 = ey1;
    const size_t w = size_t(piece.width()), area = w * size_t(piece.height());
    size_t covered = 0;
    std::sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) { return a.block < b.block; });
    // A single cell is the piece as it stands (same bounds, same layout).
    const bool single = cells.size() == 1 && cells[0].piece.data.size() == size_t(bands_) * area;
    // Otherwise every value is written below: the cells tile the piece (checked).
    piece.data =
        single ? std::move(cells[0].piece.data) : FloatRecycler::take(recycler_, size_t(bands_) * area);
    for (const Cell& c : cells) {
        const CoefficientPiece& p = c.piece;
        covered += p.area();
        for (int b = 0; b < bands_ && !single; ++b) {
            const float* src = p.data.data() + size_t(b) * p.area();
            float* dst = piece.data.data() + size_t(b) * area;
            for (int y = p.y0; y <= p.y1; ++y)
                std::memcpy(dst + size_t(y - piece.y0) * w + size_t(p.x0 - piece.x0),
                            src + size_t(y - p.y0) * size_t(p.width()), sizeof(float) * size_t(p.width()));
        }
        piece.blocks.push_back(int(c.block));
        const BlockStatistics& st = statistics_.at(c.block);
        for (size_t j = 0; j < marked.size() && j < st.values.size(); ++j) marked[j].add(st.values[j]);
    }
    if (covered != area) return assembleFailure();
    for (Cell& c : cells) FloatRecycler::give(recycler_, std::move(c.piece.data));
    cells.clear();
    return 0;
}

void DumpSchedule::release(const SubbandPiece& piece) {
    for (int b : piece.blocks) {
        auto it = statistics_.find(b);
        if (it != statistics_.end() && --it->second.remaining <= 0) statistics_.erase(it);
    }
}

int DumpSchedule::dump(int64_t index, bool finalFlush, SubbandSink& sink) {
    const int levels = grid_.levels();
    std::vector<int> due;
    for (int depth = levels; depth >= 1; --depth) {
        if (!finalFlush && !DumpSchedule::due(index, depth)) continue;
        const int first = depth == levels ? 0 : 1 + 3 * (levels - depth);
        const int last = 3 * (levels - depth) + 3;
        for (int s = first; s <= last; ++s)
            if (!waiting_[size_t(s)].empty()) due.push_back(s);
    }
    if (due.empty()) return 0;
    // Each subband's cells are its own, the statistics are only read.
    std::vector<SubbandPiece> pieces(due.size());
    std::vector<std::vector<LeafStatistics>> marked(due.size());
    std::vector<int> status(due.size(), 0);
    // The finest subbands, the largest, go first so that the threads end together.
    Lumetra::runJobs(pool_, int(due.size()), [&](int job) {
        const int i = int(due.size()) - 1 - job;
        status[size_t(i)] = assemble(due[size_t(i)], pieces[size_t(i)], marked[size_t(i)]);
    });
    for (int r : status)
        if (r != 0) return 1;
    if (sink.writePieces(pieces, marked) != 0) return 2;
    for (SubbandPiece& piece : pieces) {
        release(piece);
        FloatRecycler::give(recycler_, std::move(piece.data));
    }
    return 0;
}

size_t DumpSchedule::waitingCells() const {
    size_t n = 0;
    for (const auto& v : waiting_) n += v.size();
    return n;
}

size_t DumpSchedule::waitingFloats() const {
    size_t n = 0;
    for (const auto& v : waiting_)
        for (const Cell& c : v) n += c.piece.data.size();
    return n;
}
