#pragma once
// The quantising end of the analysis: for every assembled piece it chooses
// the steps by bit allocation over the marked blocks' statistics, quantises
// each band (band 0 dithered when asked) and appends the coded blocks to the
// subband's temporary file, recording them in the subband map.

#include <cstdint>
#include <vector>

#include "encoder/codec/BitAllocation.h"
#include "encoder/codec/SubbandMap.h"
#include "encoder/codec/SubbandSink.h"

class SubbandCoder : public SubbandSink {
public:
    // `map` must have 3 x allocation.levels + 1 entries and outlive the coder.
    SubbandCoder(SubbandMap& map, const AllocationParameters& allocation, bool dither);

    // Throws Lumetra::Exception "Write error. Check that temporary directory
    // is not full." when a subband file cannot be written.
    int writePiece(const SubbandPiece& piece, const std::vector<LeafStatistics>& markedStatistics) override;

    // Codes one band of a block into `file` with the given step; returns
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

private:
    SubbandMap& map_;
    AllocationParameters allocation_;
    bool dither_;
    std::vector<double> variances_;
    std::vector<float> fixedSteps_;  // empty: the bit allocation chooses
    float rounding_ = 0.5f;
    std::vector<int16_t> indices_;
    std::vector<uint8_t> coded_;
};
