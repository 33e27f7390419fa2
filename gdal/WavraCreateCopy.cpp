// Writing a Wavra file from any GDAL source of 1, 3 or 4 Byte bands: the
// encoder pulls the source's rows in strips, GDAL's progress follows the
// encoder's, and a cancelled or failed copy leaves nothing behind.

#include <cstdlib>
#include <string>
#include <vector>

#include "ThreadCount.h"
#include "WavraDataset.h"
#include "cpl_string.h"
#include "cpl_vsi.h"

namespace wavragdal {

const char* const kCreationOptions =
    "<CreationOptionList>"
    "  <Option name='NLEV' type='int' min='1' max='9' default='4' description='Wavelet levels (reduced "
    "scales)'/>"
    "  <Option name='RATE' type='float' default='0.6' description='Bits per sample to aim for'/>"
    "  <Option name='BLOCKSIZE' type='int' default='512' description='Size of the coded blocks'/>"
    "  <Option name='DITHER' type='boolean' default='YES' description='Dither the quantisation'/>"
    "  <Option name='BEST_QUALITY' type='boolean' default='NO' "
    "description='Best quality for the file size: one distortion level over the whole image, no dither, "
    "the size searched by trial encodings (slower)'/>"
    "</CreationOptionList>";

namespace {

// The source, read band-interleaved straight into the encoder's buffer.
class GdalPixelSource final : public wavra::PixelSource {
public:
    GdalPixelSource(GDALDataset* source, std::vector<int> bands)
        : source_(source), bands_(std::move(bands)) {}

    int32_t width() const override { return source_->GetRasterXSize(); }
    int32_t height() const override { return source_->GetRasterYSize(); }
    wavra::ColorSpace colorSpace() const override {
        return bands_.size() == 1   ? wavra::ColorSpace::Grey
               : bands_.size() == 3 ? wavra::ColorSpace::RGB
                                    : wavra::ColorSpace::CMYK;
    }
    void readRows(int32_t firstRow, int32_t count, uint8_t* buffer, size_t rowStride) override {
        const int samples = int(bands_.size());
        if (source_->RasterIO(GF_Read, 0, firstRow, width(), count, buffer, width(), count, GDT_Byte, samples,
                              bands_.data(), samples, GSpacing(rowStride), 1, nullptr) != CE_None)
            throw wavra::Error(std::string("could not read the source: ") + CPLGetLastErrorMsg());
    }
    // GDAL reads any window cheaply: the encoder takes its blocks straight
    // from the source, without a temporary copy of the image.
    bool readWindow(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t* buffer, size_t rowStride) override {
        const int samples = int(bands_.size());
        if (source_->RasterIO(GF_Read, x, y, w, h, buffer, w, h, GDT_Byte, samples, bands_.data(), samples,
                              GSpacing(rowStride), 1, nullptr) != CE_None)
            throw wavra::Error(std::string("could not read the source: ") + CPLGetLastErrorMsg());
        return true;
    }

private:
    GDALDataset* source_;
    std::vector<int> bands_;
};

bool isColour(GDALColorInterp c) { return c == GCI_RedBand || c == GCI_GreenBand || c == GCI_BlueBand; }

// The bands to write, or empty after a message when the source cannot be
// written.
std::vector<int> bandsToWrite(GDALDataset* source, bool strict) {
    const int count = source->GetRasterCount();
    if (count != 1 && count != 3 && count != 4) {
        CPLError(CE_Failure, CPLE_NotSupported,
                 "The WAVRA driver writes 1 (grey), 3 (RGB) or 4 (CMYK) bands; this source has %d.", count);
        return {};
    }
    std::vector<int> bands;
    for (int b = 1; b <= count; ++b) bands.push_back(b);
    if (count == 4) {
        // Four bands are CMYK to the format; red, green, blue and alpha are
        // not, and keep their colours only without the alpha band.
        const bool rgba = isColour(source->GetRasterBand(1)->GetColorInterpretation()) ||
                          source->GetRasterBand(4)->GetColorInterpretation() == GCI_AlphaBand;
        if (rgba) {
            if (strict) {
                CPLError(
                    CE_Failure, CPLE_NotSupported,
                    "The WAVRA driver writes 4 bands as CMYK; this source is RGBA (drop the alpha band).");
                return {};
            }
            CPLError(CE_Warning, CPLE_AppDefined,
                     "The WAVRA driver writes the RGB bands of this RGBA source only.");
            bands.pop_back();
        }
    }
    for (int b : bands) {
        const GDALDataType type = source->GetRasterBand(b)->GetRasterDataType();
        if (type == GDT_Byte) continue;
        if (strict) {
            CPLError(CE_Failure, CPLE_NotSupported,
                     "The WAVRA driver writes Byte bands only; band %d of this source is %s.", b,
                     GDALGetDataTypeName(type));
            return {};
        }
        CPLError(
            CE_Warning, CPLE_AppDefined,
            "The WAVRA driver writes Byte bands only: %s samples are converted to Byte (clipped to 0..255).",
            GDALGetDataTypeName(type));
        break;
    }
    return bands;
}

// The source's geotransform as world-file numbers: GDAL's origin is the
// corner of the upper-left pixel, the file's its centre.
wavra::GeoReference geoReferenceOf(GDALDataset* source) {
    wavra::GeoReference geo;
    double gt[6];
    if (source->GetGeoTransform(gt) != CE_None) return geo;
    geo.present = true;
    geo.xPixelSize = gt[1];
    geo.xRotation = gt[2];
    geo.yRotation = gt[4];
    geo.yPixelSize = gt[5];
    geo.upperLeftX = gt[0] + gt[1] / 2 + gt[2] / 2;
    geo.upperLeftY = gt[3] + gt[4] / 2 + gt[5] / 2;
    return geo;
}

bool parseParameters(char** options, wavra::EncodeParameters& p) {
    if (const char* v = CSLFetchNameValue(options, "NLEV")) p.levels = std::atoi(v);
    if (const char* v = CSLFetchNameValue(options, "RATE")) p.rate = float(CPLAtof(v));
    if (const char* v = CSLFetchNameValue(options, "BLOCKSIZE")) p.blockSize = std::atoi(v);
    p.dither = CPLFetchBool(options, "DITHER", true);
    p.bestQuality = CPLFetchBool(options, "BEST_QUALITY", false);
    if (p.levels < 1 || p.levels > 9) {
        CPLError(CE_Failure, CPLE_IllegalArg, "NLEV must lie between 1 and 9.");
        return false;
    }
    if (!(p.rate > 0)) {
        CPLError(CE_Failure, CPLE_IllegalArg, "RATE must be a positive number of bits per sample.");
        return false;
    }
    if (p.blockSize <= 0) {
        CPLError(CE_Failure, CPLE_IllegalArg, "BLOCKSIZE must be a positive number.");
        return false;
    }
    return true;
}

// Folder for the encoder's temporary files: GDAL's CPL_TMPDIR, else TMP,
// else the output's own folder.
std::string temporaryFolder(const std::string& output) {
    if (const char* dir = CPLGetConfigOption("CPL_TMPDIR", nullptr)) return dir;
    if (const char* dir = std::getenv("TMP")) return dir;
    const std::string folder = CPLGetPath(output.c_str());
    return folder.empty() ? "." : folder;
}

}  // namespace

GDALDataset* createCopy(const char* filename, GDALDataset* source, int strict, char** options,
                        GDALProgressFunc progress, void* progressData) {
    if (progress == nullptr) progress = GDALDummyProgress;
    const std::vector<int> bands = bandsToWrite(source, strict != FALSE);
    if (bands.empty()) return nullptr;
    wavra::EncodeParameters parameters;
    if (!parseParameters(options, parameters)) return nullptr;
    // The georeferencing, rotation included, goes into the file's metadata.
    const wavra::GeoReference geo = geoReferenceOf(source);
    parameters.writeWorldFile = false;
    parameters.threads = threadsFromConfig();

    // The encoder writes real files: a virtual output is encoded into a
    // temporary file and copied.
    const std::string output = filename;
    const bool virtualOutput = STARTS_WITH(filename, "/vsi");
    parameters.temporaryFolder = temporaryFolder(virtualOutput ? std::string() : output);
    const std::string encoded =
        virtualOutput ? std::string(CPLFormFilename(parameters.temporaryFolder.c_str(),
                                                    CPLGetFilename(CPLGenerateTempFilename("wavra")), "wvr"))
                      : output;

    GdalPixelSource pixels(source, bands);
    bool cancelled = false;
    try {
        wavra::encode(pixels, parameters, geo, {}, encoded, [&](double fraction) {
            cancelled = progress(fraction, nullptr, progressData) == FALSE;
            return !cancelled;
        });
    } catch (const std::exception& e) {
        VSIUnlink(encoded.c_str());
        if (cancelled)
            CPLError(CE_Failure, CPLE_UserInterrupt, "User terminated CreateCopy()");
        else
            CPLError(CE_Failure, CPLE_AppDefined, "%s: %s", filename, e.what());
        return nullptr;
    }
    if (virtualOutput) {
        const bool copied = CPLCopyFile(filename, encoded.c_str()) == 0;
        VSIUnlink(encoded.c_str());
        if (!copied) {
            VSIUnlink(filename);
            CPLError(CE_Failure, CPLE_FileIO, "%s: could not be written", filename);
            return nullptr;
        }
    }
    progress(1.0, nullptr, progressData);

    GDALOpenInfo openInfo(filename, GA_ReadOnly);
    auto* dataset = static_cast<GDALPamDataset*>(WavraDataset::open(&openInfo));
    if (dataset != nullptr) dataset->CloneInfo(source, GCIF_PAM_DEFAULT & ~GCIF_METADATA);
    return dataset;
}

}  // namespace wavragdal
