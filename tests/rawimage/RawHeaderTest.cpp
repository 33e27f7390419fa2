// Reading the text header of a band-interleaved raw image.

#include <gtest/gtest.h>

#include "RawImageScratch.h"
#include "encoder/rawimage/BBBImage.h"
#include "encoder/rawimage/RawHeader.h"

namespace {

class RawHeaderTest : public ::testing::Test {
protected:
    RawHeader read(const std::string& text) { return readRawHeader(scratch.writeText("h.hdr", text)); }
    std::string failure(const std::string& text) {
        return thrownMessage<Error>([&] { read(text); });
    }
    RawImageScratch scratch;
};

TEST_F(RawHeaderTest, minimalHeaderTakesDefaultsAndDerivesRowBytesFromFinalCounts) {
    const RawHeader h = read("NROWS 10\nNCOLS 20\nNBANDS 1\n");
    EXPECT_EQ(h.nrows, 10);
    EXPECT_EQ(h.ncols, 20);
    EXPECT_EQ(h.nbands, 1);
    EXPECT_EQ(h.layout, kLayoutUnknown);
    EXPECT_EQ(h.nbits, 8);
    EXPECT_EQ(h.skipbytes, 0);
    EXPECT_EQ(h.bandrowbytes, 20);
    EXPECT_EQ(h.totalrowbytes, 20);
    EXPECT_EQ(h.bandgapbytes, 0);
    EXPECT_EQ(h.dynamicRangeWindow, -1);
    EXPECT_EQ(h.dynamicRangeLevel, 127);
    EXPECT_DOUBLE_EQ(h.xdim, 1.0);
    EXPECT_DOUBLE_EQ(h.ydim, 1.0);
    EXPECT_DOUBLE_EQ(h.ulxmap, 0.0);
    EXPECT_EQ(expectedRawFileSize(h), 200);

    // The derived defaults use the last values, whatever the line order.
    const RawHeader late = read("TOTALROWBYTES 7\nNCOLS 5\nNBANDS 3\nNROWS 2\nNCOLS 6\n");
    EXPECT_EQ(late.totalrowbytes, 7);
    EXPECT_EQ(late.bandrowbytes, 6);
}

TEST_F(RawHeaderTest, keywordSpellingsColonsAndForeignLinesAreHandled) {
    const RawHeader h = read(
        "BYTEORDER M\n"
        "rows: 4\n"
        "COLS 3 trailing words are ignored\n"
        "bands 3\n"
        "interleaving bil\n"
        "UL_X_COORDINATE 100.5\n"
        "ul_y_coordinate -20.25\n"
        "PIXEL_WIDTH 2\n"
        "pixel_height 3\n"
        "skipbytes 16\n"
        "\n"
        "Nbits 12\n");
    EXPECT_EQ(h.nrows, 4);
    EXPECT_EQ(h.ncols, 3);
    EXPECT_EQ(h.nbands, 3);
    EXPECT_EQ(h.layout, kLayoutBIL);
    EXPECT_DOUBLE_EQ(h.ulxmap, 100.5);
    EXPECT_DOUBLE_EQ(h.ulymap, -20.25);
    EXPECT_DOUBLE_EQ(h.xdim, 2.0);
    EXPECT_DOUBLE_EQ(h.ydim, 3.0);
    EXPECT_EQ(h.skipbytes, 16);
    EXPECT_EQ(h.nbits, 8) << "mixed-case keywords are not recognised";
    EXPECT_EQ(expectedRawFileSize(h), 16 + 36);

    EXPECT_EQ(read("NROWS: 10\nNCOLS 2\nNBANDS 1\n").nrows, 10);
    EXPECT_EQ(read("LAYOUT BSQ\nNROWS 1\nNCOLS 1\nNBANDS 1\n").layout, kLayoutBSQ);
    EXPECT_EQ(read("layout bip\nNROWS 1\nNCOLS 1\nNBANDS 1\n").layout, kLayoutBIP);
}

TEST_F(RawHeaderTest, missingRequiredCountsAreReportedInOrder) {
    EXPECT_EQ(failure("Nrows 10\nNCOLS 20\nNBANDS 1\n"),
              "Error: missing required specification NROWS in BIL/BIP/BSQ header.");
    EXPECT_EQ(failure("NROWS 10\n"), "Error: missing required specification NBANDS in BIL/BIP/BSQ header.");
    EXPECT_EQ(failure("NROWS 10\nNBANDS 3\n"),
              "Error: missing required specification NCOLS in BIL/BIP/BSQ header.");
    EXPECT_EQ(failure(""), "Error: missing required specification NBANDS in BIL/BIP/BSQ header.");
}

TEST_F(RawHeaderTest, refusedValuesFailAtTheirLine) {
    // The band count is refused before the bad layout word below it is read.
    EXPECT_EQ(failure("NBANDS 4\nLAYOUT XYZ\n"),
              "Error: this program can of process 1- or 3-band LAN files.");
    EXPECT_EQ(failure("NBANDS 2\n"), "Error: this program can of process 1- or 3-band LAN files.");
    EXPECT_EQ(failure("WORDLENGTH 2\nNROWS 1\nNCOLS 1\nNBANDS 1\n"),
              "Error: This version of the Wavra Encoder does not support 16 bit imagery.");
    EXPECT_EQ(failure("wordlength 3\n"),
              "Error: this program only processes BBB images with a word length of 1 or 2.");
    EXPECT_EQ(read("WORDLENGTH 1\nNROWS 1\nNCOLS 1\nNBANDS 1\n").dataType, 0);
    EXPECT_EQ(failure("NROWS 1\nNCOLS 1\nNBANDS 1\nLAYOUT Bil\n"), "Unknown layout specification found.");
}

TEST_F(RawHeaderTest, unconvertibleValueIsAReadErrorNamingTheHeader) {
    const std::string name = scratch.path("h.hdr");
    const auto readFailure = [&](const std::string& text) {
        return thrownMessage<ReadError>([&] { read(text); });
    };
    EXPECT_EQ(readFailure("NROWS ten\n"), "Error reading file " + name + ".");
    EXPECT_EQ(readFailure("NROWS 1\nNCOLS 1\nNBANDS 1\nXDIM abc\n"), "Error reading file " + name + ".");
    EXPECT_EQ(readFailure("NROWS"), "Error reading file " + name + ".");
}

TEST_F(RawHeaderTest, absurdCountsAreRefusedBeforeAnythingIsSized) {
    EXPECT_EQ(failure("NROWS -5\nNCOLS 20\nNBANDS 1\n"),
              "Error: value of NROWS out of range in BIL/BIP/BSQ header.");
    EXPECT_EQ(failure("NROWS 0\nNCOLS 20\nNBANDS 1\n"),
              "Error: value of NROWS out of range in BIL/BIP/BSQ header.");
    EXPECT_EQ(failure("NROWS 5\nNCOLS -1\nNBANDS 1\n"),
              "Error: missing required specification NCOLS in BIL/BIP/BSQ header.");
    EXPECT_EQ(failure("NROWS 5\nNCOLS -20\nNBANDS 1\n"),
              "Error: value of NCOLS out of range in BIL/BIP/BSQ header.");
    EXPECT_EQ(failure("NROWS 5\nNCOLS 20\nNBANDS 1\nSKIPBYTES -1\n"),
              "Error: value of SKIPBYTES out of range in BIL/BIP/BSQ header.");
    EXPECT_EQ(failure("NROWS 99999999999\n"), "Error: value of NROWS out of range in BIL/BIP/BSQ header.");
    EXPECT_EQ(failure("NROWS 2147483647\nNCOLS 715827883\nNBANDS 3\n"),
              "Error: image too large in BIL/BIP/BSQ header.");
    EXPECT_EQ(failure("NROWS 1\nNCOLS 1000000000\nNBANDS 3\n"),
              "Error: image too large in BIL/BIP/BSQ header.");

    // Large but representable counts pass the header and are left to the
    // file-size check.
    const RawHeader big = read("NROWS 2000000000\nNCOLS 700000000\nNBANDS 3\nSKIPBYTES 2147483647\n");
    EXPECT_EQ(expectedRawFileSize(big), 2147483647LL + 2000000000LL * 2100000000LL);
    scratch.rawImage("big", "NROWS 2000000000\nNCOLS 700000000\nNBANDS 3\n", {1, 2, 3});
    EXPECT_EQ(thrownMessage<Error>([&] { BBBImage image(scratch.path("big.raw")); }),
              "Error: The actual file size (3) is not consistent with the reported file size "
              "(4200000000000000000) for "
              "file " +
                  scratch.path("big.raw") + ".\nThis file's header must be repaired prior to encoding.");
}

TEST_F(RawHeaderTest, missingHeaderIsAnOpenErrorNamingIt) {
    scratch.write("alone.raw", {1});
    EXPECT_EQ(thrownMessage<OpenError>([&] { BBBImage image(scratch.path("alone.raw")); }),
              "Error opening file " + scratch.path("alone.hdr") + " for read.");
}

}  // namespace
