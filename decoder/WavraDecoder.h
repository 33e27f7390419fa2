#pragma once
// Decodes a support rectangle at a scale into an image buffer strip by
// strip, carrying coefficients and code-block positions from one strip to
// the next so that every coefficient is decoded once.

#include <memory>
#include <vector>

#include "core/Geometry.h"
#include "core/WorkerPool.h"
#include "decoder/ImageDecoder.h"
#include "decoder/LeafLoader.h"
#include "decoder/PlaneCache.h"
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
    std::size_t pendingCursors() const;

private:
    // A band of columns of the support, decoded strip after strip on its
    // own: its trees, code-block positions, working lines and planes.
    struct Slice {
        // One of `slices`, which share one cache's idle allowance.
        explicit Slice(std::size_t slices) : planes(PlaneCache::Detached{}, slices) {}

        int x0 = 0, x1 = -1;  // columns at the scale
        DBInfo* database = nullptr;  // the file's for the first slice, else set by its first strip
        CodeBlockCursorCache cache;
        std::unique_ptr<Subband> current, next, overlap;
        Subband::SynthesisScratch scratch;
        PlaneCache planes;
        ImageBufferInfo output;
    };

    // Where a slice's planes go in the buffer: at (x, y) of the current strip
    // with `pool` inside the write, or of strip `index` (its rectangle
    // `strip`) ahead of it, through `writer` (-1: the buffer's own).
    struct StripWrite {
        int x = 0, y = 0;
        WorkerPool* pool = nullptr;
        int writer = -1;
        int64_t index = 0;
        const Rectangle* strip = nullptr;
    };

    // Decodes and synthesises the slice's part of `region` (a strip) into
    // its current tree, with `pool` inside the strip or none; only a slice
    // run on the calling thread polls `interrupt` and reports progress.
    void decodeRegion(Slice& slice, const Rectangle& region, const Rectangle& lookahead, WorkerPool* pool,
                      const InterruptHook& interrupt, bool reports);
    // Writes the slice's current tree into the buffer.
    void writeSlice(Slice& slice, ImageBuffer& buffer, const StripWrite& write);
    // Decodes the buffer's strips (all inside the support) with every slice
    // on a thread of its own: a slice goes on to its next strip while the
    // others finish theirs, up to the buffer's stripsAhead(), and the slice
    // that writes a strip's last part hands it on.
    void decodeApart(ImageBuffer& buffer);
    void loadLeaves(Subband& tree, Slice& slice, WorkerPool* pool, const InterruptHook& interrupt);
    // The block database of slice k > 0: one of databases_, opened on first
    // use (on the slice's thread), or the file's where the bytes allow no
    // other.
    DBInfo& sliceDatabase(int k);
    void report(float fraction);
    // How many slices a support `columns` wide is decoded in.
    int sliceCount(int64_t columns) const;

    InterruptHook interrupt_;
    ProgressHook progress_;
    int scale_ = 0;
    Rectangle support_;
    std::vector<std::unique_ptr<Slice>> slices_;
    // Databases of the slices after the first, kept for later decodes.
    std::vector<std::unique_ptr<DBInfo>> databases_;
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
