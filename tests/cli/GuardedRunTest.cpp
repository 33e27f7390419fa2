// The guarded block: each kind of failure becomes one line on the error
// stream and status 1, and the run's temporary raw files are deleted.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/Error.h"
#include "core/Exception.h"
#include "tool/ToolMain.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    return text;
}

bool exists(const std::string& f) { return ::access(f.c_str(), F_OK) == 0; }

void touch(const std::string& f) {
    if (std::FILE* file = std::fopen(f.c_str(), "wb")) std::fclose(file);
}

// Runs `body` guarded and returns what reached the error stream.
std::string guarded(const std::function<int()>& body, const TemporaryRunFiles& temporaries,
                    int expectedStatus) {
    std::unique_ptr<std::FILE, FileCloser> err(std::tmpfile());
    EXPECT_EQ(runGuarded(body, temporaries, err.get()), expectedStatus);
    return contents(err.get());
}

// Temporary files of these tests go to a folder of their own.
class GuardedRun : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/wx_cli_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        if (const char* old = std::getenv("TMP")) saved_ = old, hadTmp_ = true;
        ::setenv("TMP", dir_.c_str(), 1);
    }
    void TearDown() override {
        if (hadTmp_)
            ::setenv("TMP", saved_.c_str(), 1);
        else
            ::unsetenv("TMP");
        ::rmdir(dir_.c_str());  // fails, and the test below fails, if anything was left
    }
    std::string dir_;

private:
    std::string saved_;
    bool hadTmp_ = false;
};

}  // namespace

TEST_F(GuardedRun, eachFailureKindPrintsItsMessageAndReturnsOne) {
    const TemporaryRunFiles none;
    EXPECT_EQ(guarded([]() -> int { throw Lumetra::Exception("Error: broken."); }, none, 1),
              "Error: broken.\n");
    EXPECT_EQ(guarded([]() -> int { throw Lumetra::Interrupt(); }, none, 1),
              "Program interrupt encountered\n");
    EXPECT_EQ(guarded([]() -> int { throw Lumetra::Exception(); }, none, 1), "\n");
    EXPECT_EQ(guarded([]() -> int { throw ReadError("x.hdr"); }, none, 1), "Error reading file x.hdr.\n");
    EXPECT_EQ(guarded([]() -> int { throw Error("Error creating temporary file.\n"); }, none, 1),
              "Error creating temporary file.\n\n");
    EXPECT_EQ(guarded([]() -> int { throw std::runtime_error("bad thing"); }, none, 1), "bad thing\n");
    EXPECT_EQ(guarded([]() -> int { throw 42; }, none, 1), "Unknown exception encountered.\n");
    EXPECT_EQ(guarded([]() -> int { return 0; }, none, 0), "");
}

TEST_F(GuardedRun, failureDeletesTheRawFileAndHeaderSilently) {
    TemporaryRunFiles temporaries;
    const std::string name = temporaries.reserve();
    EXPECT_EQ(name.compare(0, dir_.size() + 4, dir_ + "/tmp"), 0) << name;
    EXPECT_EQ(temporaries.rawFile(), name + ".bip");
    touch(temporaries.rawFile());
    touch(temporaries.headerFile());

    EXPECT_EQ(guarded([]() -> int { throw WriteError("o.wvr"); }, temporaries, 1),
              "Error writing file o.wvr. Perhaps you are out of disk space.\n");
    EXPECT_FALSE(exists(temporaries.rawFile()));
    EXPECT_FALSE(exists(temporaries.headerFile()));

    // Only the header was made before this failure: still no complaint
    // about the missing raw file.
    touch(temporaries.headerFile());
    EXPECT_EQ(guarded([]() -> int { throw std::bad_alloc(); }, temporaries, 1), "std::bad_alloc\n");
    EXPECT_FALSE(exists(temporaries.headerFile()));
}

TEST_F(GuardedRun, failureBeforeANameWasMadeDeletesNothing) {
    const TemporaryRunFiles temporaries;
    EXPECT_FALSE(temporaries.isReserved());
    EXPECT_EQ(guarded([]() -> int { throw Lumetra::Exception("Error: missing required option -i"); },
                      temporaries, 1),
              "Error: missing required option -i\n");
}

TEST_F(GuardedRun, reservedNameIsReleasedWithTheRun) {
    std::string bare;
    {
        TemporaryRunFiles temporaries;
        bare = temporaries.reserve();
        EXPECT_EQ(::access(bare.c_str(), F_OK), 0);
    }
    EXPECT_NE(::access(bare.c_str(), F_OK), 0);
}
