#pragma once
// What a client wants decoded from an open file: a scale and a support
// rectangle at that scale; decodes it into an image buffer and answers the
// georeferencing questions of a raw-file buffer.

#include <memory>

#include "core/Geometry.h"
#include "decoder/ImageDecoder.h"
#include "decoder/Subband.h"
#include "format/WavraFile.h"
#include "imaging/pixels/GeoReference.h"

namespace Lumetra {

class WavraDecoder;

class WavraNavigator {
public:
    // The whole image at the coarsest scale (scale = levels).
    explicit WavraNavigator(const WavraFile& file);
    // Stores scale and support unchanged; a negative support area throws
    // Exception "Error. Bogus support supplied to WavraNavigator constructor.".
    WavraNavigator(const WavraFile& file, int scale, const Rectangle& support);
    // Copies file handle, scale, support and hooks; never the decoder.
    WavraNavigator(const WavraNavigator& other);
    WavraNavigator& operator=(const WavraNavigator& other);
    virtual ~WavraNavigator();

    // The tool's region: the icon (whole image, coarsest scale) or the
    // width x height rectangle centred on (x, y) at `scale`. Negative sizes
    // and rectangles outside 32-bit coordinates throw GeometryException.
    static WavraNavigator forRegion(const WavraFile& file, bool icon, int scale, int x, int y, int width,
                                    int height);

    void setProgressHook(ProgressHook hook) { progress_ = std::move(hook); }
    void setInterruptHook(InterruptHook hook) { interrupt_ = std::move(hook); }
    // Threads the decoder may use (1, the default: the calling thread only).
    void setThreads(int threads) { threads_ = threads; }

    // Sizes the buffer to the support and decodes into it (begin, decode,
    // finish, end). The decoder is created on first use and kept.
    void decode(ImageBuffer& buffer);

    // Georeferencing of the region; each returns the file's georeferenced flag.
    bool xPixelSize(double& value) const;
    bool yPixelSize(double& value) const;
    bool upperLeftX(double& value) const;
    bool upperLeftY(double& value) const;
    bool xRotation(double& value) const;
    bool yRotation(double& value) const;
    // All six values at once, for a raw-file buffer.
    GeoReference geoReference() const;

    const WavraFile& file() const { return file_; }
    int scale() const { return scale_; }
    const Rectangle& support() const { return support_; }
    // The decoder of the last decode, or null before the first.
    const WavraDecoder* decoder() const { return decoder_.get(); }

private:
    WavraFile file_;
    int scale_ = 0;
    Rectangle support_;
    std::unique_ptr<WavraDecoder> decoder_;
    InterruptHook interrupt_;
    ProgressHook progress_;
    int threads_ = 1;
};

}  // namespace Lumetra
