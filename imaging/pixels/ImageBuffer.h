#pragma once
// Image buffers: the sinks a decoder writes into, strip by strip. Incoming
// samples are converted into the buffer's own format by one transformer per
// run; each finished strip gets the watermark stamped over it.
//
// Protocol: setImageRect, begin(); then while hasStrip(): any number of
// writeData() calls into currentStrip(), then stripDone(); finally end().
// Writers may also fill the strips after the current one with writeAhead(),
// as far as stripsAhead() allows, while other writers finish the current.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/Geometry.h"
#include "imaging/pixels/Clut.h"
#include "imaging/pixels/ImageBufferInfo.h"
#include "imaging/pixels/Pixel.h"
#include "imaging/pixels/Watermark.h"

namespace Lumetra {

class ImageTransformer;
class WorkerPool;

// Translation from one strip to the next.
struct StripStep {
    int dx = 0;
    int dy = 128;  // strip height in rows
    int dz = 0;
};

// Keeps the whole image in memory.
class ImageBuffer {
public:
    // Window value meaning "not set" (the largest float).
    static constexpr float kWindowNotSet = 3.4028235e38f;
    // Largest sample memory a buffer will allocate; larger requests throw.
    static constexpr int64_t kMaxBufferBytes = int64_t(1) << 34;

    ImageBuffer();
    explicit ImageBuffer(const ImageBufferInfo& info);
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;
    virtual ~ImageBuffer();

    // Hands the sample memory (allocated with new unsigned char[]) to the
    // caller when the buffer owns it; null otherwise.
    virtual unsigned char* releaseData();
    // Address of pixel (x, y) of the buffer's memory (z ignored).
    virtual unsigned char* pixelAddress(int x, int y, int z);
    virtual unsigned char* data();
    // Address of pixel (x, y) relative to the current strip (z ignored).
    unsigned char* stripAddress(int x, int y, int z);

    // Format of the buffer's own samples; set before begin().
    ImageBufferInfo& info() { return info_; }
    const ImageBufferInfo& info() const { return info_; }
    // Destination colour table, used only when it has entries.
    Clut& clut() { return clut_; }
    const Clut& clut() const { return clut_; }

    // The whole image (0, 0, 0, width - 1, height - 1, 0); set before begin().
    void setImageRect(const Rectangle& rect) { imageRect_ = rect; }
    const Rectangle& imageRect() const { return imageRect_; }
    // Rows per strip; below 1 means one strip for the whole image.
    void setStripHeight(int rows) { stripStep_.dy = rows; }
    const StripStep& stripStep() const { return stripStep_; }

    // Starts a run: allocates memory, sets the first strip, places the
    // watermark, converts the background, calls onStart, clears the strip.
    // Throws Exception "Image buffer too large: cannot allocate its memory"
    // beyond kMaxBufferBytes or when the memory cannot be had.
    void begin();
    // True while the current strip has pixels.
    bool hasStrip() const;
    const Rectangle& currentStrip() const { return stripRect_; }
    // The rectangle the next strip will have (the buffer does not move).
    Rectangle nextStripRect() const { return stripAfter(stripRect_); }
    // The rectangle of the strip after `strip`.
    Rectangle stripAfter(const Rectangle& strip) const;
    // Converts width x height samples of `sourceInfo` format (rows rowBytes
    // apart) into the current strip at strip-relative (x, y). Writes are
    // clipped to the strip. Throws Exception "No transformer registered",
    // or "Image buffer write outside the current strip" when (x, y) is not
    // in the strip. The transformer made by the first write serves the run.
    // With `pool`, a large write is converted in groups of rows at once
    // (each group by a transformer of its own; the pixels are the same).
    // With `writer` (0 .. writers - 1 of prepareWriters), the write uses
    // that writer's transformer alone: writes of different writers into
    // disjoint parts of the strip may then run at once.
    void writeData(const void* samples, int width, int height, int rowBytes,
                   const ImageBufferInfo& sourceInfo, int x, int y, int z, WorkerPool* pool = nullptr,
                   int writer = -1);
    // How many strips past the current one writeAhead() may fill before the
    // current strip is done (0: none).
    virtual int stripsAhead() const { return 0; }
    // writeData() by `writer` into strip `index` of the run (0 the first),
    // whose rectangle is `strip`, at most stripsAhead() past the current.
    // Nothing clears such a strip: the writers must fill it.
    void writeAhead(int64_t index, const Rectangle& strip, const void* samples, int width, int height,
                    int rowBytes, const ImageBufferInfo& sourceInfo, int x, int y, int writer);
    // Makes the transformers of `writers` writers of `sourceInfo` samples.
    void prepareWriters(int writers, const ImageBufferInfo& sourceInfo);
    // Stamps the watermark, hands the strip on (onStripDone), moves to the
    // next strip and clears it (unless the writer will write all of it).
    void stripDone(bool clearNext = true);
    // Ends the run: onFinish, drops the transformer, counts the run.
    void end();

    // Dynamic range of incoming data and of the destination. A window of 0
    // or below, or kWindowNotSet, is "not set"; a level of 0 is "not set".
    void setSourceWindow(float w) { sourceWindow_ = w; }
    void setSourceLevel(float l) { sourceLevel_ = l; }
    void setDestinationWindow(float w) { destinationWindow_ = w; }
    void setDestinationLevel(float l) { destinationLevel_ = l; }
    float sourceWindow() const { return sourceWindow_; }
    float sourceLevel() const { return sourceLevel_; }
    float destinationWindow() const { return destinationWindow_; }
    float destinationLevel() const { return destinationLevel_; }

    // Shares the watermark's pixels for stamping at one of the nine
    // positions (WatermarkPosition); drops any watermark transformer.
    void attachWatermark(const Watermark& watermark, int position);
    const Watermark& watermark() const { return watermark_; }
    // Where the watermark lies in image coordinates (set by begin()).
    const Rectangle& watermarkRect() const { return watermarkRect_; }
    int watermarkPosition() const { return watermarkPosition_; }

    // The value every strip is cleared to (no values: strips are not cleared).
    const Pixel& background() const { return background_; }
    int64_t rowStride() const { return rowStride_; }
    int64_t size() const { return size_; }
    bool ownsData() const { return ownsData_; }
    int runCount() const { return runCount_; }
    bool isActive() const { return active_; }

protected:
    virtual void onStart() {}
    virtual void onFinish() {}
    virtual void onWrite() {}
    virtual void onStripDone() {}
    // The memory of strip `index` of the run, whose rectangle is `strip`:
    // its place in the whole image here.
    virtual unsigned char* stripMemory(int64_t index, const Rectangle& strip);
    // rowStride = bytes per pixel * image width, rounded up to rowAlignment.
    virtual void computeRowStride();
    // Bytes of sample memory: the whole image here.
    virtual int64_t computeSize();

    // Bytes per pixel of the buffer's format.
    int pixelBytes() const { return info_.bytesPerPixel(); }
    void setBackground(const Pixel& p) { background_ = p; }

    ImageBufferInfo info_;
    Clut clut_;
    Rectangle imageRect_;
    Rectangle stripRect_;
    // Of the current strip in the run; writers ahead read it while stripDone moves it.
    std::atomic<int64_t> stripIndex_{0};
    StripStep stripStep_;
    int64_t rowStride_ = -1;
    int64_t size_ = -1;
    bool ownsData_ = true;
    int runCount_ = 0;
    unsigned char* data_ = nullptr;
    Pixel background_;
    std::unique_ptr<ImageTransformer> transformer_;
    std::vector<std::unique_ptr<ImageTransformer>> groupTransformers_;  // for a shared-out write
    std::unique_ptr<ImageTransformer> watermarkTransformer_;
    Watermark watermark_;
    Rectangle watermarkRect_;
    int watermarkPosition_ = WatermarkBottomRight;
    float sourceWindow_ = kWindowNotSet;
    float destinationWindow_ = kWindowNotSet;
    float sourceLevel_ = 0;
    float destinationLevel_ = 0;
    bool active_ = false;

private:
    int64_t capacity_ = 0;  // bytes at data_ when owned

    void allocateData();
    ImageTransformer& writerTransformer(int writer);
    void convert(ImageTransformer& t, const void* samples, int width, int height, int rowBytes,
                 const ImageBufferInfo& sourceInfo, unsigned char* destination, int columns, int rows);
    Rectangle clipToImage(const Rectangle& strip) const;
    void clearStrip();
    void placeWatermark();
    void stampWatermark();
    void freeData();
};

}  // namespace Lumetra
