// Opening a Wavra file through GDAL's virtual file layer: its facts,
// georeferencing, metadata and overviews.

#include "WavraDataset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ThreadCount.h"
#include "cpl_string.h"
#include "cpl_vsi.h"

namespace wavragdal {

namespace {

constexpr int kMaxScales = 32;

// The bytes of the file through an open VSI handle, which it owns. Every
// read seeks first, so the readers of several scales may share it.
class VsiByteSource final : public wavra::ByteSource {
public:
    explicit VsiByteSource(VSILFILE* file) : file_(file) {
        if (VSIFSeekL(file_, 0, SEEK_END) == 0) size_ = VSIFTellL(file_);
    }
    ~VsiByteSource() override { VSIFCloseL(file_); }
    VsiByteSource(const VsiByteSource&) = delete;
    VsiByteSource& operator=(const VsiByteSource&) = delete;

    uint64_t size() override { return size_; }
    size_t readAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset >= size_ || count == 0) return 0;
        count = size_t(std::min<uint64_t>(count, size_ - offset));
        if (VSIFSeekL(file_, offset, SEEK_SET) != 0) return 0;
        return VSIFReadL(buffer, 1, count, file_);
    }

private:
    VSILFILE* file_;
    uint64_t size_ = 0;
};

// A tag's name in the metadata domain: "IMAGE::CREATION_DATE" becomes
// "CREATION_DATE"; other names keep their words with "::" as "_", since
// GDAL reads a ':' in a metadata key as the end of the key.
std::string metadataKey(const std::string& tag) {
    std::string key = tag.compare(0, 7, "IMAGE::") == 0 ? tag.substr(7) : tag;
    std::string out;
    for (size_t i = 0; i < key.size(); ++i) {
        if (key[i] == ':') {
            if (i + 1 < key.size() && key[i + 1] == ':') ++i;
            out += '_';
        } else if (key[i] != '=' && key[i] != '\n') {
            out += key[i];
        }
    }
    return out;
}

std::string trimmed(const std::string& value) {
    const size_t end = value.find_last_not_of(" \r\n");
    return end == std::string::npos ? std::string() : value.substr(0, end + 1);
}

}  // namespace

const char* const kOpenOptions =
    "<OpenOptionList>"
    "  <Option name='CMYK_AS_RGB' type='boolean' default='NO' "
    "description='Deliver a CMYK file as three RGB bands, converted as the command-line programs do'/>"
    "</OpenOptionList>";

WavraDataset::WavraDataset(std::shared_ptr<const wavra::Reader> reader, int scale, wavra::SampleLayout layout)
    : reader_(std::move(reader)), scale_(scale), layout_(layout) {
    const wavra::ImageInfo& info = reader_->info();
    const auto size = wavra::sizeAtScale(info.width, info.height, scale);
    nRasterXSize = size.first;
    nRasterYSize = size.second;
    samples_ = reader_->bandsFor(layout_);
    for (int b = 1; b <= samples_; ++b) SetBand(b, new WavraRasterBand(this, b));
    if (scale_ > 0) nPamFlags |= GPF_DISABLED;
}

WavraDataset::~WavraDataset() {
    if (scale_ == 0) FlushCache(true);
    // The reduced scales go before the reader they share.
    overviews_.clear();
}

int WavraDataset::identify(GDALOpenInfo* openInfo) {
    return openInfo->nHeaderBytes >= 4 && std::memcmp(openInfo->pabyHeader, "wvra", 4) == 0;
}

GDALDataset* WavraDataset::open(GDALOpenInfo* openInfo) {
    if (!identify(openInfo) || openInfo->fpL == nullptr) return nullptr;
    if (openInfo->eAccess == GA_Update) {
        CPLError(CE_Failure, CPLE_NotSupported,
                 "The WAVRA driver does not support update access to existing files.");
        return nullptr;
    }
    auto source = std::make_shared<VsiByteSource>(openInfo->fpL);
    openInfo->fpL = nullptr;

    std::shared_ptr<const wavra::Reader> reader;
    try {
        wavra::Reader opened = wavra::Reader::open(source, openInfo->pszFilename);
        opened.setThreads(threadsFromConfig());
        reader = std::make_shared<const wavra::Reader>(std::move(opened));
    } catch (const std::exception& e) {
        CPLError(CE_Failure, CPLE_OpenFailed, "%s: %s", openInfo->pszFilename, e.what());
        return nullptr;
    }
    const wavra::ImageInfo& info = reader->info();
    if (!GDALCheckDatasetDimensions(info.width, info.height) ||
        (info.bands != 1 && info.bands != 3 && info.bands != 4) || info.levels < 0 ||
        info.levels > kMaxScales) {
        CPLError(CE_Failure, CPLE_OpenFailed, "%s: not a usable Wavra file (%d x %d, %d bands, %d levels)",
                 openInfo->pszFilename, info.width, info.height, info.bands, info.levels);
        return nullptr;
    }

    const bool cmykAsRgb = info.colorSpace == wavra::ColorSpace::CMYK &&
                           CPLFetchBool(openInfo->papszOpenOptions, "CMYK_AS_RGB", false);
    std::unique_ptr<WavraDataset> dataset(new WavraDataset(
        reader, 0, cmykAsRgb ? wavra::SampleLayout::GreyOrRGB : wavra::SampleLayout::Native));
    dataset->describeFile(openInfo);
    dataset->addOverviews();
    return dataset.release();
}

void WavraDataset::describeFile(GDALOpenInfo* openInfo) {
    const wavra::ImageInfo& info = reader_->info();
    char** siblings = openInfo->GetSiblingFiles();

    // The file's georeferencing puts its origin at the centre of the
    // upper-left pixel, GDAL at its corner. A world file beside the image
    // (NAME.wvw) overrides it, as it does for the command-line programs.
    const wavra::GeoReference& geo = info.geo;
    if (geo.present) {
        geoTransform_[1] = geo.xPixelSize;
        geoTransform_[2] = geo.xRotation;
        geoTransform_[4] = geo.yRotation;
        geoTransform_[5] = geo.yPixelSize;
        geoTransform_[0] = geo.upperLeftX - geo.xPixelSize / 2 - geo.xRotation / 2;
        geoTransform_[3] = geo.upperLeftY - geo.yRotation / 2 - geo.yPixelSize / 2;
        haveGeoTransform_ = true;
    }
    if (GDALReadWorldFile2(openInfo->pszFilename, "wvw", geoTransform_, siblings, nullptr))
        haveGeoTransform_ = true;

    // A projection in NAME.prj, as for world-file formats; one stored by
    // PAM in NAME.aux.xml takes precedence (GetSpatialRef).
    const std::string prj = CPLResetExtension(openInfo->pszFilename, "prj");
    const bool prjListed = siblings == nullptr || CSLFindString(siblings, CPLGetFilename(prj.c_str())) >= 0;
    VSIStatBufL stat;
    if (prjListed && VSIStatL(prj.c_str(), &stat) == 0) {
        char** lines = CSLLoad(prj.c_str());
        if (lines != nullptr && prjSpatialRef_.importFromESRI(lines) == OGRERR_NONE)
            prjSpatialRef_.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        else
            prjSpatialRef_.Clear();
        CSLDestroy(lines);
    }

    // Set on the dataset itself: the PAM versions would mark it for saving.
    GDALDataset::SetMetadataItem("COMPRESSION", "WAVRA", "IMAGE_STRUCTURE");
    GDALDataset::SetMetadataItem("COMPRESSION_REVERSIBILITY", "LOSSY", "IMAGE_STRUCTURE");
    if (samples_ > 1) GDALDataset::SetMetadataItem("INTERLEAVE", "PIXEL", "IMAGE_STRUCTURE");
    if (layout_ == wavra::SampleLayout::GreyOrRGB)
        GDALDataset::SetMetadataItem("SOURCE_COLOR_SPACE", "CMYK", "IMAGE_STRUCTURE");
    for (const wavra::Tag& tag : info.tags) {
        const std::string key = metadataKey(tag.name);
        if (!key.empty()) GDALDataset::SetMetadataItem(key.c_str(), trimmed(tag.value).c_str(), "WAVRA");
    }

    SetDescription(openInfo->pszFilename);
    TryLoadXML(siblings);
    oOvManager.Initialize(this, openInfo->pszFilename, siblings);
}

void WavraDataset::addOverviews() {
    const wavra::ImageInfo& info = reader_->info();
    for (int scale = 1; scale <= info.levels; ++scale) {
        std::unique_ptr<WavraDataset> overview(new WavraDataset(reader_, scale, layout_));
        overview->eAccess = eAccess;
        overview->SetDescription(GetDescription());  // for messages
        overviews_.push_back(std::move(overview));
    }
}

CPLErr WavraDataset::GetGeoTransform(double* transform) {
    if (haveGeoTransform_) {
        std::memcpy(transform, geoTransform_, sizeof geoTransform_);
        return CE_None;
    }
    return GDALPamDataset::GetGeoTransform(transform);
}

const OGRSpatialReference* WavraDataset::GetSpatialRef() const {
    const OGRSpatialReference* pam = GDALPamDataset::GetSpatialRef();
    if (pam != nullptr) return pam;
    return prjSpatialRef_.IsEmpty() ? nullptr : &prjSpatialRef_;
}

char** WavraDataset::GetFileList() {
    char** files = GDALPamDataset::GetFileList();
    for (const char* extension : {"wvw", "prj"}) {
        const char* path = CPLResetExtension(GetDescription(), extension);
        VSIStatBufL stat;
        if (CSLFindString(files, path) < 0 && VSIStatExL(path, &stat, VSI_STAT_EXISTS_FLAG) == 0)
            files = CSLAddString(files, path);
    }
    return files;
}

// ---------------------------------------------------------------- bands

WavraRasterBand::WavraRasterBand(WavraDataset* dataset, int band) {
    poDS = dataset;
    nBand = band;
    eDataType = GDT_Byte;
    nBlockXSize = std::min(dataset->blockSize_, dataset->GetRasterXSize());
    nBlockYSize = std::min(dataset->blockSize_, dataset->GetRasterYSize());
}

GDALColorInterp WavraRasterBand::GetColorInterpretation() {
    const WavraDataset* ds = dataset();
    if (ds->samples_ == 1) return GCI_GrayIndex;
    if (ds->samples_ == 3) return GDALColorInterp(GCI_RedBand + (nBand - 1));
    return GDALColorInterp(GCI_CyanBand + (nBand - 1));
}

double WavraRasterBand::GetNoDataValue(int* success) {
    // The encoder stores zeros when it was given no value, so zeros alone
    // declare nothing: black stays a colour.
    const WavraDataset* ds = dataset();
    const std::vector<uint8_t>& noData = ds->reader_->info().noData;
    const bool declared = std::any_of(noData.begin(), noData.end(), [](uint8_t v) { return v != 0; });
    if (declared && ds->layout_ == wavra::SampleLayout::Native && size_t(nBand) <= noData.size()) {
        if (success != nullptr) *success = TRUE;
        return noData[size_t(nBand) - 1];
    }
    return GDALPamRasterBand::GetNoDataValue(success);
}

int WavraRasterBand::GetOverviewCount() {
    const WavraDataset* ds = dataset();
    if (ds->scale_ > 0) return 0;
    if (!ds->overviews_.empty()) return int(ds->overviews_.size());
    return GDALPamRasterBand::GetOverviewCount();
}

GDALRasterBand* WavraRasterBand::GetOverview(int index) {
    const WavraDataset* ds = dataset();
    if (ds->scale_ > 0) return nullptr;
    if (ds->overviews_.empty()) return GDALPamRasterBand::GetOverview(index);
    if (index < 0 || size_t(index) >= ds->overviews_.size()) return nullptr;
    return ds->overviews_[size_t(index)]->GetRasterBand(nBand);
}

}  // namespace wavragdal
