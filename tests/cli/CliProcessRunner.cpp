#include "CliProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace clitest {

std::string builtProgram(const std::string& name) {
    if (const char* dir = std::getenv("WAVRA_BIN_DIR"))
        if (*dir) return std::string(dir) + "/" + name;
    // Run by hand: the programs sit in bin/ beside the tests/ folder.
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string exe = n > 0 ? std::string(self, size_t(n)) : std::string();
    const size_t slash = exe.find_last_of('/');
    return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) + "/../bin/" + name;
}

namespace {

// The parent's environment with the given settings applied.
std::vector<std::string> childEnvironment(const std::vector<std::string>& settings) {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) env.emplace_back(*e);
    for (const std::string& setting : settings) {
        const std::string name = setting.substr(0, setting.find('='));
        for (auto it = env.begin(); it != env.end();) {
            if (it->compare(0, name.size() + 1, name + "=") == 0)
                it = env.erase(it);
            else
                ++it;
        }
        if (setting.find('=') != std::string::npos) env.push_back(setting);
    }
    return env;
}

// Reads both pipes until both are closed, so neither child stream can fill
// up and block the child.
void drain(int outFd, int errFd, std::string& out, std::string& err) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = 2;
    char chunk[4096];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = ::read(fds[k].fd, chunk, sizeof chunk);
            if (n > 0) {
                sinks[k]->append(chunk, size_t(n));
            } else if (n == 0 || errno != EINTR) {
                fds[k].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
    ProcessResult result;
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0) return result;
    if (::pipe(errPipe) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return result;
    }

    // Everything the child needs is prepared before fork.
    std::vector<std::string> argvStrings;
    argvStrings.push_back(options.argv0.empty() ? program : options.argv0);
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argvStrings) argv.push_back(&s[0]);
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = childEnvironment(options.environment);
    std::vector<char*> envp;
    for (auto& s : envStrings) envp.push_back(&s[0]);
    envp.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        ::close(errPipe[0]);
        ::close(errPipe[1]);
        const int nullIn = ::open("/dev/null", O_RDONLY);
        if (nullIn >= 0) ::dup2(nullIn, STDIN_FILENO);
        if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) ::_exit(126);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (pid < 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return result;
    }
    drain(outPipe[0], errPipe[0], result.out, result.err);
    ::close(outPipe[0]);
    ::close(errPipe[0]);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exited = true;
        result.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.status = WTERMSIG(status);
    }
    return result;
}

}  // namespace clitest
