#pragma once
// Runs a built program as a child process and captures what it writes to
// standard output and standard error (separately) and its exit status.

#include <string>
#include <vector>

namespace clitest {

struct ProcessResult {
    bool exited = false;  // ended by exit rather than by a signal
    int status = -1;      // exit status when `exited`, else the signal number
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::string argv0;                     // argv[0]; the program path when empty
    std::vector<std::string> environment;  // "NAME=value" set, or "NAME" removed, in the child
    std::string workingDirectory;          // the child's current directory when not empty
};

// The path of an executable built into the folder named by WAVRA_BIN_DIR.
std::string builtProgram(const std::string& name);

// Runs `program` with `args` (not counting argv[0]) and waits for it.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options = ProcessOptions());

}  // namespace clitest
