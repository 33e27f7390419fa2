#pragma once
// Runs a piece of benchmark work in a child process, so that its peak
// resident memory can be measured on its own.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "core/Error.h"
#include "core/Exception.h"

namespace bench {

// Runs `work` in a child process; returns the child's peak resident memory
// in KiB, or -1 when the work failed.
template <class F>
long inChild(F work) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        int status = 0;
        try {
            work();
        } catch (const Lumetra::Exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            status = 1;
        } catch (const Error& e) {
            std::fprintf(stderr, "%s\n", e.message());
            status = 1;
        }
        std::fflush(stdout);
        _exit(status);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss;
}

}  // namespace bench
