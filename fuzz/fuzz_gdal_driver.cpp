// The GDAL driver's open and read path on arbitrary bytes: the input is put
// in /vsimem/, opened with the WAVRA driver only, its facts and metadata
// read, then a window of every scale decoded directly, one pixel through the
// block cache and a reduced read through the overviews.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cpl_conv.h"
#include "cpl_error.h"
#include "cpl_string.h"
#include "cpl_vsi.h"
#include "gdal.h"

extern "C" void GDALRegister_WAVRA();

namespace {

// Windows larger than this are not decoded, so that an absurd size in a
// header cannot make one input take minutes.
constexpr int kMaxEdge = 256;

volatile double sink;

void readFacts(GDALDatasetH ds) {
    double gt[6];
    if (GDALGetGeoTransform(ds, gt) == CE_None) sink = gt[0] + gt[3];
    char** md = GDALGetMetadata(ds, "WAVRA");
    sink = CSLCount(md);
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    int hasNoData = 0;
    sink = GDALGetRasterNoDataValue(band, &hasNoData) + GDALGetRasterColorInterpretation(band);
}

void readLevel(GDALDatasetH owner, int bands) {
    const int w = std::min(GDALGetRasterXSize(owner), kMaxEdge),
              h = std::min(GDALGetRasterYSize(owner), kMaxEdge);
    std::vector<GByte> pixels(size_t(w) * size_t(h) * size_t(bands));
    if (GDALDatasetRasterIO(owner, GF_Read, 0, 0, w, h, pixels.data(), w, h, GDT_Byte, bands, nullptr, bands,
                            GSpacing(w) * bands, 1) == CE_None)
        sink = pixels[pixels.size() / 2];
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
    CPLSetConfigOption("GDAL_CACHEMAX", "64");
    CPLPushErrorHandler(CPLQuietErrorHandler);
    GDALRegister_WAVRA();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = "/vsimem/fuzz.wvr";
    VSIFCloseL(VSIFileFromMemBuffer(path, const_cast<GByte*>(data), vsi_l_offset(size), FALSE));
    const char* const drivers[] = {"WAVRA", nullptr};
    if (GDALDatasetH ds = GDALOpenEx(path, GDAL_OF_RASTER, drivers, nullptr, nullptr)) {
        readFacts(ds);
        const int bands = GDALGetRasterCount(ds);
        GDALRasterBandH first = GDALGetRasterBand(ds, 1);
        readLevel(ds, bands);
        for (int i = 0; i < GDALGetOverviewCount(first); ++i)
            readLevel(GDALGetBandDataset(GDALGetOverview(first, i)), bands);
        GByte pixel[4] = {};
        const int x = GDALGetRasterXSize(ds) - 1, y = GDALGetRasterYSize(ds) - 1;
        if (GDALRasterIO(first, GF_Read, x, y, 1, 1, pixel, 1, 1, GDT_Byte, 0, 0) == CE_None) sink = pixel[0];
        // The whole image into a small buffer: served by a reduced scale.
        if (GDALDatasetRasterIO(ds, GF_Read, 0, 0, x + 1, y + 1, pixel, 1, 1, GDT_Byte, 1, nullptr, 0, 0,
                                0) == CE_None)
            sink = pixel[0];
        GDALClose(ds);
    }
    VSIUnlink(path);
    return 0;
}
