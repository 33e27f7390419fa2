#include "encoder/codec/SubbandCoder.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/Error.h"
#include "core/WorkerPool.h"
#include "encoder/codec/ImageWriter.h"
#include "encoder/codec/SynthesisGains.h"
#include "format/BigEndian.h"
#include "format/FileLayout.h"

namespace {

// What no 8-bit sample can show: a change of at most 1/64 of a level.
constexpr double kInvisible = 1.0 / 64.0;
// The largest error of a coded coefficient, in steps: the decoder puts index
// q at (|q| + 0.06) steps, so the error lies within (-0.44, 0.56] steps.
constexpr double kLargestError = 0.56;
// Index 1 decodes to (1 + kIndexOneExcess) steps.
constexpr double kIndexOneExcess = 0.06;
// The error allowed a constant band, in levels of the 8-bit output.
constexpr double kConstantError = 0.25;

// Precision that no decoded sample can show is not paid for. A band of a
// piece whose largest coefficient moves no sample by more than kInvisible is
// not coded at all (flat areas, where the coefficients are lifting residues);
// a coded band gets no finer step than the one whose largest error moves no
// sample by more than kInvisible. Returns band k's step after that rule.
//
// A band that is constant to within what no sample can show (the low-pass
// band of a flat area: a no-data collar, water, cloud) is coded at the
// coarsest step that still reproduces every sample: without dither one
// whose index 1 decodes to the constant itself, so every index is 1; with
// dither one whose largest error moves no sample by more than kConstantError,
// which leaves room for the dropped bands' kInvisible each.
float visible_step(const SubbandPiece& piece, int levels, int k, float step, bool dithered) {
    if (step == 0.0f) return step;
    const double peak =
        subband_output_gains(piece.subband, levels).peak * band_output_gains(k, piece.bands).peak;
    const size_t area = size_t(piece.width()) * size_t(piece.height());
    const float* c = piece.band(k);
    float largest = 0.0f, low = c[0], high = c[0];
    for (size_t i = 0; i < area; ++i) {
        largest = std::max(largest, std::fabs(c[i]));
        low = std::min(low, c[i]);
        high = std::max(high, c[i]);
    }
    if (double(largest) * peak < kInvisible) return 0.0f;
    if (double(high - low) * peak < kInvisible && (low > 0.0f || high < 0.0f)) {
        if (!dithered) return float(std::fabs(0.5 * (double(low) + double(high))) / (1.0 + kIndexOneExcess));
        return std::max(step, float(kConstantError / (kLargestError * peak)));
    }
    return std::max(step, float(kInvisible / (kLargestError * peak)));
}

// Codes the indices of a width x height band in records of `side` square
// with one table for them all, into `bytes` as SubbandFile stores it.
void code_records(const int16_t* indices, int width, int height, float step, int side,
                  std::vector<IndexRecord>& records, std::vector<uint8_t>& bytes) {
    namespace layout = Lumetra::FileLayout;
    const std::vector<RecordCut> cuts = cut_records(width, height, side, side);
    records.resize(cuts.size());
    for (size_t r = 0; r < cuts.size(); ++r) {
        records[r].data = indices + size_t(cuts[r].y) * size_t(width) + size_t(cuts[r].x);
        records[r].width = cuts[r].width;
        records[r].height = cuts[r].height;
        records[r].stride = size_t(width);
    }
    Lumetra::HuffmanTable table;
    if (GenHTDesc2(records.data(), records.size(), table) != 0)
        throw Error("Error encountered in GenHTDesc2.");
    SymbolCodes codes;
    if (GenCode2(table, codes) != 0) throw Error("Error encountered in GenCode2.");
    bytes.clear();
    bytes.push_back(layout::kMarker);
    bytes.push_back(layout::kBlockHeader);
    Lumetra::appendTableDescription(bytes, table);
    Lumetra::appendFloat(bytes, step);
    Lumetra::appendU32(bytes, uint32_t(side));
    Lumetra::appendU32(bytes, uint32_t(side));
    const size_t offsets = bytes.size();
    bytes.resize(offsets + 4 * records.size(), 0);
    for (size_t r = 0; r < records.size(); ++r) {
        if (int64_t(bytes.size()) > kLargestFileOffset) throw Error(kOutputTooLargeMessage);
        Lumetra::putU32(&bytes[offsets + 4 * r], uint32_t(bytes.size()));
        if (encode_block2(records[r], codes, bytes) != 0) throw Error("Error encountered in encode_block2.");
    }
}

}  // namespace

SubbandCoder::SubbandCoder(SubbandMap& map, const AllocationParameters& allocation, bool dither)
    : map_(map), allocation_(allocation), dither_(dither) {}

void SubbandCoder::encode_band(const float* coefficients, int width, int height, float step,
                               const DitherOffsets* dither, int x0, int y0, float rounding, bool skipZeros,
                               CodedBand& out) {
    out.present = false;
    out.usedStep = 0.0f;
    if (step == 0.0f || width <= 0 || height <= 0) return;
    out.indices.resize(size_t(width) * size_t(height));
    const float used =
        sq(coefficients, width, height, size_t(width), step, dither, x0, y0, out.indices.data(), rounding);
    if (skipZeros && std::all_of(out.indices.begin(), out.indices.end(), [](int16_t q) { return q == 0; }))
        return;
    out.present = true;
    out.usedStep = used;
    code_records(out.indices.data(), width, height, used, kRecordSize, out.records, out.bytes);
}

StoredBlock SubbandCoder::code_band(SubbandFile& file, const float* coefficients, int width, int height,
                                    float step, const DitherOffsets* dither, int x0, int y0, float& usedStep,
                                    std::vector<int16_t>& indexScratch, std::vector<uint8_t>& codedScratch,
                                    float rounding, bool skipZeros) {
    CodedBand band;
    band.indices.swap(indexScratch);
    band.bytes.swap(codedScratch);
    encode_band(coefficients, width, height, step, dither, x0, y0, rounding, skipZeros, band);
    band.indices.swap(indexScratch);
    band.bytes.swap(codedScratch);
    usedStep = band.usedStep;
    if (!band.present) return StoredBlock();
    return file.append(codedScratch);
}

void SubbandCoder::setFixedSteps(std::vector<float> steps, float rounding) {
    fixedSteps_ = std::move(steps);
    rounding_ = rounding;
}

bool SubbandCoder::pieceSteps(const SubbandPiece& piece, const std::vector<LeafStatistics>& marked,
                              std::vector<float>& steps) {
    if (piece.subband < 0 || size_t(piece.subband) >= map_.size()) return false;
    const SubbandMapEntry& entry = *map_[size_t(piece.subband)];
    if (!entry.file || piece.bands != allocation_.bands ||
        (!fixedSteps_.empty() && fixedSteps_.size() != map_.size() * size_t(piece.bands)) ||
        piece.width() <= 0 || piece.height() <= 0 ||
        piece.data.size() < size_t(piece.bands) * size_t(piece.width()) * size_t(piece.height()))
        return false;
    if (fixedSteps_.empty()) {
        variances_.resize(marked.size());
        for (size_t j = 0; j < marked.size(); ++j) variances_[j] = marked[j].variance();
        steps = bit_allocation_steps(allocation_, variances_, piece.subband);
    } else {
        const auto first = fixedSteps_.begin() + ptrdiff_t(piece.subband) * ptrdiff_t(piece.bands);
        steps.assign(first, first + piece.bands);
    }
    return steps.size() == size_t(piece.bands);
}

int SubbandCoder::writePiece(const SubbandPiece& piece, const std::vector<LeafStatistics>& markedStatistics) {
    const SubbandPiece* p = &piece;
    const std::vector<LeafStatistics>* m = &markedStatistics;
    return code(&p, &m, 1);
}

int SubbandCoder::writePieces(const std::vector<SubbandPiece>& pieces,
                              const std::vector<std::vector<LeafStatistics>>& marked) {
    if (marked.size() != pieces.size()) return 1;
    std::vector<const SubbandPiece*> p;
    std::vector<const std::vector<LeafStatistics>*> m;
    for (size_t i = 0; i < pieces.size(); ++i) {
        p.push_back(&pieces[i]);
        m.push_back(&marked[i]);
    }
    return code(p.data(), m.data(), pieces.size());
}

int SubbandCoder::code(const SubbandPiece* const* pieces, const std::vector<LeafStatistics>* const* marked,
                       size_t count) {
    // The steps of every piece first (the bit allocation is cheap), then
    // every band of every piece as one job, then the files in order.
    if (steps_.size() < count) steps_.resize(count);
    std::vector<std::pair<size_t, int>> jobs;  // piece, band
    for (size_t i = 0; i < count; ++i) {
        if (!pieceSteps(*pieces[i], *marked[i], steps_[i])) return 1;
        for (int k = 0; k < pieces[i]->bands; ++k) jobs.emplace_back(i, k);
    }
    if (codedBands_.size() < jobs.size()) codedBands_.resize(jobs.size());
    const bool skipZeros = !fixedSteps_.empty();
    // The last pieces, of the finest subbands, are the largest: they go first.
    Lumetra::runJobs(pool_, int(jobs.size()), [&](int job) {
        const int j = int(jobs.size()) - 1 - job;
        const SubbandPiece& piece = *pieces[jobs[size_t(j)].first];
        const int k = jobs[size_t(j)].second;
        float step = steps_[jobs[size_t(j)].first][size_t(k)];
        const DitherOffsets* dither = (k == 0 && dither_) ? &map_[size_t(piece.subband)]->dither : nullptr;
        if (!allocation_.thumbnailPass)
            step = visible_step(piece, allocation_.levels, k, step, dither != nullptr);
        encode_band(piece.band(k), piece.width(), piece.height(), step, dither, piece.x0, piece.y0, rounding_,
                    skipZeros, codedBands_[size_t(j)]);
    });
    size_t j = 0;
    for (size_t i = 0; i < count; ++i) {
        const SubbandPiece& piece = *pieces[i];
        SubbandMapEntry& entry = *map_[size_t(piece.subband)];
        SubbandBlockRecord block;
        block.x0 = piece.x0;
        block.x1 = piece.x1;
        block.y0 = piece.y0;
        block.y1 = piece.y1;
        block.steps.assign(size_t(piece.bands), 0.0f);
        block.stored.assign(size_t(piece.bands), StoredBlock());
        for (int k = 0; k < piece.bands; ++k, ++j) {
            const CodedBand& band = codedBands_[j];
            if (!band.present) continue;
            block.steps[size_t(k)] = band.usedStep;
            block.stored[size_t(k)] = entry.file->append(band.bytes);
        }
        entry.blocks.push_back(std::move(block));
    }
    return 0;
}
