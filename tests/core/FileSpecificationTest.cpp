#include <gtest/gtest.h>

#include "CoreScratchDir.h"
#include "core/FileSpecification.h"
#include "support/DiagnosticCapture.h"

using namespace Lumetra;
using coretest::ScratchDir;

TEST(FileSpecification, unsetValueIsTheSentinelPath) {
    const FileSpecification unset;
    EXPECT_STREQ(unset.path(), "///:::\\\\\\UNITIALIZED_FILESPEC");
    EXPECT_FALSE(unset.isInitialized());
    const FileSpecification copy = unset;
    EXPECT_FALSE(copy.isInitialized());
    EXPECT_TRUE(FileSpecification("").isInitialized());
    EXPECT_STREQ(FileSpecification("").path(), "");
    EXPECT_STREQ(FileSpecification(static_cast<const char*>(nullptr)).path(), "");
}

TEST(FileSpecification, extensionIgnoresFullStopsInDirectoriesWithEitherSeparator) {
    EXPECT_STREQ(FileSpecification("a\\b.c\\name").setExtension("bip").path(), "a\\b.c\\name.bip");
    EXPECT_STREQ(FileSpecification("a/b.c/name").setExtension("bip").path(), "a/b.c/name.bip");
    EXPECT_STREQ(FileSpecification("a/b.c\\name").setExtension("bip").path(), "a/b.c\\name.bip");
    EXPECT_STREQ(FileSpecification("a\\b.c/name").setExtension("bip").path(), "a\\b.c/name.bip");
}

TEST(FileSpecification, setExtensionReplacesOnlyTheLastExtension) {
    EXPECT_STREQ(FileSpecification("a\\name.tar.gz").setExtension("bip").path(), "a\\name.tar.bip");
    EXPECT_STREQ(FileSpecification("a/name.tar.gz").setExtension("bip").path(), "a/name.tar.bip");
    EXPECT_STREQ(FileSpecification("name").setExtension("hdr").path(), "name.hdr");
    EXPECT_STREQ(FileSpecification("tmp3.bip").setExtension("hdr").path(), "tmp3.hdr");
    // Setting twice does not pile extensions up.
    EXPECT_STREQ(FileSpecification("out").setExtension("bip").setExtension("hdr").path(), "out.hdr");
}

TEST(FileSpecification, nullExtensionRemovesTheExtension) {
    EXPECT_STREQ(FileSpecification("dir.x/name.wvr").setExtension(nullptr).path(), "dir.x/name");
    EXPECT_STREQ(FileSpecification("dir.x\\name").setExtension(nullptr).path(), "dir.x\\name");
    EXPECT_STREQ(FileSpecification("a/name.tar.gz").withoutExtension().path(), "a/name.tar");
    EXPECT_EQ(FileSpecification("a.b/name.wvr").extension(), "wvr");
    EXPECT_EQ(FileSpecification("a.b\\name").extension(), "");
}

TEST(FileSpecification, fileNameIsTheTextAfterTheLastSeparatorOfEitherKind) {
    EXPECT_EQ(FileSpecification("name").fileName(), "name");
    EXPECT_EQ(FileSpecification("maps/city.img").fileName(), "city.img");
    EXPECT_EQ(FileSpecification("maps\\city.img").fileName(), "city.img");
    EXPECT_EQ(FileSpecification("a\\b/c\\d.e").fileName(), "d.e");
    EXPECT_EQ(FileSpecification("dir/").fileName(), "");
    EXPECT_EQ(FileSpecification("maps\\city.img").directory(), "maps\\");
}

TEST(FileSpecification, replaceFileNameKeepsTheDirectory) {
    EXPECT_STREQ(FileSpecification("maps/city.img").replaceFileName("town.wvr").path(), "maps/town.wvr");
    EXPECT_STREQ(FileSpecification("c:\\maps\\city.img").replaceFileName("t").path(), "c:\\maps\\t");
    EXPECT_STREQ(FileSpecification("city.img").replaceFileName("town").path(), "town");
}

TEST(FileSpecification, openExistsAndDeleteWorkOnRealFiles) {
    ScratchDir dir;
    const FileSpecification file(dir.file("x.bip"));
    EXPECT_FALSE(file.exists());
    FILE* f = file.open("wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(file.exists());
    EXPECT_EQ(file.deleteFile(), 0);
    EXPECT_FALSE(file.exists());
    EXPECT_EQ(file.open("rb"), nullptr);
}

TEST(FileSpecification, failedDeleteReportsOnStandardErrorAndReturnsNonZero) {
    testsupport::DiagnosticCapture diagnostics;
    ScratchDir dir;
    const std::string missing = dir.file("gone.hdr");
    diagnostics.take();
    const int rc = FileSpecification(missing).deleteFile();
    const std::string err = diagnostics.take();
    EXPECT_NE(rc, 0);
    EXPECT_EQ(err, "Error deleting file " + missing + ".");
}

TEST(FileSpecification, quietRemovalIsSilentAndHarmlessForTheUnsetValue) {
    testsupport::DiagnosticCapture diagnostics;
    ScratchDir dir;
    const std::string p = dir.write("a.bip", {1, 2, 3});
    diagnostics.take();
    FileSpecification(p).removeQuietly();
    FileSpecification(p).removeQuietly();  // already gone
    FileSpecification().removeQuietly();
    FileSpecification().setExtension("bip").removeQuietly();
    EXPECT_EQ(diagnostics.take(), "");
    EXPECT_FALSE(coretest::fileExists(p));
}
