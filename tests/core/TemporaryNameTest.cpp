#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "CoreScratchDir.h"
#include "core/Error.h"
#include "core/TemporaryName.h"

using namespace Lumetra;
using coretest::ScratchDir;

namespace {

// Sets TMP for one test and puts the old value back afterwards.
class TemporaryNameTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("TMP")) saved_ = std::string(old), hadTmp_ = true;
    }
    void TearDown() override {
        if (hadTmp_)
            ::setenv("TMP", saved_.c_str(), 1);
        else
            ::unsetenv("TMP");
    }
    void setTmp(const std::string& value) { ::setenv("TMP", value.c_str(), 1); }

    // The number after "<dir>/tmp", or -1 when the name has another shape.
    static long numberIn(const std::string& name, const std::string& dir) {
        const std::string prefix = dir + "/tmp";
        if (name.compare(0, prefix.size(), prefix) != 0) return -1;
        const std::string digits = name.substr(prefix.size());
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
        return std::stol(digits);
    }

    ScratchDir dir;

private:
    std::string saved_;
    bool hadTmp_ = false;
};

std::string errorMessage(void (*action)()) {
    try {
        action();
    } catch (const Error& e) {
        return e.message();
    }
    return "(nothing thrown)";
}

}  // namespace

TEST_F(TemporaryNameTest, existingTmpDirectoryHoldsTheNameWhichIsNotCreated) {
    setTmp(dir.path());
    const std::string name = temporaryName().path();
    EXPECT_GE(numberIn(name, dir.path()), 0) << name;
    EXPECT_FALSE(coretest::fileExists(name));
}

TEST_F(TemporaryNameTest, trailingSlashIsNotDoubled) {
    setTmp(dir.path() + "/");
    EXPECT_GE(numberIn(temporaryName().path(), dir.path()), 0);
}

TEST_F(TemporaryNameTest, quotesAroundTmpAreRemoved) {
    setTmp("\"" + dir.path() + "\"");
    EXPECT_GE(numberIn(temporaryName().path(), dir.path()), 0);
}

TEST_F(TemporaryNameTest, missingTmpDirectoryFallsBackToTheCurrentDirectory) {
    setTmp(dir.file("does-not-exist"));
    EXPECT_GE(numberIn(temporaryName().path(), "."), 0);
    ::unsetenv("TMP");
    EXPECT_GE(numberIn(temporaryName().path(), "."), 0);
}

TEST_F(TemporaryNameTest, namesOfExistingFilesAreSkippedAndNeverHandedOutTwice) {
    setTmp(dir.path());
    const long first = numberIn(temporaryName().path(), dir.path());
    ASSERT_GE(first, 0);
    dir.write("tmp" + std::to_string(first + 1), {});
    dir.write("tmp" + std::to_string(first + 2), {});
    EXPECT_EQ(numberIn(temporaryName().path(), dir.path()), first + 3);
}

TEST_F(TemporaryNameTest, givenDirectoryMustExist) {
    const std::string name = temporaryName(FileSpecification(dir.path())).path();
    EXPECT_GE(numberIn(name, dir.path()), 0) << name;
    static std::string missing;
    missing = dir.file("nope");
    EXPECT_EQ(
        errorMessage([] { temporaryName(FileSpecification(missing)); }),
        "Error: specified temporary directory \"" + missing + "\" is not accessible or does not exist.");
}

TEST_F(TemporaryNameTest, reservationsAreDistinctAndRemovedOnDestruction) {
    setTmp(dir.path());
    std::string a, b;
    {
        const TemporaryReservation first(nullptr);
        const TemporaryReservation second(nullptr);
        a = first.name().path();
        b = second.name().path();
        EXPECT_NE(a, b);
        EXPECT_GE(numberIn(a, dir.path()), 0);
        EXPECT_TRUE(coretest::fileExists(a));
        EXPECT_TRUE(coretest::fileExists(b));
    }
    EXPECT_FALSE(coretest::fileExists(a));
    EXPECT_FALSE(coretest::fileExists(b));
}

TEST_F(TemporaryNameTest, reservationSkipsNamesWhoseDerivedFilesExist) {
    setTmp(dir.path());
    long next;
    {
        const TemporaryReservation probe(nullptr);
        next = numberIn(probe.name().path(), dir.path()) + 1;
    }
    // Another run's leftovers under the next number: that number is not free.
    dir.write("tmp" + std::to_string(next) + ".bip", {});
    const TemporaryReservation r(nullptr);
    EXPECT_GT(numberIn(r.name().path(), dir.path()), next);
}

TEST_F(TemporaryNameTest, movedReservationIsReleasedOnce) {
    setTmp(dir.path());
    TemporaryReservation a(nullptr);
    const std::string name = a.name().path();
    TemporaryReservation b(std::move(a));
    EXPECT_FALSE(a.isReserved());
    EXPECT_EQ(std::string(b.name().path()), name);
    EXPECT_TRUE(coretest::fileExists(name));
    b.release();
    EXPECT_FALSE(coretest::fileExists(name));
}

TEST_F(TemporaryNameTest, concurrentProcessesNeverReserveTheSameName) {
    // After fork both processes count from the same number; only the
    // exclusive creation keeps them apart.
    setTmp(dir.path());
    int toParent[2], toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(toParent[0]);
        ::close(toChild[1]);
        int status = 1;
        {
            TemporaryReservation mine(nullptr);
            const std::string name = mine.name().path();
            if (::write(toParent[1], name.c_str(), name.size()) == ssize_t(name.size())) status = 0;
            ::close(toParent[1]);
            char c;
            while (::read(toChild[0], &c, 1) > 0) {
            }
        }
        ::_exit(status);
    }
    ::close(toParent[1]);
    ::close(toChild[0]);
    const TemporaryReservation mine(nullptr);
    std::string childName;
    char chunk[256];
    ssize_t n;
    while ((n = ::read(toParent[0], chunk, sizeof chunk)) > 0) childName.append(chunk, size_t(n));
    ::close(toParent[0]);
    ::close(toChild[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_GE(numberIn(childName, dir.path()), 0) << childName;
    EXPECT_NE(childName, std::string(mine.name().path()));
}
