#pragma once
// The encoder driver: turns an image into a Wavra image file. One analysis
// pass (block-wise wavelet analysis, bit allocation, quantisation into one
// temporary file per subband) and the file writer; decompositions deeper
// than five levels take two passes, the second on a float thumbnail of the
// first pass's five-level low-pass band.

#include "core/FileSpecification.h"
#include "encoder/codec/EncoderCallbacks.h"
#include "encoder/codec/SubbandMap.h"

class Image;
namespace Lumetra {
class WorkerPool;
}

class ImageEncoder {
public:
    static constexpr int kMaxLevels = 9;
    static constexpr int kOnePassLevels = 5;  // deeper encodings take two passes

    // Throws Error "Error: specified value for nlev must be <= 9." or
    // "Error: specified value for nlev must be >= 1.". The image is not
    // owned; the directory name is copied (none: the default place).
    ImageEncoder(Image& image, int nlev, int blockSize, float rate, const Lumetra::FileSpecification* tempDir,
                 EncoderProgress progress, EncoderInterrupt interrupt, float weight, float gamma, bool dither,
                 float kweight);

    // Whether encode writes NAME.wvw beside the output of a georeferenced
    // image once the output is complete (the default).
    void setWriteWorldFile(bool write) { writeWorldFile_ = write; }

    // Best-quality mode (off by default): instead of a rate per group of
    // blocks, one step per subband and band for the whole image at a single
    // distortion level (equal_distortion_steps), every band's detail coded
    // wherever it has any, quantisation without dither (the file carries
    // IMAGE::NO_DITHER), and the level searched by whole trial encodings
    // until the file comes within a few percent of `rate` bits per sample.
    // The trials report no progress and write temporary files only.
    void setBestQuality(bool best) { best_ = best; }

    // Threads the encoding may use, the calling thread included: 1 (the
    // default) none other, 0 the online cores. The output is the same for
    // every count.
    void setThreads(int threads) { threads_ = threads; }

    // Writes the complete output file or throws; every temporary file made
    // is deleted either way. An unset name writes to standard output.
    void encode(const Lumetra::FileSpecification& output);

    // The upper bound of setThreads.
    static constexpr int kMaxThreads = 256;

    // One analysis pass over the progress interval start .. end: the filled
    // subband map (3 x nlev + 1 entries, files ended and rewound). With
    // `rateEstimate` the estimate over all blocks is stored there.
    SubbandMap analysisPass(float start, float end, float* rateEstimate, bool thumbnailPass);

    int levels() const { return nlev_; }

private:
    void report(float fraction) const {
        if (progress_) progress_(fraction);
    }
    void writeFile(SubbandMap& map, const Lumetra::FileSpecification& output);
    void encodeOnce(const Lumetra::FileSpecification& output);
    float searchDistortionLevel();
    bool dithered() const { return dither_ && !best_; }

    Image& image_;
    int nlev_;
    int blockSize_;
    float rate_;
    Lumetra::FileSpecification tempDir_;  // unset: the default place
    EncoderProgress progress_;
    EncoderInterrupt interrupt_;
    float weight_;
    float gamma_;
    bool dither_;
    float kweight_;
    bool writeWorldFile_ = true;
    bool best_ = false;
    int threads_ = 1;
    Lumetra::WorkerPool* pool_ = nullptr;  // that of the running encode, when it has more than one thread
    float bestScale_ = 0.0f;               // the distortion level of the best-quality mode
};
