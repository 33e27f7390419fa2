#include <gtest/gtest.h>

#include <climits>
#include <istream>

#include "CoreScratchDir.h"
#include "core/Exception.h"
#include "core/FileBuffer.h"

using namespace Lumetra;

namespace {

unsigned char patternByte(int64_t i) { return static_cast<unsigned char>((i * 7 + 3) % 251); }

// A 1000-byte file whose byte i is patternByte(i).
class FileBufferTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<unsigned char> bytes(kSize);
        for (int i = 0; i < kSize; ++i) bytes[i] = patternByte(i);
        path = dir.write("data.bin", bytes);
        buf.open(path.c_str());
    }

    // Reads n bytes and checks they are the file's bytes from `from` on.
    void expectRead(size_t n, int64_t from, size_t expectedCount) {
        std::vector<unsigned char> got(n + 1, 0);
        ASSERT_EQ(buf.read(got.data(), n), expectedCount);
        for (size_t i = 0; i < expectedCount; ++i)
            ASSERT_EQ(got[i], patternByte(from + int64_t(i))) << "byte " << i << " of a read from " << from;
    }
    void expectRead(size_t n, int64_t from) { expectRead(n, from, n); }

    static constexpr int kSize = 1000;
    coretest::ScratchDir dir;
    std::string path;
    FileBuffer buf;
};

}  // namespace

TEST_F(FileBufferTest, readStraddlingTheWindowDeliversWindowThenFile) {
    expectRead(100, 0);  // window now holds 0..127
    expectRead(100, 100);
    EXPECT_EQ(buf.position(), 200);
    expectRead(1, 200);
}

TEST_F(FileBufferTest, readsLargerThanTheReadAheadBypassItWithoutLosingBytes) {
    expectRead(10, 0);
    expectRead(500, 10);
    EXPECT_EQ(buf.position(), 510);
    expectRead(5, 510);
}

TEST_F(FileBufferTest, endOfFileShortensReadsAndReadByteReturnsMinusOne) {
    expectRead(990, 0);
    expectRead(100, 990, 10);
    EXPECT_EQ(buf.readByte(), -1);
    EXPECT_EQ(buf.position(), kSize);
    std::vector<unsigned char> none(4);
    EXPECT_EQ(buf.read(none.data(), 4), 0u);
}

TEST_F(FileBufferTest, seekInsideTheWindowMovesOnlyTheWindow) {
    expectRead(60, 0);
    EXPECT_EQ(buf.seek(20, SEEK_SET), 20);  // behind, already consumed
    expectRead(10, 20);
    EXPECT_EQ(buf.seek(70, SEEK_CUR), 100);  // ahead, still waiting
    expectRead(40, 100);
    EXPECT_EQ(buf.seek(-30, SEEK_CUR), 110);
    EXPECT_EQ(buf.position(), 110);
    expectRead(3, 110);
}

TEST_F(FileBufferTest, seekOutsideTheWindowRereadsFromTheFile) {
    expectRead(10, 0);
    EXPECT_EQ(buf.seek(600, SEEK_SET), 600);
    expectRead(50, 600);
    EXPECT_EQ(buf.seek(5, SEEK_SET), 5);
    expectRead(200, 5);
    EXPECT_EQ(buf.readByte(), patternByte(205));
}

TEST_F(FileBufferTest, endRelativeSeekIntoTheWindowKeepsLaterReadsInStep) {
    expectRead(10, 0);  // window 0..127, file at 128
    EXPECT_EQ(buf.seek(-950, SEEK_END), 50);
    EXPECT_EQ(buf.position(), 50);
    // Past the window the bytes must come from 128 on, not from the end.
    expectRead(200, 50);
    EXPECT_EQ(buf.position(), 250);
}

TEST_F(FileBufferTest, endRelativeSeekOutsideTheWindow) {
    expectRead(10, 0);
    EXPECT_EQ(buf.seek(-4, SEEK_END), 996);
    expectRead(10, 996, 4);
    EXPECT_EQ(buf.size(), kSize);
}

TEST_F(FileBufferTest, resizingTheReadAheadKeepsTheBytesStillWaiting) {
    expectRead(10, 0);  // 118 bytes wait in the window
    buf.setReadAhead(64);
    EXPECT_EQ(buf.position(), 10);
    expectRead(10, 10);
    expectRead(100, 20);  // straddles the smaller window
    buf.setReadAhead(4096);
    expectRead(300, 120);
    EXPECT_EQ(buf.position(), 420);
}

TEST_F(FileBufferTest, failedSeeksYieldMinusOneAndKeepThePosition) {
    expectRead(10, 0);
    EXPECT_EQ(buf.seek(-1, SEEK_SET), -1);
    EXPECT_EQ(buf.seek(INT64_MAX, SEEK_CUR), -1);
    EXPECT_EQ(buf.seek(INT64_MAX, SEEK_END), -1);
    EXPECT_EQ(buf.seek(0, 42), -1);
    EXPECT_EQ(buf.position(), 10);
    expectRead(5, 10);
}

TEST_F(FileBufferTest, standardStreamsReadThroughIt) {
    std::istream in(&buf);
    in.seekg(-4, std::ios_base::end);
    EXPECT_EQ(in.tellg(), std::streampos(996));
    char tail[4];
    in.read(tail, 4);
    ASSERT_EQ(in.gcount(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(static_cast<unsigned char>(tail[i]), patternByte(996 + i));
    in.clear();
    in.seekg(130);
    EXPECT_EQ(in.get(), patternByte(130));
    // The stream and the buffer's own reads share one position.
    EXPECT_EQ(buf.position(), 131);
    expectRead(2, 131);
}

TEST_F(FileBufferTest, closedBufferRefusesToRead) {
    buf.close();
    EXPECT_FALSE(buf.isOpen());
    unsigned char b;
    try {
        buf.read(&b, 1);
        FAIL() << "read on a closed buffer did not throw";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.getMessage(), "Cannot read without an open file!");
    }
    buf.open(FileSpecification(path));
    expectRead(3, 0);
}

TEST(FileBuffer, openingAMissingFileNamesIt) {
    FileBuffer buf;
    try {
        buf.open("/nonexistent/dir/x.wvr");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.getMessage(), "File: /nonexistent/dir/x.wvr could not be opened.");
    }
    EXPECT_FALSE(buf.isOpen());
    EXPECT_THROW(buf.open(static_cast<const char*>(nullptr)), Exception);
}
