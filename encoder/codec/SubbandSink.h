#pragma once
// Where the block-wise wavelet analysis hands its finished coefficients.
//
// The analysis walks the block grid in Morton order. After each block it
// works out which leaf subbands are due (the dump schedule), assembles for
// each due subband the final pieces of the blocks that contribute (their own
// coefficients minus held-back margins, plus border pieces whose margins are
// now final) into one rectangular piece, and passes it here together with
// the statistics of the blocks that contributed (the marked blocks). Every
// coefficient of every leaf reaches the sink exactly once.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/FloatBuffer.h"

// Count, sum and sum of squares of coefficients, in double precision.
struct LeafStatistics {
    double count = 0.0;
    double sum = 0.0;
    double sumSquares = 0.0;

    void add(const LeafStatistics& o) {
        count += o.count;
        sum += o.sum;
        sumSquares += o.sumSquares;
    }
    // Sum(x^2)/n - (Sum(x)/n)^2, 1e-9 when not positive, 0 with no samples.
    double variance() const {
        if (count <= 0.0) return 0.0;
        const double mean = sum / count;
        const double v = sumSquares / count - mean * mean;
        return v > 0.0 ? v : 1e-9;
    }
};

// One assembled rectangle of one leaf subband, all bands.
struct SubbandPiece {
    int subband = 0;  // leaf number: 0 the final low-pass band, then HL, LH, HH per depth, coarsest first
    int depth = 0;    // 1 = finest level
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1;  // inclusive bounds in the subband's coefficient grid
    int bands = 0;
    FloatBuffer data;         // band after band, each row-major width() x height()
    std::vector<int> blocks;  // grid indices of the blocks whose coefficients are in the piece

    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
    const float* band(int k) const { return data.data() + size_t(k) * size_t(width()) * size_t(height()); }
    float* band(int k) { return data.data() + size_t(k) * size_t(width()) * size_t(height()); }
};

class SubbandSink {
public:
    virtual ~SubbandSink() = default;

    // A due piece. `markedStatistics` holds, for every leaf subband s and
    // band k at index s * bands + k, the statistics summed over the blocks
    // that contributed to this piece (the marked blocks), so the bit
    // allocation can adapt to the region being written. Returns 0 on
    // success, non-zero on failure (the analysis then stops and reports it).
    virtual int writePiece(const SubbandPiece& piece,
                           const std::vector<LeafStatistics>& markedStatistics) = 0;

    // All the pieces due after one block, in the order writePiece would get
    // them (marked[i] belongs to pieces[i]); a sink may work on them at once
    // as long as the result is that of the calls in order. Returns as
    // writePiece; by default it calls writePiece for each in turn.
    virtual int writePieces(const std::vector<SubbandPiece>& pieces,
                            const std::vector<std::vector<LeafStatistics>>& marked) {
        for (size_t i = 0; i < pieces.size(); ++i)
            if (writePiece(pieces[i], marked[i]) != 0) return 1;
        return 0;
    }

    // Called after each block of the grid has been analysed and its due
    // pieces written (blocks outside the image count too). Returning
    // non-zero interrupts the analysis.
    virtual int blockDone(int /*blockIndex*/, int /*blockCount*/) { return 0; }

    // Called before each block index is handled (blocks outside the image
    // too), so the progress can be reported first. Returning non-zero
    // interrupts the analysis.
    virtual int blockStarting(int /*blockIndex*/, int /*blockCount*/) { return 0; }

    // Polled after split and after correct of each block (the pixel source
    // polls during reading). Returning non-zero interrupts the analysis.
    virtual int pollInterrupt() { return 0; }
};
