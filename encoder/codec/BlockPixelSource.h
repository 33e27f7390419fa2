#pragma once
// Where the wavelet analysis reads the pixels of one block. The encoder
// plugs the raw image in through ImagePixelSource; tests supply planes from
// memory.

#include <memory>

class BlockPixelSource {
public:
    // What fetchBlock read and convertBlock has yet to turn into planes.
    class Fetched {
    public:
        virtual ~Fetched() = default;
    };

    virtual ~BlockPixelSource() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;
    // The coded band count: the number of planes readBlock fills.
    virtual int bands() const = 0;
    // When true the blocks are made as wide as the image.
    virtual bool fullWidth() const { return false; }

    // Fills `planes` with the samples of the inclusive rectangle, already in
    // the colour space that is coded: bands() planes of (x1 - x0 + 1) x
    // (y1 - y0 + 1) floats, row-major, plane after plane. Returns 0, or
    // non-zero when the encoding is to stop (interrupt). Read failures throw.
    virtual int readBlock(int x0, int x1, int y0, int y1, float* planes) = 0;

    // readBlock in two steps, so that the second can run on a worker thread:
    // fetchBlock reads on the encoding thread, in block order, and may leave
    // in `fetched` what convertBlock (any thread, concurrently for distinct
    // blocks) is to finish into the same planes. By default the fetch does
    // all the work.
    virtual int fetchBlock(int x0, int x1, int y0, int y1, float* planes, std::unique_ptr<Fetched>& fetched) {
        fetched.reset();
        return readBlock(x0, x1, y0, y1, planes);
    }
    virtual void convertBlock(std::unique_ptr<Fetched>& /*fetched*/, float* /*planes*/) {}
    // Whether convertRows can finish `fetched` a few rows of a plane at a
    // time (then convertBlock is not called for it, and `fetched` is
    // dropped after).
    virtual bool convertsBands(const Fetched& /*fetched*/) const { return false; }
    // Rows first .. first + rows - 1 of plane `band` of those convertBlock
    // would write, alone, in `out` (row-major, the block's width).
    virtual void convertRows(const Fetched& /*fetched*/, int /*band*/, int /*first*/, int /*rows*/,
                             float* /*out*/) {}
    // When true, fetchBlock is readFetched then pollFetched, and readFetched
    // may run on worker threads, at once for distinct blocks (only for a
    // source that does not fetch planes): the analysis then reads on the
    // workers and polls on the encoding thread, once per block in order.
    virtual bool fetchesConcurrently() const { return false; }
    virtual void readFetched(int /*x0*/, int /*x1*/, int /*y0*/, int /*y1*/,
                             std::unique_ptr<Fetched>& fetched) {
        fetched.reset();
    }
    // Non-zero when the encoding is to stop.
    virtual int pollFetched() { return 0; }
    // Whether fetchBlock writes the planes (else `planes` may be null there,
    // and only convertBlock writes them).
    virtual bool fetchesPlanes() const { return true; }
};
