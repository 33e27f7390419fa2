#include "encoder/rawimage/BandOrderExtraction.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/Error.h"

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

enum Interleave { kByPixel, kByLine, kBySequence };

// How one band order is stored and which stored band feeds each plane.
struct Order {
    Interleave interleave;
    int readBands;   // stored bands read per pixel (by line and sequence)
    int planes;      // planes written
    int planeOf[4];  // stored band (or sample of the pixel) for each plane
};

Order orderFor(const char* name, int n) {
    const auto is = [name](const char* s) { return std::strcmp(name, s) == 0; };
    const char* const incompatible = "Incompatible band structure encountered in ImageFile::extract_raw().";
    if (is("GRAYSCALE") || is("RGB") || is("BGR") || is("XRGB") || is("XBGR")) {
        if (is("GRAYSCALE")) return {kByPixel, n, 1, {0, 0, 0, 0}};
        if (is("XRGB") || is("XBGR")) {
            if (n != 4)
                throw Error("Unexpected band structure encountered in subroutine ImageFile::uninterleave32.");
            return is("XRGB") ? Order{kByPixel, n, 3, {1, 2, 3, 0}} : Order{kByPixel, n, 3, {3, 2, 1, 0}};
        }
        if (n < 3) throw Error(incompatible);
        return is("RGB") ? Order{kByPixel, n, 3, {0, 1, 2, 0}} : Order{kByPixel, n, 3, {2, 1, 0, 0}};
    }
    if (is("RGB_BIL")) {
        if (n < 3) throw Error(incompatible);
        return {kByLine, 3, 3, {0, 1, 2, 0}};
    }
    if (is("BGRX_BIL")) {
        if (n != 4) throw Error(incompatible);
        return {kByLine, 3, 3, {2, 1, 0, 0}};
    }
    if (is("RGB_BSQ")) {
        if (n < 3) throw Error(incompatible);
        return {kBySequence, 3, 3, {0, 1, 2, 0}};
    }
    if (is("CMYK_BSQ")) {
        if (n < 4) throw Error(incompatible);
        return {kBySequence, 4, 4, {0, 1, 2, 3}};
    }
    throw Error("Error: unknown band order encountered in subroutine extract_rgb.");
}

// Reads byte ranges of one open file: one pread each, exactly the bytes
// asked for; a file that cannot be read at an offset (a pipe) is read
// through the stream, seeking only when the next range does not follow the
// last.
class SpanReader {
public:
    explicit SpanReader(const Lumetra::FileSpecification& name) : name_(name), file_(name.open("rb")) {
        if (!file_) throw OpenError(name_, "read");
    }

    void read(int64_t offset, void* dest, size_t bytes) {
        if (positional_ && readAt(offset, static_cast<char*>(dest), bytes)) return;
        if (offset != position_) {
            if (fseeko(file_.get(), off_t(offset), SEEK_SET) != 0) throw ReadError(name_);
            position_ = offset;
        }
        if (std::fread(dest, 1, bytes, file_.get()) != bytes) throw ReadError(name_);
        position_ += int64_t(bytes);
    }

private:
    // False, with positional_ cleared, when the file takes no offsets.
    bool readAt(int64_t offset, char* dest, size_t bytes) {
        const int fd = fileno(file_.get());
        size_t done = 0;
        while (done < bytes) {
            const ssize_t n = ::pread(fd, dest + done, bytes - done, off_t(offset + int64_t(done)));
            if (n > 0) {
                done += size_t(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == ESPIPE && done == 0) {
                positional_ = false;
                return false;
            } else {
                throw ReadError(name_);
            }
        }
        return true;
    }

    const Lumetra::FileSpecification& name_;
    std::unique_ptr<FILE, FileCloser> file_;
    int64_t position_ = 0;
    bool positional_ = true;
};

template <typename T>
void extractRows(const RawSource& s, const int r[2][2], T* out, const char* bandOrder) {
    const int n = s.bands;
    const Order order = orderFor(bandOrder, n);

    const int64_t sx0 = s.support[0][0], sx1 = s.support[0][1], sy0 = s.support[1][0], sy1 = s.support[1][1];
    const int64_t rx0 = r[0][0], rx1 = r[0][1], ry0 = r[1][0], ry1 = r[1][1];
    if (rx1 < rx0 || ry1 < ry0) throw Error("Error: invalid rectangle in ImageFile::extract_raw().");
    if (sx1 < rx0 || sy1 < ry0 || rx1 < sx0 || ry1 < sy0) return;
    const int64_t cx0 = std::max(sx0, rx0), cx1 = std::min(sx1, rx1);
    const int64_t cy0 = std::max(sy0, ry0), cy1 = std::min(sy1, ry1);
    const size_t span = size_t(cx1 - cx0 + 1);
    const size_t outWidth = size_t(rx1 - rx0 + 1);
    const size_t plane = outWidth * size_t(ry1 - ry0 + 1);
    const int64_t W = s.width, H = s.height, ss = int64_t(sizeof(T));

    // One row of the intersection: all samples of a pixel-interleaved span,
    // or `readBands` consecutive spans of one band each.
    const bool byPixel = order.interleave == kByPixel;
    const size_t rowSamples = byPixel ? span * size_t(n) : span * size_t(order.readBands);
    const size_t step = byPixel ? size_t(n) : 1;

    // Pixel-interleaved rows whose gaps are no longer than the rows are read
    // several at once, up to about a megabyte: a region's whole-width rows
    // took one read each.
    const int64_t stride = s.rowStride > 0 ? s.rowStride : W * n * ss;
    const int64_t rowBytes = int64_t(rowSamples) * ss;
    int64_t group = 1;
    if (byPixel && stride % ss == 0 && stride >= rowBytes && stride - rowBytes <= rowBytes)
        group = std::max<int64_t>(1, std::min<int64_t>(cy1 - cy0 + 1, (int64_t(1) << 20) / stride));
    // Every sample used is read first: the buffer is left unwritten.
    const std::unique_ptr<T[]> rows(new T[group > 1 ? size_t((group - 1) * stride / ss) + rowSamples : rowSamples]);
    int64_t groupStart = -1;  // first row held in `rows` (relative to the support)

    // Only the first three stored samples of a pixel are compared; a
    // single-band file compares its one sample.
    const int compared = s.transparent ? std::min(n, 3) : 0;
    T key[3] = {};
    for (int k = 0; k < compared; ++k) key[k] = T(s.transparent[k]);

    SpanReader file(s.file);
    for (int64_t y = cy0; y <= cy1; ++y) {
        const int64_t ry = y - sy0, cx = cx0 - sx0;
        const T* row = rows.get();
        if (byPixel) {
            if (groupStart < 0 || ry >= groupStart + group) {
                const int64_t count = std::min(group, cy1 - y + 1);
                file.read(s.skip + ry * stride + cx * n * ss, rows.get(),
                          size_t((count - 1) * stride + rowBytes));
                groupStart = ry;
            }
            row += size_t((ry - groupStart) * stride / ss);
        } else {
            for (int b = 0; b < order.readBands; ++b) {
                const int64_t at =
                    order.interleave == kByLine ? ry * W * n + b * W + cx : b * W * H + ry * W + cx;
                file.read(s.skip + at * ss, rows.get() + size_t(b) * span, span * sizeof(T));
            }
        }
        const T* source[4] = {nullptr, nullptr, nullptr, nullptr};
        for (int k = 0; k < std::min(4, byPixel ? n : order.readBands); ++k)
            source[k] = row + (byPixel ? size_t(k) : size_t(k) * span);

        T* dest = out + size_t(y - ry0) * outWidth + size_t(cx0 - rx0);
        if (compared == 0 && step == 1) {
            for (int p = 0; p < order.planes; ++p)
                std::memcpy(dest + size_t(p) * plane, source[order.planeOf[p]], span * sizeof(T));
            continue;
        }
        if (compared == 0) {
            // No key to compare: each plane gathers its sample of every pixel.
            for (int p = 0; p < order.planes; ++p) {
                const T* from = source[order.planeOf[p]];
                T* to = dest + size_t(p) * plane;
                for (size_t i = 0; i < span; ++i) to[i] = from[i * step];
            }
            continue;
        }
        for (size_t i = 0; i < span; ++i) {
            const size_t at = i * step;
            bool skip = compared > 0;
            for (int k = 0; k < compared && skip; ++k) skip = source[k][at] == key[k];
            if (skip) continue;
            for (int p = 0; p < order.planes; ++p) dest[size_t(p) * plane + i] = source[order.planeOf[p]][at];
        }
    }
}

}  // namespace

void extract_raw(const RawSource& source, const int rect[2][2], unsigned char* out, const char* bandOrder) {
    extractRows(source, rect, out, bandOrder);
}

void extract_raw(const RawSource& source, const int rect[2][2], unsigned short* out, const char* bandOrder) {
    extractRows(source, rect, out, bandOrder);
}

void extract_raw(const RawSource& source, const int rect[2][2], float* out, const char* bandOrder) {
    extractRows(source, rect, out, bandOrder);
}
