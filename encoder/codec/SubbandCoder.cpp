#include "encoder/codec/SubbandCoder.h"

#include <algorithm>
#include <cmath>

#include "encoder/codec/HuffmanEncoder.h"
#include "encoder/codec/SynthesisGains.h"

namespace {

// What no 8-bit sample can show: a change of at most 1/64 of a level.
constexpr double kInvisible = 1.0 / 64.0;
// The largest error of a coded coefficient, in steps: the decoder puts index
// q at (|q| + 0.06) steps, so the error lies within (-0.44, 0.56] steps.
constexpr double kLargestError = 0.56;

// Precision that no decoded sample can show is not paid for. A band of a
// piece whose largest coefficient moves no sample by more than kInvisible is
// not coded at all (flat areas, where the coefficients are lifting residues);
// a coded band gets no finer step than the one whose largest error moves no
// sample by more than kInvisible.
void drop_invisible(const SubbandPiece& piece, int levels, std::vector<float>& steps) {
    const double subbandPeak = subband_output_gains(piece.subband, levels).peak;
    const size_t area = size_t(piece.width()) * size_t(piece.height());
    for (int k = 0; k < piece.bands; ++k) {
        float& step = steps[size_t(k)];
        if (step == 0.0f) continue;
        const double peak = subbandPeak * band_output_gains(k, piece.bands).peak;
        const float* c = piece.band(k);
        float largest = 0.0f;
        for (size_t i = 0; i < area; ++i) largest = std::max(largest, std::fabs(c[i]));
        if (double(largest) * peak < kInvisible) {
            step = 0.0f;
            continue;
        }
        step = std::max(step, float(kInvisible / (kLargestError * peak)));
    }
}

}  // namespace

SubbandCoder::SubbandCoder(SubbandMap& map, const AllocationParameters& allocation, bool dither)
    : map_(map), allocation_(allocation), dither_(dither) {}

StoredBlock SubbandCoder::code_band(SubbandFile& file, const float* coefficients, int width, int height,
                                    float step, const DitherOffsets* dither, int x0, int y0, float& usedStep,
                                    std::vector<int16_t>& indexScratch, std::vector<uint8_t>& codedScratch,
                                    float rounding, bool skipZeros) {
    usedStep = 0.0f;
    if (step == 0.0f || width <= 0 || height <= 0) return StoredBlock();
    indexScratch.resize(size_t(width) * size_t(height));
    const float used =
        sq(coefficients, width, height, size_t(width), step, dither, x0, y0, indexScratch.data(), rounding);
    if (skipZeros && std::all_of(indexScratch.begin(), indexScratch.end(), [](int16_t q) { return q == 0; }))
        return StoredBlock();
    usedStep = used;
    IndexRecord record;
    record.data = indexScratch.data();
    record.width = width;
    record.height = height;
    record.stride = size_t(width);
    Lumetra::HuffmanTable table;
    SymbolCodes codes;
    GenHTDesc2(&record, 1, table);
    GenCode2(table, codes);
    codedScratch.clear();
    encode_block2(record, codes, codedScratch);
    return file.append(table, usedStep, codedScratch);
}

void SubbandCoder::setFixedSteps(std::vector<float> steps, float rounding) {
    fixedSteps_ = std::move(steps);
    rounding_ = rounding;
}

int SubbandCoder::writePiece(const SubbandPiece& piece, const std::vector<LeafStatistics>& markedStatistics) {
    if (piece.subband < 0 || size_t(piece.subband) >= map_.size()) return 1;
    SubbandMapEntry& entry = *map_[size_t(piece.subband)];
    if (!entry.file || piece.bands != allocation_.bands ||
        (!fixedSteps_.empty() && fixedSteps_.size() != map_.size() * size_t(piece.bands)) || piece.width() <= 0 || piece.height() <= 0 ||
        piece.data.size() < size_t(piece.bands) * size_t(piece.width()) * size_t(piece.height()))
        return 1;
    variances_.resize(markedStatistics.size());
    for (size_t j = 0; j < markedStatistics.size(); ++j) variances_[j] = markedStatistics[j].variance();
    std::vector<float> steps;
    if (fixedSteps_.empty()) {
        steps = bit_allocation_steps(allocation_, variances_, piece.subband);
    } else {
        const auto first = fixedSteps_.begin() + ptrdiff_t(piece.subband) * ptrdiff_t(piece.bands);
        steps.assign(first, first + piece.bands);
    }
    if (!allocation_.thumbnailPass) drop_invisible(piece, allocation_.levels, steps);

    SubbandBlockRecord block;
    block.x0 = piece.x0;
    block.x1 = piece.x1;
    block.y0 = piece.y0;
    block.y1 = piece.y1;
    block.steps.assign(size_t(piece.bands), 0.0f);
    block.stored.assign(size_t(piece.bands), StoredBlock());
    for (int k = 0; k < piece.bands; ++k) {
        const DitherOffsets* dither = (k == 0 && dither_) ? &entry.dither : nullptr;
        block.stored[size_t(k)] =
            code_band(*entry.file, piece.band(k), piece.width(), piece.height(), steps[size_t(k)], dither,
                      piece.x0, piece.y0, block.steps[size_t(k)], indices_, coded_, rounding_,
                      !fixedSteps_.empty());
    }
    entry.blocks.push_back(std::move(block));
    return 0;
}
