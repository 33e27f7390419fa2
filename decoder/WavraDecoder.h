#pragma once
// Decodes a support rectangle at a scale into an image buffer strip by
// strip, carrying coefficients and code-block positions from one strip to
// the next so that every coefficient is decoded once.

#include <memory>

#include "core/Geometry.h"
#include "core/WorkerPool.h"
#include "decoder/ImageDecoder.h"
#include "decoder/LeafLoader.h"
#include "decoder/Subband.h"
#include "format/WavraFile.h"
#include "imaging/pixels/ImageBufferInfo.h"

namespace Lumetra {

class WavraDecoder : public ImageDecoder {
public:
    // Output planes are float, band-sequential, in the colour space the file
    // stores (RGB files as YIQ, CMYK files as YIQK).
    explicit WavraDecoder(const WavraFile& file);
    ~WavraDecoder() override;

    void initialise() override {}
    // Clips the support to the image at the scale and delivers, for every
    // buffer strip that meets it, the synthesised planes of that part.
    void decode(ImageBuffer& buffer) override;
    // Drops the trees and the cursor cache; reports progress 1.0.
    void finish() override;

    void setScale(int scale) { scale_ = scale; }
    int scale() const { return scale_; }
    void setSupport(const Rectangle& support) { support_ = support; }
    const Rectangle& support() const { return support_; }
    void setInterruptHook(InterruptHook hook) { interrupt_ = std::move(hook); }
    void setProgressHook(ProgressHook hook) { progress_ = std::move(hook); }
    // Threads for the synthesis (1: the calling thread only); the output is
    // the same for every count.
    void setThreads(int threads);

    // The description of the planes handed to the buffer.
    const ImageBufferInfo& outputInfo() const { return output_; }
    // The support clipped to the image at the scale (after a decode began).
    // Code-blocks whose decoding is waiting to be resumed.
    std::size_t pendingCursors() const { return cache_.size(); }

private:
    void decodeRegion(const Rectangle& region, const Rectangle& lookahead, int outX, int outY,
                      ImageBuffer& buffer);
    void loadLeaves(Subband& tree);
    void report(float fraction);

    InterruptHook interrupt_;
    ProgressHook progress_;
    int scale_ = 0;
    Rectangle support_;
    CodeBlockCursorCache cache_;
    std::unique_ptr<Subband> current_, next_, overlap_;
    Subband::SynthesisScratch scratch_;
    WavraFile file_;
    ImageBufferInfo output_;
    Rectangle clipped_;
    float position_ = 0.0f;
    float step_ = 0.0f;
    std::unique_ptr<WorkerPool> pool_;
};

// The image size at `scale`: halved with rounding up per level, doubled per
// level below 0. Throws GeometryException when it does not fit 32 bits.
void imageSizeAtScale(int64_t width, int64_t height, int scale, int32_t& outWidth, int32_t& outHeight);

}  // namespace Lumetra
