#pragma once
// The quantising end of the analysis: for every assembled piece it chooses
// the steps by bit allocation over the marked blocks' statistics, quantises
// each band (band 0 dithered when asked), codes it in records as the image
// file holds it and appends it to the subband's temporary file, recording it
// in the subband map.

#include <cstdint>
#include <vector>

#include "encoder/codec/BitAllocation.h"
#include "encoder/codec/HuffmanEncoder.h"
#include "encoder/codec/SubbandMap.h"
#include "encoder/codec/SubbandSink.h"

namespace Lumetra {
class WorkerPool;
}

class SubbandCoder : public SubbandSink {
public:
    // The side of the records a band is coded in, with one table for all
    // the records of the band.
    static constexpr int kRecordSize = 128;

    // `map` must have 3 x allocation.levels + 1 entries and outlive the coder.
    SubbandCoder(SubbandMap& map, const AllocationParameters& allocation, bool dither);

    // Throws Lumetra::Exception "Write error. Check that temporary directory
    // is not full." when a subband file cannot be written.
    int writePiece(const SubbandPiece& piece, const std::vector<LeafStatistics>& markedStatistics) override;
    // The bands of all the pieces are quantised and coded at once on the
    // pool (when set), then appended to the files in the order writePiece
    // would append them.
    int writePieces(const std::vector<SubbandPiece>& pieces,
                    const std::vector<std::vector<LeafStatistics>>& marked) override;
    void setPool(Lumetra::WorkerPool* pool) { pool_ = pool; }

    // Codes one band of a block into `file` with the given step (the
    // stored bytes are left in `codedScratch`); returns
    // where it went (offset -1 when the step is 0, or when `skipZeros` and
    // every index is 0) and sets `usedStep` to the step sq used (0 when
    // nothing was coded). `rounding` is sq's.
    static StoredBlock code_band(SubbandFile& file, const float* coefficients, int width, int height,
                                 float step, const DitherOffsets* dither, int x0, int y0, float& usedStep,
                                 std::vector<int16_t>& indexScratch, std::vector<uint8_t>& codedScratch,
                                 float rounding = 0.5f, bool skipZeros = false);

    // Best-quality mode: the step of every (subband s, band k), at
    // s * bands + k, in place of the bit allocation, and sq's rounding.
    // Bands whose indices are all 0 are not coded (without dither both
    // decode to zeros).
    void setFixedSteps(std::vector<float> steps, float rounding);

    // One band of a block quantised and coded, not yet stored.
    struct CodedBand {
        bool present = false;  // false: nothing to store (step 0, or all zeros when skipped)
        float usedStep = 0.0f;
        std::vector<uint8_t> bytes;    // as SubbandFile stores it
        std::vector<int16_t> indices;  // scratch
        std::vector<IndexRecord> records;  // scratch
    };
    // code_band without the file: fills `out`. Throws Error when the band
    // cannot be coded (or its records would lie beyond 4 GiB).
    static void encode_band(const float* coefficients, int width, int height, float step,
                            const DitherOffsets* dither, int x0, int y0, float rounding, bool skipZeros,
                            CodedBand& out);

private:
    int code(const SubbandPiece* const* pieces, const std::vector<LeafStatistics>* const* marked,
             size_t count);
    // The steps of a piece, before the invisible detail is dropped; false
    // when the piece does not fit the map.
    bool pieceSteps(const SubbandPiece& piece, const std::vector<LeafStatistics>& marked,
                    std::vector<float>& steps);

    SubbandMap& map_;
    AllocationParameters allocation_;
    bool dither_;
    std::vector<double> variances_;
    std::vector<float> fixedSteps_;  // empty: the bit allocation chooses
    float rounding_ = 0.5f;
    Lumetra::WorkerPool* pool_ = nullptr;
    std::vector<std::vector<float>> steps_;  // per piece of a call
    std::vector<CodedBand> codedBands_;      // per band of the pieces of a call, kept for their storage
};
