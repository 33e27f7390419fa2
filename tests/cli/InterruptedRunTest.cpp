// The programs stopped by SIGINT or SIGTERM while they decode, encode and
// write: status 1, one line saying so, nothing of the run left behind and an
// earlier output untouched. A batch whose progress reader has gone still
// finishes and cleans up.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ExtractionFixtureTest.h"

extern char** environ;

using namespace extracttest;

namespace {

// A program running beside the test, its standard error in a file; with
// `brokenOutput` its standard output is a pipe nobody reads from.
class RunningProgram {
public:
    RunningProgram(const Scratch& s, const std::string& program, const std::vector<std::string>& args,
                   bool brokenOutput = false)
        : errPath_(s.path("stderr.txt")) {
        std::vector<std::string> strings{clitest::builtProgram(program)};
        strings.insert(strings.end(), args.begin(), args.end());
        std::vector<std::string> env{"TMP=" + s.tmp()};
        for (char** e = environ; *e; ++e)
            if (std::string(*e).compare(0, 4, "TMP=") != 0) env.emplace_back(*e);
        std::vector<char*> argv, envp;
        for (auto& a : strings) argv.push_back(&a[0]);
        for (auto& e : env) envp.push_back(&e[0]);
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        const std::string dir = s.path("");
        int pipeEnds[2] = {-1, -1};
        if (brokenOutput && ::pipe(pipeEnds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            if (brokenOutput && (::close(pipeEnds[0]) != 0 || ::dup2(pipeEnds[1], STDOUT_FILENO) < 0))
                ::_exit(126);
            // A test run started in the background must not pass on ignored signals.
            ::signal(SIGINT, SIG_DFL);
            ::signal(SIGTERM, SIG_DFL);
            const int errFd = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (errFd < 0 || ::dup2(errFd, STDERR_FILENO) < 0 || ::chdir(dir.c_str()) != 0) ::_exit(126);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        if (brokenOutput) {
            ::close(pipeEnds[0]);
            ::close(pipeEnds[1]);
        }
    }
    ~RunningProgram() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }

    bool started() const { return pid_ > 0; }
    // Whether the process is still running.
    bool running() {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == 0) return true;
        waited_ = true;
        status_ = status;
        return false;
    }
    void signal(int sig) const { ::kill(pid_, sig); }
    int wait() {
        if (!waited_) {
            while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
            }
            waited_ = true;
        }
        return status_;
    }
    std::string err() const { return readFile(errPath_); }

private:
    std::string errPath_;
    pid_t pid_ = -1;
    bool waited_ = false;
    int status_ = 0;
};

long long fileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

// Polls `ready` every half millisecond while the run lasts; sends `sig` as
// soon as it holds. False when the run ended first (or took over a minute).
bool signalWhen(RunningProgram& run, const std::function<bool()>& ready, int sig) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (run.running() && std::chrono::steady_clock::now() < deadline) {
        if (ready()) {
            run.signal(sig);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return false;
}

constexpr int kSide = 2400;

class InterruptedRun : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        scratch_ = new Scratch;
        input_ = scratch_->makeImage("big", texturedPicture(kSide, kSide, 3), 4);
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }

    // Runs an extraction of the whole image at full resolution over an
    // earlier output, sends `sig` once `ready` holds and checks that the run
    // ends as interrupted with nothing of it left behind.
    void interruptWhen(const std::function<bool()>& ready, int sig) {
        const std::string half = std::to_string(kSide / 2), side = std::to_string(kSide);
        interruptWhen("wavra-extract", "kept.wvr",
                      {"-x", half, "-y", half, "-w", side, "-h", side, "-s", "0", "-n", "4"}, ready, sig);
    }

    // The same for `program` run with -quiet -i on the input (its raw image
    // for wavra-encode), -o on `outputName` and `more`.
    void interruptWhen(const std::string& program, const std::string& outputName,
                       const std::vector<std::string>& more, const std::function<bool()>& ready, int sig) {
        const Scratch& s = *scratch_;
        const std::string output = s.path(outputName);
        writeFile(output, "an earlier result");
        const std::vector<std::string> before = s.entries("");
        std::vector<std::string> args{"-quiet", "-i", program == "wavra-encode" ? s.path("big.bip") : input_,
                                      "-o", output};
        args.insert(args.end(), more.begin(), more.end());
        RunningProgram run(s, program, args);
        ASSERT_TRUE(run.started());
        ASSERT_TRUE(signalWhen(run, ready, sig))
            << "the run ended before it could be interrupted: " << run.err();
        expectInterrupted(run, before, output);
        ::unlink(output.c_str());
    }

    // Waits for a run that was just sent a signal: it ends within half a
    // second as interrupted, leaving TMP empty, the folder as it was before
    // the run and the earlier output untouched. With `atAnyMoment` the
    // signal may also have come before the run began to make files (while
    // the program starts, when the signal still has its default action and
    // ends the process) or after its output was complete (the run then
    // succeeds, its output written in full).
    static void expectInterrupted(RunningProgram& run, const std::vector<std::string>& before,
                                  const std::string& output, bool atAnyMoment = false) {
        const Scratch& s = *scratch_;
        const auto sent = std::chrono::steady_clock::now();
        const int status = run.wait();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
        EXPECT_LT(seconds, 0.5 * sanitizerSlowdown());
        const bool killedBeforeItBegan =
            atAnyMoment && WIFSIGNALED(status) && (WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGTERM);
        ASSERT_TRUE(WIFEXITED(status) || killedBeforeItBegan) << "ended by signal " << WTERMSIG(status);
        if (atAnyMoment && WIFEXITED(status) && WEXITSTATUS(status) == 0 && run.err().empty()) {
            EXPECT_EQ(readFile(output).compare(0, 4, "wvra"), 0);
            EXPECT_EQ(s.entries("tmp"), std::vector<std::string>());
            return;
        }
        if (!killedBeforeItBegan) {
            EXPECT_EQ(WEXITSTATUS(status), 1);
            EXPECT_EQ(run.err(), "Interrupted.\n");
        }
        ::unlink(s.path("stderr.txt").c_str());
        EXPECT_EQ(s.entries("tmp"), std::vector<std::string>());
        EXPECT_EQ(s.entries(""), before);
        EXPECT_EQ(readFile(output), "an earlier result");
    }

    // Files of the run in TMP with the given extension ("" for bare names).
    static std::vector<std::string> tmpFiles(const std::string& extension) {
        std::vector<std::string> found;
        for (const std::string& name : scratch_->entries("tmp")) {
            const size_t dot = name.rfind('.');
            const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
            if (ext == extension) found.push_back(scratch_->tmp() + "/" + name);
        }
        return found;
    }

    static Scratch* scratch_;
    static std::string input_;
};

Scratch* InterruptedRun::scratch_ = nullptr;
std::string InterruptedRun::input_;

TEST_F(InterruptedRun, sigintWhileDecodingRemovesTheRawFileAndHeader) {
    const long long full = 3LL * kSide * kSide;
    interruptWhen(
        [] {
            const std::vector<std::string> raw = tmpFiles("bip");
            if (raw.empty()) return false;
            const long long size = fileSize(raw.front());
            return size > 0 && size < full / 2;
        },
        SIGINT);
}

// The encoder has begun its subband files: the reserved name is bare too,
// but only subband data makes a bare file non-empty.
bool subbandFilesBegun() {
    for (const std::string& bare : InterruptedRun::tmpFiles(""))
        if (fileSize(bare) > 0) return true;
    return false;
}

// The output is being written beside its final name.
bool stagedOutputBegun() {
    for (const std::string& name : InterruptedRun::scratch_->entries(""))
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0 &&
            fileSize(InterruptedRun::scratch_->path(name)) > 0)
            return true;
    return false;
}

TEST_F(InterruptedRun, sigtermWhileEncodingRemovesSubbandFilesAndTheRawImage) {
    interruptWhen(subbandFilesBegun, SIGTERM);
}

TEST_F(InterruptedRun, sigintWhileWritingRemovesTheUnfinishedOutput) {
    interruptWhen(stagedOutputBegun, SIGINT);
}

TEST_F(InterruptedRun, theEncoderAndDecoderProgramsStopTheSameWayAndKeepTheEarlierOutput) {
    interruptWhen("wavra-encode", "kept.wvr", {}, subbandFilesBegun, SIGTERM);
    interruptWhen("wavra-decode", "kept.png", {}, stagedOutputBegun, SIGINT);
    interruptWhen("wavra-decode", "kept.bip", {"-threads", "1"}, stagedOutputBegun, SIGTERM);
}

// SIGTERM and SIGINT at random moments of a run: whatever it was doing, it
// stops the same way, fast.
TEST_F(InterruptedRun, signalsAtRandomMomentsStopTheRunWithinHalfASecond) {
    const Scratch& s = *scratch_;
    const std::string output = s.path("kept.wvr");
    const std::string half = std::to_string(kSide / 2), side = std::to_string(kSide);
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> delay(20, 1500);
    for (int k = 0; k < 4; ++k) {
        ::unlink(s.path("stderr.txt").c_str());  // left by a run that finished first
        writeFile(output, "an earlier result");
        const std::vector<std::string> before = s.entries("");
        RunningProgram run(s, "wavra-extract",
                           {"-quiet", "-i", input_, "-o", output, "-x", half, "-y", half, "-w", side, "-h",
                            side, "-s", "0", "-n", "4"});
        ASSERT_TRUE(run.started());
        const int ms = delay(random);
        SCOPED_TRACE("after " + std::to_string(ms) + " ms");
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        if (!run.running()) continue;  // finished first: nothing to stop
        run.signal(k % 2 ? SIGINT : SIGTERM);
        expectInterrupted(run, before, output, true);
    }
}

// A batch run's progress goes to a pipe whose reader died (a cluster
// worker that was killed): writing it must not kill the run halfway with
// its temporary files left in TMP.
TEST_F(InterruptedRun, aBatchWhoseProgressReaderHasGoneFinishesAndLeavesNothingBehind) {
    const Scratch& s = *scratch_;
    writeFile(s.path("sheets.txt"),
              "-o sheet1.wvr -x 600 -y 600 -w 256 -h 256 -s 0 -n 3\n"
              "-o sheet2.wvr -x 1800 -y 1800 -w 256 -h 256 -s 1 -n 3\n");
    RunningProgram run(s, "wavra-extract", {"-batch", "sheets.txt", "-i", input_}, true);
    ASSERT_TRUE(run.started());
    const int status = run.wait();
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << run.err();
    EXPECT_GT(fileSize(s.path("sheet1.wvr")), 0);
    EXPECT_GT(fileSize(s.path("sheet2.wvr")), 0);
    EXPECT_EQ(s.entries("tmp"), std::vector<std::string>());
    for (const char* name : {"sheets.txt", "sheet1.wvr", "sheet2.wvr", "stderr.txt"})
        ::unlink(s.path(name).c_str());
}

}  // namespace
