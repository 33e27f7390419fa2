#pragma once
// The WAVRA raster driver: a Wavra file as a GDAL dataset of Byte bands with
// one overview per reduced scale, decoded through the public wavra API.

#include <cstdint>
#include <memory>
#include <vector>

#include "gdal_pam.h"
#include "gdal_priv.h"
#include "ogr_spatialref.h"
#include "wavra/wavra.h"

namespace wavragdal {

class WavraRasterBand;

// One scale of a Wavra file. The full-resolution dataset owns the reader and
// the datasets of the reduced scales, which share the reader.
class WavraDataset final : public GDALPamDataset {
    friend class WavraRasterBand;

public:
    ~WavraDataset() override;

    static int identify(GDALOpenInfo* openInfo);
    static GDALDataset* open(GDALOpenInfo* openInfo);

    CPLErr GetGeoTransform(double* transform) override;
    const OGRSpatialReference* GetSpatialRef() const override;
    char** GetFileList() override;

    CPLErr IRasterIO(GDALRWFlag rw, int xOff, int yOff, int xSize, int ySize, void* data, int bufXSize,
                     int bufYSize, GDALDataType bufType, int bandCount, int* bandMap, GSpacing pixelSpace,
                     GSpacing lineSpace, GSpacing bandSpace, GDALRasterIOExtraArg* extra) override;

private:
    WavraDataset(std::shared_ptr<const wavra::Reader> reader, int scale, wavra::SampleLayout layout);

    void describeFile(GDALOpenInfo* openInfo);
    void addOverviews();

    // Whether a window read at this scale's own size is decoded as it is
    // rather than through blocks: small or thin windows go through the block
    // cache, where neighbouring reads find them again.
    bool decodesDirectly(int xSize, int ySize) const;

    // Decodes the window of all bands and delivers `bandCount` of them into
    // the caller's buffer in its layout and type.
    CPLErr readWindow(int xOff, int yOff, int xSize, int ySize, void* data, GDALDataType bufType,
                      int bandCount, const int* bandMap, GSpacing pixelSpace, GSpacing lineSpace,
                      GSpacing bandSpace, GDALRasterIOExtraArg* extra);
    // Decodes one block of all bands; the block of `band` goes to `image`,
    // the others into GDAL's block cache unless they are there already.
    CPLErr readBlock(int blockX, int blockY, int band, void* image);

    // Decodes `window` into `buffer` (all bands interleaved, rows
    // `rowStride` bytes apart); a library failure becomes a GDAL error, an
    // interruption when `*cancelled` was set by the progress callback.
    bool decode(const wavra::Window& window, uint8_t* buffer, size_t rowStride,
                const wavra::Progress& progress = nullptr, const bool* cancelled = nullptr) const;

    std::shared_ptr<const wavra::Reader> reader_;
    int scale_ = 0;
    wavra::SampleLayout layout_ = wavra::SampleLayout::Native;
    int samples_ = 1;  // decoded samples per pixel
    int blockSize_ = 512;

    bool haveGeoTransform_ = false;
    double geoTransform_[6] = {0, 1, 0, 0, 0, 1};
    OGRSpatialReference prjSpatialRef_;
    std::vector<std::unique_ptr<WavraDataset>> overviews_;

    // The window decoded last for a band-level request, all bands
    // interleaved, so that the sibling bands' requests for the same window
    // do not decode it again.
    struct DecodedWindow {
        int x = 0, y = 0, width = 0, height = 0;
        std::vector<uint8_t> samples;
    };
    DecodedWindow lastWindow_;
    std::vector<uint8_t> blockScratch_;
};

class WavraRasterBand final : public GDALPamRasterBand {
public:
    WavraRasterBand(WavraDataset* dataset, int band);

    CPLErr IReadBlock(int blockX, int blockY, void* image) override;
    CPLErr IRasterIO(GDALRWFlag rw, int xOff, int yOff, int xSize, int ySize, void* data, int bufXSize,
                     int bufYSize, GDALDataType bufType, GSpacing pixelSpace, GSpacing lineSpace,
                     GDALRasterIOExtraArg* extra) override;

    GDALColorInterp GetColorInterpretation() override;
    double GetNoDataValue(int* success = nullptr) override;
    int GetOverviewCount() override;
    GDALRasterBand* GetOverview(int index) override;

private:
    WavraDataset* dataset() const { return static_cast<WavraDataset*>(poDS); }
};

// Writes `source` as a Wavra file (the driver's CreateCopy).
GDALDataset* createCopy(const char* filename, GDALDataset* source, int strict, char** options,
                        GDALProgressFunc progress, void* progressData);

// The driver's option lists.
extern const char* const kOpenOptions;
extern const char* const kCreationOptions;

}  // namespace wavragdal
