// The PNM writer in process: an output large enough to be written back and
// flushed while it is written comes out whole.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ExtractionFixtureTest.h"
#include "tool/PnmWriter.h"

using namespace extracttest;

TEST(PnmWriter, aLargeOutputComesOutWholeWhileItIsFlushedBehind) {
    Scratch s;
    const std::string file = s.path("large.ppm");
    const int32_t width = 2048, height = 4096;  // 24 MiB of samples
    const size_t rowBytes = size_t(width) * 3;
    std::vector<unsigned char> rows(rowBytes * 64);
    std::string expected = "P6\n2048 4096\n255\n";
    {
        PnmWriter writer(file, width, height, true, 3);
        for (int32_t y = 0; y < height; y += 64) {
            for (size_t i = 0; i < rows.size(); ++i) rows[i] = (unsigned char)(i * 7 + size_t(y) * 13);
            writer.writeRows(rows.data(), 64, int64_t(rowBytes));
            expected.append(rows.begin(), rows.end());
        }
        writer.finish();
    }
    EXPECT_TRUE(readFile(file) == expected);
}
