#include "encoder/codec/ImageEncoder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "core/Error.h"
#include "core/Exception.h"
#include "core/TemporaryName.h"
#include "core/WorkerPool.h"
#include "encoder/codec/BitAllocation.h"
#include "encoder/codec/IconOutput.h"
#include "encoder/codec/ImagePixelSource.h"
#include "encoder/codec/ImageWriter.h"
#include "encoder/codec/SubbandCoder.h"
#include "encoder/codec/WaveletAnalyzer.h"
#include "encoder/rawimage/Image.h"
#include "encoder/rawimage/RFIImage.h"

namespace {

constexpr float kAnalysisEnd = 0.94f;
constexpr float kWriterEnd = 0.99f;

// Best-quality mode. Index q stands for (|q| + 0.06) steps, so the error
// alone would put the decisions at q + 0.56 steps; since smaller indices
// cost fewer bits, they sit at q + 0.7 (measured on photographs: 0.3 dB
// better than 0.56 at 0.25 to 2 bits per sample).
constexpr float kBestRounding = 0.3f;
constexpr int kMostTrials = 12;
constexpr double kRateTolerance = 0.015;  // of the file size asked for

// The subband coder of one pass, reporting progress per block of the image
// and polling the interrupt hook.
class PassCoder : public SubbandCoder {
public:
    PassCoder(SubbandMap& map, const AllocationParameters& allocation, bool dither, const BlockGrid& grid,
              float start, float end, const EncoderProgress& progress, const EncoderInterrupt& interrupt)
        : SubbandCoder(map, allocation, dither),
          grid_(grid),
          start_(start),
          end_(end),
          current_(start),
          progress_(progress),
          interrupt_(interrupt) {}

    int blockStarting(int, int) override {
        if (progress_) progress_(current_);
        return 0;
    }
    int blockDone(int index, int) override {
        if (grid_.inImage(index)) {
            ++done_;
            const int total = grid_.imageBlockCount();
            if (total > 0) current_ = start_ + (float(done_) / float(total)) * (end_ - start_);
        }
        return 0;
    }
    int pollInterrupt() override { return interrupt_ && interrupt_() != 0 ? 1 : 0; }

private:
    const BlockGrid& grid_;
    float start_, end_, current_;
    int done_ = 0;
    const EncoderProgress& progress_;
    const EncoderInterrupt& interrupt_;
};

}  // namespace

ImageEncoder::ImageEncoder(Image& image, int nlev, int blockSize, float rate,
                           const Lumetra::FileSpecification* tempDir, EncoderProgress progress,
                           EncoderInterrupt interrupt, float weight, float gamma, bool dither, float kweight)
    : image_(image),
      nlev_(nlev),
      blockSize_(blockSize),
      rate_(rate),
      progress_(std::move(progress)),
      interrupt_(std::move(interrupt)),
      weight_(weight),
      gamma_(gamma),
      dither_(dither),
      kweight_(kweight) {
    if (nlev > kMaxLevels) throw Error("Error: specified value for nlev must be <= 9.");
    if (nlev < 1) throw Error("Error: specified value for nlev must be >= 1.");
    if (tempDir && tempDir->isInitialized()) tempDir_ = *tempDir;
}

SubbandMap ImageEncoder::analysisPass(float start, float end, float* rateEstimate, bool thumbnailPass) {
    ImagePixelSource source(image_, interrupt_);
    WaveletAnalyzer analyzer(source, nlev_, blockSize_);
    const Lumetra::FileSpecification* dir = tempDir_.isInitialized() ? &tempDir_ : nullptr;
    SubbandMap map;
    try {
        map = subband_map_init(nlev_, dir);
    } catch (const std::bad_alloc&) {
        throw Error("Error encountered in subband_map_init.");
    }
    AllocationParameters allocation;
    allocation.levels = nlev_;
    allocation.bands = image_.codedBands();
    allocation.rate = rate_;
    allocation.weight = weight_;
    allocation.gamma = gamma_;
    allocation.kweight = kweight_;
    allocation.thumbnailPass = thumbnailPass;
    analyzer.setPool(pool_);
    PassCoder coder(map, allocation, dithered(), analyzer.grid(), start, end, progress_, interrupt_);
    coder.setPool(pool_);
    if (best_ && !thumbnailPass && bestScale_ > 0.0f)
        coder.setFixedSteps(equal_distortion_steps(nlev_, allocation.bands, bestScale_), kBestRounding);
    analyzer.run(coder);
    if (rateEstimate) {
        std::vector<double> variances;
        for (const LeafStatistics& s : analyzer.totalStatistics()) variances.push_back(s.variance());
        *rateEstimate = bit_allocation_estimate(allocation, variances);
    }
    for (auto& entry : map)
        if (entry->file->write_eof() != 0) throw Error("Error encountered in write_eof.");
    return map;
}

void ImageEncoder::writeFile(SubbandMap& map, const Lumetra::FileSpecification& output) {
    // The length of a block's last code-block runs to the first header of
    // the next block in the table; a block without data there would cut it
    // to nothing for a reader that does not look further. So the blocks
    // without data go first (the grid comes from their bounds, not their
    // order), and those with data keep their order, the order of their
    // data in the subband file.
    for (auto& entry : map)
        std::stable_partition(entry->blocks.begin(), entry->blocks.end(), [](const SubbandBlockRecord& b) {
            for (const StoredBlock& s : b.stored)
                if (s.offset >= 0) return false;
            return true;
        });
    WriterSettings settings;
    settings.levels = nlev_;
    settings.progressStart = kAnalysisEnd;
    settings.progressEnd = kWriterEnd;
    settings.progress = progress_;
    settings.interrupt = interrupt_;
    settings.tags.nlev = nlev_;
    settings.tags.rate = rate_;
    settings.tags.weight = weight_;
    settings.tags.gamma = gamma_;
    settings.tags.kweight = kweight_;
    settings.tags.blockSize = blockSize_;
    settings.tags.dither = dithered();
    write_image(image_, map, output, settings);
}

void ImageEncoder::encode(const Lumetra::FileSpecification& output) {
    if (threads_ < 0 || threads_ > kMaxThreads) throw Lumetra::InvalidArgumentException("threads");
    int threads = threads_;
    if (threads == 0) {
        // The online cores, each with at least this many samples: below it,
        // starting and feeding a worker (and its fresh memory) costs more
        // than it saves. The file is the same for every count.
        constexpr int64_t kSamplesPerThread = int64_t(4) << 20;
        const int64_t samples =
            int64_t(image_.width()) * int64_t(image_.height()) * int64_t(image_.codedBands());
        threads = int(std::max<int64_t>(
            1, std::min<int64_t>(Lumetra::WorkerPool::onlineCores(), samples / kSamplesPerThread)));
    }
    std::unique_ptr<Lumetra::WorkerPool> pool;
    if (threads > 1) pool = std::make_unique<Lumetra::WorkerPool>(threads);
    struct Lend {
        Lumetra::WorkerPool*& slot;
        ~Lend() { slot = nullptr; }
    } lend{pool_};
    pool_ = pool.get();
    if (best_) bestScale_ = searchDistortionLevel();
    image_.beginOutput(output.path());
    encodeOnce(output);
    image_.endOutput(output.path());
    if (writeWorldFile_ && output.isInitialized()) image_.writeWorldFile(output);
}

float ImageEncoder::searchDistortionLevel() {
    const double target = double(rate_) * double(image_.width()) * double(image_.height()) *
                          double(image_.codedBands()) / 8.0;
    const Lumetra::FileSpecification* dir = tempDir_.isInitialized() ? &tempDir_ : nullptr;
    Lumetra::TemporaryReservation trial(dir);
    // The trials report no progress; the final encoding does.
    struct Silence {
        EncoderProgress& progress;
        EncoderProgress saved;
        ~Silence() { progress = std::move(saved); }
    } silence{progress_, std::move(progress_)};
    progress_ = nullptr;
    // How far the file misses the target (log of size / target) at a level.
    auto miss = [&](double level) {
        bestScale_ = float(std::exp(level));
        encodeOnce(trial.name());
        struct stat st;
        if (::stat(trial.name().path(), &st) != 0 || st.st_size <= 0)
            throw WriteError(trial.name());
        return std::log(double(st.st_size) / target);
    };
    // The size falls about in proportion to the level: secant steps on the
    // logarithms, kept inside the bracket found so far.
    double x = std::log(10.0) + (1.0 - double(rate_)) * std::log(2.0);
    double fx = miss(x);
    double bestX = x, bestMiss = fx, slope = -1.0;
    double below = -HUGE_VAL, above = HUGE_VAL;  // levels giving too large / too small a file
    for (int trialCount = 1; trialCount < kMostTrials && std::fabs(fx) > std::log1p(kRateTolerance);
         ++trialCount) {
        (fx > 0 ? below : above) = x;
        double next = x - fx / slope;
        next = std::min(std::max(next, x - 2.5), x + 2.5);
        if (!(next > below && next < above))
            next = std::isfinite(below) && std::isfinite(above) ? 0.5 * (below + above) : next;
        const double fn = miss(next);
        if (std::fabs(next - x) > 1e-6 && (fn - fx) / (next - x) < 0.0) slope = (fn - fx) / (next - x);
        x = next;
        fx = fn;
        if (std::fabs(fx) < std::fabs(bestMiss)) {
            bestX = x;
            bestMiss = fx;
        }
    }
    return float(std::exp(bestX));
}

void ImageEncoder::encodeOnce(const Lumetra::FileSpecification& output) {
    // Every subband file belongs to exactly one map entry and is closed and
    // deleted with it, whether the encoding succeeds or throws.
    if (nlev_ <= kOnePassLevels) {
        SubbandMap map = analysisPass(0.0f, kAnalysisEnd, nullptr, false);
        writeFile(map, output);
    } else {
        const int secondLevels = nlev_ - kOnePassLevels;
        const float p1 = (1.0f - 1.0f / 1024.0f) * kAnalysisEnd;
        const Lumetra::FileSpecification* dir = tempDir_.isInitialized() ? &tempDir_ : nullptr;

        ImageEncoder first(image_, kOnePassLevels, blockSize_, rate_, dir, progress_, interrupt_, weight_,
                           gamma_, dither_, kweight_);
        first.best_ = best_;
        first.pool_ = pool_;
        first.bestScale_ = bestScale_;
        float estimate = 0.0f;
        SubbandMap firstMap = first.analysisPass(0.0f, p1, &estimate, false);

        Lumetra::TemporaryReservation icon(dir);
        output_icon(icon.name(), *firstMap[0], image_.width(), image_.height(), kOnePassLevels,
                    image_.codedBands(), dithered());
        SubbandMap secondMap;
        {
            RFIImage thumbnail(icon.name(), 0, 0);
            const float rate = estimate > 0.0f ? estimate : 2.0f;
            ImageEncoder second(thumbnail, secondLevels, blockSize_, rate, dir, progress_, interrupt_,
                                weight_, gamma_, dithered(), kweight_);
            second.pool_ = pool_;
            secondMap = second.analysisPass(p1, kAnalysisEnd, nullptr, true);
        }
        // The second pass's subbands take the place of the first pass's
        // low-pass band; its details follow unchanged.
        SubbandMap merged;
        merged.reserve(size_t(3 * nlev_ + 1));
        for (auto& entry : secondMap) merged.push_back(std::move(entry));
        for (size_t s = 1; s < firstMap.size(); ++s) merged.push_back(std::move(firstMap[s]));
        writeFile(merged, output);
    }
}
