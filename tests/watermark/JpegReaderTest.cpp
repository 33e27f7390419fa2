#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "WatermarkTestFiles.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "imaging/watermark/JpegReader.h"

using Lumetra::JpegReader;

namespace {

unsigned char gradient(int x, int y, int c) { return static_cast<unsigned char>((x * 3 + y * 2 + c * 40) & 0xFF); }

// Decodes every row; returns the picture as width x components x height bytes.
std::vector<unsigned char> decodeAll(JpegReader& reader) {
    size_t rowBytes = static_cast<size_t>(reader.width()) * reader.components();
    std::vector<unsigned char> all(rowBytes * reader.height());
    reader.start();
    for (int y = 0; y < reader.height(); ++y) reader.readRow(all.data() + rowBytes * y);
    reader.finish();
    return all;
}

std::string messageOfLoad(const std::string& path) {
    try {
        JpegReader reader(path);
        decodeAll(reader);
    } catch (const Lumetra::Exception& e) {
        return e.what();
    }
    return "(no exception)";
}

}  // namespace

TEST(JpegReader, baselineAndProgressiveDecodeToTheirSamples) {
    wmtest::ScratchFolder dir;
    struct Case { int components; bool progressive; } cases[] = {{1, false}, {3, false}, {1, true}, {3, true}};
    for (auto c : cases) {
        std::string path = dir.file("pic.jpg");
        wmtest::writeJpeg(path, 37, 21, c.components, gradient, 100, c.progressive);
        JpegReader reader(path);
        EXPECT_EQ(37, reader.width());
        EXPECT_EQ(21, reader.height());
        EXPECT_EQ(c.components, reader.components());
        EXPECT_EQ(8, reader.precision());
        std::vector<unsigned char> all = decodeAll(reader);
        int worst = 0;
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 37; ++x)
                for (int k = 0; k < c.components; ++k)
                    worst = std::max(worst, std::abs(all[(y * 37 + x) * c.components + k] - gradient(x, y, k)));
        EXPECT_LE(worst, 8) << "components " << c.components << " progressive " << c.progressive;
    }
}

TEST(JpegReader, missingFileFailsBeforeTheLibraryReads) {
    wmtest::ScratchFolder dir;
    std::string path = dir.file("absent.jpg");
    try {
        JpegReader reader(path);
        FAIL() << "opened a missing file";
    } catch (const Error& e) {
        EXPECT_EQ("Error opening file " + path + " for read.", e.message());
    }
}

TEST(JpegReader, libraryErrorsBecomeExceptionsWithTheLibrarysMessage) {
    wmtest::ScratchFolder dir;
    std::string empty = dir.file("empty.jpg");
    wmtest::writeBytes(empty, {});
    EXPECT_EQ("Empty input file", messageOfLoad(empty));

    std::string text = dir.file("text.jpg");
    wmtest::writeBytes(text, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ("Not a JPEG file: starts with 0x68 0x65", messageOfLoad(text));

    // A file cut in the middle of its coded data must not decode as a
    // picture padded with grey.
    std::string good = dir.file("good.jpg");
    wmtest::writeJpeg(good, 64, 64, 3, gradient);
    std::vector<unsigned char> bytes = wmtest::readBytes(good);
    bytes.resize(bytes.size() / 2);
    std::string cut = dir.file("cut.jpg");
    wmtest::writeBytes(cut, bytes);
    EXPECT_EQ("Premature end of JPEG file", messageOfLoad(cut));

    // Cut in the same place but properly ended: the coded data still stops
    // short of the last row.
    bytes.push_back(0xFF);
    bytes.push_back(0xD9);
    wmtest::writeBytes(cut, bytes);
    EXPECT_EQ("Corrupt JPEG data: premature end of data segment", messageOfLoad(cut));
}

TEST(JpegReader, readerStaysUsableForErrorsAfterAnEarlierFailure) {
    // The jump target is re-armed by every call, so an error in a later
    // call must not jump back into a finished frame.
    wmtest::ScratchFolder dir;
    std::string good = dir.file("good.jpg");
    wmtest::writeJpeg(good, 16, 300, 1, gradient);
    std::vector<unsigned char> bytes = wmtest::readBytes(good);
    bytes.resize(bytes.size() * 2 / 3);
    std::string cut = dir.file("cut.jpg");
    wmtest::writeBytes(cut, bytes);
    JpegReader reader(cut);
    reader.start();
    std::vector<unsigned char> row(16);
    int decoded = 0;
    EXPECT_THROW(
        {
            for (; decoded < 300; ++decoded) reader.readRow(row.data());
        },
        Lumetra::Exception);
    EXPECT_GT(decoded, 0);
    EXPECT_LT(decoded, 300);
}
