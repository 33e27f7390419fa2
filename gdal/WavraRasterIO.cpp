// Reading pixels: a request for a reduced image goes to the scale that
// serves it; a request at a scale's own size is decoded as one window of all
// bands, straight into the caller's buffer when its layout allows; anything
// else goes through blocks, each decoded for all bands at once.

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "WavraDataset.h"

namespace wavragdal {

namespace {

// Windows at least this wide and tall (or as wide and tall as the image) are
// decoded as they are; smaller ones go through the block cache.
constexpr int kDirectEdge = 64;
// A window decoded for reordering into the caller's layout is held whole up
// to this size (for the requests of its other bands), and decoded in strips
// beyond it.
constexpr size_t kWindowBytes = size_t(128) << 20;
// A request for every band needs nothing kept: it is decoded in strips of
// about this size, which stay in memory the caches reach.
constexpr size_t kStripBytes = size_t(16) << 20;

bool isIdentity(const int* bandMap, int bandCount, int samples) {
    if (bandCount != samples) return false;
    for (int b = 0; b < bandCount; ++b)
        if (bandMap[b] != b + 1) return false;
    return true;
}

// Copies the decoded sample `band` (1-based) of `rows` rows of interleaved
// pixels into one band of the caller's buffer.
void scatterBand(const uint8_t* decoded, int samples, int band, int width, int rows, GByte* out,
                 GDALDataType outType, GSpacing pixelSpace, GSpacing lineSpace) {
    for (int r = 0; r < rows; ++r)
        GDALCopyWords64(decoded + size_t(r) * size_t(width) * size_t(samples) + size_t(band - 1), GDT_Byte,
                        samples, out + r * lineSpace, outType, int(pixelSpace), width);
}

}  // namespace

bool WavraDataset::decode(const wavra::Window& window, uint8_t* buffer, size_t rowStride,
                          const wavra::Progress& progress, const bool* cancelled) const {
    CPLDebug("WAVRA", "decoding scale %d: %d x %d at %d, %d", scale_, window.width, window.height, window.x,
             window.y);
    try {
        reader_->read(scale_, window, buffer, rowStride, layout_, progress);
        return true;
    } catch (const std::bad_alloc&) {
        CPLError(CE_Failure, CPLE_OutOfMemory, "%s: out of memory decoding a %d x %d window",
                 GetDescription(), window.width, window.height);
    } catch (const std::exception& e) {
        CPLError(CE_Failure, cancelled != nullptr && *cancelled ? CPLE_UserInterrupt : CPLE_AppDefined,
                 "%s: %s", GetDescription(), e.what());
    }
    return false;
}

bool WavraDataset::decodesDirectly(int xSize, int ySize) const {
    return xSize >= std::min(kDirectEdge, nRasterXSize) && ySize >= std::min(kDirectEdge, nRasterYSize);
}

CPLErr WavraDataset::IRasterIO(GDALRWFlag rw, int xOff, int yOff, int xSize, int ySize, void* data,
                               int bufXSize, int bufYSize, GDALDataType bufType, int bandCount, int* bandMap,
                               GSpacing pixelSpace, GSpacing lineSpace, GSpacing bandSpace,
                               GDALRasterIOExtraArg* extra) {
    if (rw == GF_Write) {
        CPLError(CE_Failure, CPLE_NotSupported, "The WAVRA driver cannot write into an open file.");
        return CE_Failure;
    }
    if ((bufXSize < xSize || bufYSize < ySize) && !overviews_.empty()) {
        int tried = FALSE;
        const CPLErr err =
            TryOverviewRasterIO(rw, xOff, yOff, xSize, ySize, data, bufXSize, bufYSize, bufType, bandCount,
                                bandMap, pixelSpace, lineSpace, bandSpace, extra, &tried);
        if (tried) return err;
    }
    if (bufXSize == xSize && bufYSize == ySize && decodesDirectly(xSize, ySize))
        return readWindow(xOff, yOff, xSize, ySize, data, bufType, bandCount, bandMap, pixelSpace, lineSpace,
                          bandSpace, extra);
    return GDALPamDataset::IRasterIO(rw, xOff, yOff, xSize, ySize, data, bufXSize, bufYSize, bufType,
                                     bandCount, bandMap, pixelSpace, lineSpace, bandSpace, extra);
}

CPLErr WavraDataset::readWindow(int xOff, int yOff, int xSize, int ySize, void* data, GDALDataType bufType,
                                int bandCount, const int* bandMap, GSpacing pixelSpace, GSpacing lineSpace,
                                GSpacing bandSpace, GDALRasterIOExtraArg* extra) {
    GDALProgressFunc report = extra != nullptr ? extra->pfnProgress : nullptr;
    void* reportData = extra != nullptr ? extra->pProgressData : nullptr;
    // Progress of the rows [first, first + rows) of the window.
    bool cancelled = false;
    auto progressFor = [&](int first, int rows) -> wavra::Progress {
        if (report == nullptr) return nullptr;
        return [=, &cancelled](double fraction) {
            cancelled = report((first + fraction * rows) / ySize, "", reportData) == FALSE;
            return !cancelled;
        };
    };
    auto* out = static_cast<GByte*>(data);

    // The caller wants exactly what the decoder delivers: no copy.
    if (bufType == GDT_Byte && isIdentity(bandMap, bandCount, samples_) && pixelSpace == samples_ &&
        (bandSpace == 1 || samples_ == 1) && lineSpace >= GSpacing(xSize) * samples_) {
        const wavra::Window window{xOff, yOff, xSize, ySize};
        return decode(window, out, size_t(lineSpace), progressFor(0, ySize), &cancelled) ? CE_None
                                                                                         : CE_Failure;
    }
    if (pixelSpace > INT_MAX || pixelSpace < INT_MIN) {
        CPLError(CE_Failure, CPLE_NotSupported, "%s: pixel spacing " CPL_FRMT_GIB " is not supported",
                 GetDescription(), GIntBig(pixelSpace));
        return CE_Failure;
    }

    // Otherwise decode all bands once and lay the requested ones out. The
    // last such window is kept, for the sibling bands' requests.
    const size_t rowBytes = size_t(xSize) * size_t(samples_);
    DecodedWindow& last = lastWindow_;
    const bool cached = !last.samples.empty() && last.x == xOff && last.y == yOff && last.width == xSize &&
                        last.height == ySize;
    if (!cached) {
        last.samples.clear();
        const bool everyBand = bandCount >= samples_;
        const size_t held = everyBand ? kStripBytes : kWindowBytes;
        const int stripRows = int(std::min<size_t>(size_t(ySize), std::max<size_t>(1, held / rowBytes)));
        if (stripRows < ySize || everyBand) {
            // Nothing to keep: decode and deliver strip by strip, through a
            // buffer that the decoder fills (it is not zeroed first).
            std::unique_ptr<uint8_t[]> strip(new (std::nothrow) uint8_t[rowBytes * size_t(stripRows)]);
            if (!strip) {
                CPLError(CE_Failure, CPLE_OutOfMemory, "%s: out of memory decoding a %d x %d window",
                         GetDescription(), xSize, ySize);
                return CE_Failure;
            }
            for (int first = 0; first < ySize; first += stripRows) {
                const int rows = std::min(stripRows, ySize - first);
                if (!decode({xOff, yOff + first, xSize, rows}, strip.get(), rowBytes, progressFor(first, rows),
                            &cancelled))
                    return CE_Failure;
                for (int b = 0; b < bandCount; ++b)
                    scatterBand(strip.get(), samples_, bandMap[b], xSize, rows,
                                out + b * bandSpace + first * lineSpace, bufType, pixelSpace, lineSpace);
            }
            return CE_None;
        }
        try {
            last.samples.resize(rowBytes * size_t(stripRows));
        } catch (const std::bad_alloc&) {
            CPLError(CE_Failure, CPLE_OutOfMemory, "%s: out of memory decoding a %d x %d window",
                     GetDescription(), xSize, ySize);
            return CE_Failure;
        }
        if (!decode({xOff, yOff, xSize, ySize}, last.samples.data(), rowBytes, progressFor(0, ySize),
                    &cancelled)) {
            last.samples.clear();
            return CE_Failure;
        }
        last.x = xOff;
        last.y = yOff;
        last.width = xSize;
        last.height = ySize;
    } else if (report != nullptr) {
        report(1.0, "", reportData);
    }
    for (int b = 0; b < bandCount; ++b)
        scatterBand(last.samples.data(), samples_, bandMap[b], xSize, ySize, out + b * bandSpace, bufType,
                    pixelSpace, lineSpace);
    return CE_None;
}

CPLErr WavraDataset::readBlock(int blockX, int blockY, int band, void* image) {
    int blockW = 0, blockH = 0;
    GetRasterBand(1)->GetBlockSize(&blockW, &blockH);
    const int x = blockX * blockW, y = blockY * blockH;
    const int w = std::min(blockW, nRasterXSize - x), h = std::min(blockH, nRasterYSize - y);
    if (w <= 0 || h <= 0) {
        CPLError(CE_Failure, CPLE_IllegalArg, "%s: block %d, %d is outside the image", GetDescription(),
                 blockX, blockY);
        return CE_Failure;
    }
    const size_t rowBytes = size_t(w) * size_t(samples_);
    try {
        blockScratch_.resize(rowBytes * size_t(h));
    } catch (const std::bad_alloc&) {
        CPLError(CE_Failure, CPLE_OutOfMemory, "%s: out of memory decoding a block", GetDescription());
        return CE_Failure;
    }
    uint8_t* decoded = blockScratch_.data();
    if (samples_ == 1 && w == blockW) decoded = static_cast<uint8_t*>(image);  // straight into the block
    if (!decode({x, y, w, h}, decoded, rowBytes)) return CE_Failure;

    for (int b = 1; b <= samples_; ++b) {
        GDALRasterBlock* sibling = nullptr;
        GByte* target = nullptr;
        if (b == band) {
            target = static_cast<GByte*>(image);
        } else {
            GDALRasterBand* other = GetRasterBand(b);
            if (GDALRasterBlock* held = other->TryGetLockedBlockRef(blockX, blockY)) {
                held->DropLock();  // already in the cache
                continue;
            }
            sibling = other->GetLockedBlockRef(blockX, blockY, TRUE);
            if (sibling == nullptr) continue;
            target = static_cast<GByte*>(sibling->GetDataRef());
        }
        if (decoded == target) {
            std::memset(target + size_t(h) * size_t(blockW), 0, size_t(blockH - h) * size_t(blockW));
        } else {
            if (w < blockW || h < blockH) std::memset(target, 0, size_t(blockW) * size_t(blockH));
            scatterBand(decoded, samples_, b, w, h, target, GDT_Byte, 1, blockW);
        }
        if (sibling != nullptr) sibling->DropLock();
    }
    return CE_None;
}

// ---------------------------------------------------------------- bands

CPLErr WavraRasterBand::IReadBlock(int blockX, int blockY, void* image) {
    return dataset()->readBlock(blockX, blockY, nBand, image);
}

CPLErr WavraRasterBand::IRasterIO(GDALRWFlag rw, int xOff, int yOff, int xSize, int ySize, void* data,
                                  int bufXSize, int bufYSize, GDALDataType bufType, GSpacing pixelSpace,
                                  GSpacing lineSpace, GDALRasterIOExtraArg* extra) {
    WavraDataset* ds = dataset();
    if (rw == GF_Write) {
        CPLError(CE_Failure, CPLE_NotSupported, "The WAVRA driver cannot write into an open file.");
        return CE_Failure;
    }
    if ((bufXSize < xSize || bufYSize < ySize) && GetOverviewCount() > 0) {
        int tried = FALSE;
        const CPLErr err = TryOverviewRasterIO(rw, xOff, yOff, xSize, ySize, data, bufXSize, bufYSize,
                                               bufType, pixelSpace, lineSpace, extra, &tried);
        if (tried) return err;
    }
    if (bufXSize == xSize && bufYSize == ySize && ds->decodesDirectly(xSize, ySize))
        return ds->readWindow(xOff, yOff, xSize, ySize, data, bufType, 1, &nBand, pixelSpace, lineSpace, 0,
                              extra);
    return GDALPamRasterBand::IRasterIO(rw, xOff, yOff, xSize, ySize, data, bufXSize, bufYSize, bufType,
                                        pixelSpace, lineSpace, extra);
}

}  // namespace wavragdal
