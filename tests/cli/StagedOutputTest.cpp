// The staged output of the programs, in process: where the writer
// writes, what a commit replaces, and what an abandoned run leaves.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ExtractionFixtureTest.h"
#include "tool/StagedOutput.h"

using namespace extracttest;

namespace {

TEST(StagedOutput, abandonedStagingLeavesTheOutputAndRemovesItsOwnFiles) {
    Scratch s;
    const std::string output = s.path("result.wvr");
    writeFile(output, "earlier");
    {
        StagedOutput staged(output);
        ASSERT_TRUE(staged.isStaged());
        const std::string name = staged.writeName();
        EXPECT_NE(name, output);
        // Beside the output, so that the rename never crosses file systems.
        EXPECT_EQ(name.substr(0, s.path("").size()), s.path(""));
        EXPECT_EQ(name.find('/', s.path("").size()), std::string::npos);
        writeFile(name, "half written");
    }
    EXPECT_EQ(readFile(output), "earlier");
    EXPECT_EQ(s.entries(""), (std::vector<std::string>{"result.wvr", "tmp"}));
}

TEST(StagedOutput, linkedOutputReplacesTheTargetAndKeepsTheLink) {
    Scratch s;
    s.makeFolder("real");
    writeFile(s.path("real/target.wvr"), "old");
    ASSERT_EQ(::symlink(s.path("real/target.wvr").c_str(), s.path("link.wvr").c_str()), 0);
    {
        StagedOutput staged(s.path("link.wvr"));
        writeFile(staged.writeName(), "fresh");
        staged.commit();
    }
    struct stat st;
    ASSERT_EQ(::lstat(s.path("link.wvr").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(s.path("real/target.wvr")), "fresh");
    EXPECT_EQ(s.entries("real"), std::vector<std::string>{"target.wvr"});
}

TEST(StagedOutput, devicesAndMissingFoldersAreWrittenInPlace) {
    Scratch s;
    for (const std::string& output : {std::string("/dev/null"), s.path("no/such/folder/out.wvr")}) {
        SCOPED_TRACE(output);
        StagedOutput staged(output);
        EXPECT_FALSE(staged.isStaged());
        EXPECT_EQ(staged.writeName(), output);
        staged.commit();
    }
    EXPECT_EQ(s.entries(""), std::vector<std::string>{"tmp"});
}

TEST(StagedOutput, commitOfAVanishedFileFailsNamingTheOutput) {
    Scratch s;
    const std::string output = s.path("out.wvr");
    StagedOutput staged(output);
    // The writer never produced the staged file.
    try {
        staged.commit();
        FAIL() << "commit succeeded";
    } catch (const wavra::Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Error writing file " + output + ". Perhaps you are out of disk space.");
    }
    EXPECT_FALSE(exists(output));
    EXPECT_EQ(staged.tellAsOutput(("Error writing file " + staged.writeName() + ".").c_str()),
              "Error writing file " + output + ".");
}

}  // namespace
