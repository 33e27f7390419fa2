// Band orders that no header here produces but the extraction routine
// serves: their plane mapping and their band-count checks.

#include <gtest/gtest.h>

#include "RawImageScratch.h"
#include "encoder/rawimage/BandOrderExtraction.h"

namespace {

// A 2 x 1 file of four stored samples per pixel (pixel-interleaved and
// line-interleaved read the same bytes differently).
TEST(BandOrderExtractionTest, swappedAndPaddedOrdersLandInTheirPlanes) {
    RawImageScratch scratch;
    RawSource s;
    s.file = scratch.write("px", {1, 2, 3, 4, 5, 6, 7, 8});
    s.support[0][1] = 1;
    s.support[1][1] = 0;
    s.width = 2;
    s.height = 1;
    s.bands = 4;
    const int rect[2][2] = {{0, 1}, {0, 0}};
    const auto planes = [&](const char* order) {
        std::vector<unsigned char> out(8, 0);
        extract_raw(s, rect, out.data(), order);
        return out;
    };
    EXPECT_EQ(planes("XRGB"), (std::vector<unsigned char>{2, 6, 3, 7, 4, 8, 0, 0}));
    EXPECT_EQ(planes("XBGR"), (std::vector<unsigned char>{4, 8, 3, 7, 2, 6, 0, 0}));
    EXPECT_EQ(planes("BGR"), (std::vector<unsigned char>{3, 7, 2, 6, 1, 5, 0, 0}));
    // Line-interleaved: bands of the row are 1 2 | 3 4 | 5 6 | 7 8.
    EXPECT_EQ(planes("BGRX_BIL"), (std::vector<unsigned char>{5, 6, 3, 4, 1, 2, 0, 0}));
    // Band-sequential with H = 1 reads the same as line-interleaved.
    EXPECT_EQ(planes("CMYK_BSQ"), (std::vector<unsigned char>{1, 2, 3, 4, 5, 6, 7, 8}));

    s.bands = 3;
    EXPECT_EQ(thrownMessage<Error>([&] { planes("XRGB"); }),
              "Unexpected band structure encountered in subroutine ImageFile::uninterleave32.");
    EXPECT_EQ(thrownMessage<Error>([&] { planes("BGRX_BIL"); }),
              "Incompatible band structure encountered in ImageFile::extract_raw().");
    EXPECT_EQ(thrownMessage<Error>([&] { planes("RGBA"); }),
              "Error: unknown band order encountered in subroutine extract_rgb.");
}

TEST(BandOrderExtractionTest, truncatedFileIsAReadError) {
    RawImageScratch scratch;
    RawSource s;
    s.file = scratch.write("short", {1, 2, 3});
    s.support[0][1] = 3;
    s.support[1][1] = 0;
    s.width = 4;
    s.height = 1;
    s.bands = 1;
    const int rect[2][2] = {{0, 3}, {0, 0}};
    unsigned char out[4] = {};
    EXPECT_EQ(thrownMessage<ReadError>([&] { extract_raw(s, rect, out, "GRAYSCALE"); }),
              "Error reading file " + scratch.path("short") + ".");
}

// Padded rows read several at a time: each row's samples come from its own
// place, and the last row needs no padding after it.
TEST(BandOrderExtractionTest, paddedRowsReadTogetherKeepTheirPlaces) {
    RawImageScratch scratch;
    RawSource s;
    // 4 x 4 grey pixels, rows 5 bytes apart, value 10 * row + column.
    std::vector<unsigned char> bytes;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) bytes.push_back(x < 4 ? (unsigned char)(10 * y + x) : 99);
    bytes.pop_back();
    s.file = scratch.write("padded", bytes);
    s.support[0][1] = 3;
    s.support[1][1] = 3;
    s.width = 4;
    s.height = 4;
    s.bands = 1;
    s.rowStride = 5;
    const int rect[2][2] = {{1, 3}, {1, 3}};
    std::vector<unsigned char> out(9, 0);
    extract_raw(s, rect, out.data(), "GRAYSCALE");
    EXPECT_EQ(out, (std::vector<unsigned char>{11, 12, 13, 21, 22, 23, 31, 32, 33}));
}

}  // namespace
