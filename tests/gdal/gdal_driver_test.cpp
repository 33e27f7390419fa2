// The WAVRA plugin loaded by GDAL as any application loads it, over damaged
// files: every open and read either works or fails with a GDAL error; none
// crashes (this program also runs under the sanitizers).

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cpl_conv.h"
#include "cpl_error.h"
#include "cpl_vsi.h"
#include "gdal.h"
#include "support/Conformance.h"
#include "support/DamagedFiles.h"

namespace {

class GdalEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        CPLSetConfigOption("GDAL_DRIVER_PATH", WAVRA_GDAL_PLUGIN_DIR);
        CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
        GDALAllRegister();
    }
    void TearDown() override { GDALDestroyDriverManager(); }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new GdalEnvironment);

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Opens `bytes` as a Wavra file in memory and reads every band of every
// scale whole, plus one pixel through the block cache. Returns whether all
// of it worked; each failure must have left a GDAL error message.
bool openAndRead(const std::string& bytes, const std::string& what) {
    const char* path = "/vsimem/damaged.wvr";
    VSILFILE* f = VSIFileFromMemBuffer(path, reinterpret_cast<GByte*>(const_cast<char*>(bytes.data())),
                                       vsi_l_offset(bytes.size()), FALSE);
    VSIFCloseL(f);
    CPLErrorReset();
    const char* const drivers[] = {"WAVRA", nullptr};
    GDALDatasetH ds = GDALOpenEx(path, GDAL_OF_RASTER | GDAL_OF_VERBOSE_ERROR, drivers, nullptr, nullptr);
    bool ok = ds != nullptr;
    if (!ok) {
        EXPECT_STRNE(CPLGetLastErrorMsg(), "") << what << ": open failed without a message";
    }
    if (ds != nullptr) {
        GDALRasterBandH first = GDALGetRasterBand(ds, 1);
        std::vector<GDALRasterBandH> levels = {first};
        for (int i = 0; i < GDALGetOverviewCount(first); ++i) levels.push_back(GDALGetOverview(first, i));
        const int bands = GDALGetRasterCount(ds);
        for (GDALRasterBandH level : levels) {
            const int w = GDALGetRasterBandXSize(level), h = GDALGetRasterBandYSize(level);
            if (size_t(w) * size_t(h) > (size_t(1) << 24))
                continue;  // an absurd size that opened: not decoded
            std::vector<GByte> pixels(size_t(w) * size_t(h) * size_t(bands));
            CPLErrorReset();
            GDALDatasetH owner = GDALGetBandDataset(level);
            const CPLErr err = GDALDatasetRasterIO(owner, GF_Read, 0, 0, w, h, pixels.data(), w, h, GDT_Byte,
                                                   bands, nullptr, bands, GSpacing(w) * bands, 1);
            if (err != CE_None) {
                ok = false;
                EXPECT_STRNE(CPLGetLastErrorMsg(), "") << what << ": read failed without a message";
            }
        }
        GByte pixel = 0;
        CPLErrorReset();
        if (GDALRasterIO(first, GF_Read, 0, 0, 1, 1, &pixel, 1, 1, GDT_Byte, 0, 0) != CE_None) {
            ok = false;
            EXPECT_STRNE(CPLGetLastErrorMsg(), "") << what << ": block read failed without a message";
        }
        GDALClose(ds);
    }
    VSIUnlink(path);
    return ok;
}

TEST(GdalDriver, isLoadedFromThePluginFolder) {
    GDALDriverH driver = GDALGetDriverByName("WAVRA");
    ASSERT_NE(driver, nullptr) << "gdal_WAVRA.so not loaded from " << WAVRA_GDAL_PLUGIN_DIR;
    EXPECT_STREQ(GDALGetMetadataItem(driver, GDAL_DMD_LONGNAME, nullptr), "Wavra wavelet image");
}

TEST(GdalDriver, damagedFilesFailWithAnErrorAndNeverCrash) {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    const std::string good = readFile(testsupport::conformanceDir() + "c03_rgb_blocks.wvr");
    ASSERT_TRUE(openAndRead(good, "the intact file"));
    const std::vector<testsupport::DamagedFile> versions = testsupport::damagedVersions(good);
    int failures = 0;
    for (const testsupport::DamagedFile& d : versions)
        if (!openAndRead(d.bytes, d.what)) ++failures;
    CPLPopErrorHandler();
    // Most of the damage must be noticed, not decoded as if nothing happened.
    EXPECT_GT(failures, int(versions.size()) / 2);
}

}  // namespace
