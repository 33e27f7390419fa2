// Registration of the WAVRA driver with GDAL: the plugin's only exported
// symbol.

#include "WavraDataset.h"

namespace {

// The library's diagnostic lines become GDAL warnings.
void routeDiagnostics() {
    wavra::setDiagnosticHandler([](const std::string& text) {
        const size_t end = text.find_last_not_of("\r\n");
        if (end != std::string::npos)
            CPLError(CE_Warning, CPLE_AppDefined, "%s", text.substr(0, end + 1).c_str());
    });
}

void unloadDriver(GDALDriver*) { wavra::setDiagnosticHandler(nullptr); }

}  // namespace

extern "C" __attribute__((visibility("default"))) void GDALRegister_WAVRA() {
    if (!GDAL_CHECK_VERSION("WAVRA driver")) return;
    if (GDALGetDriverByName("WAVRA") != nullptr) return;

    auto* driver = new GDALDriver();
    driver->SetDescription("WAVRA");
    driver->SetMetadataItem(GDAL_DCAP_RASTER, "YES");
    driver->SetMetadataItem(GDAL_DMD_LONGNAME, "Wavra wavelet image");
    driver->SetMetadataItem(GDAL_DMD_EXTENSION, "wvr");
    driver->SetMetadataItem(GDAL_DMD_MIMETYPE, "image/x-wavra");
    driver->SetMetadataItem(GDAL_DCAP_VIRTUALIO, "YES");
    driver->SetMetadataItem(GDAL_DMD_CREATIONDATATYPES, "Byte");
    driver->SetMetadataItem(GDAL_DMD_OPENOPTIONLIST, wavragdal::kOpenOptions);
    driver->SetMetadataItem(GDAL_DMD_CREATIONOPTIONLIST, wavragdal::kCreationOptions);
    driver->pfnIdentify = wavragdal::WavraDataset::identify;
    driver->pfnOpen = wavragdal::WavraDataset::open;
    driver->pfnCreateCopy = wavragdal::createCopy;
    driver->pfnUnloadDriver = unloadDriver;
    routeDiagnostics();
    GetGDALDriverManager()->RegisterDriver(driver);
}
