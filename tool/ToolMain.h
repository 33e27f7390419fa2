#pragma once
// The program's entry: the diagnostic stream, the guarded block around
// parsing and the chosen mode, and the mapping of failures to messages.

#include <cstdio>
#include <functional>

#include "tool/TemporaryRunFiles.h"

// The whole program on argv; returns the exit status (0 done, 1 failed).
int runTool(int argc, const char* const* argv);
// The same with the listing and a batch's progress written to `out` and all
// diagnostics to `err`.
int runTool(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

// Runs `body` guarded: a wavra::Error (what() is the message), another
// standard exception or anything else thrown is reported on `err` as one line, after the run's
// raw file and header were deleted, and 1 is returned; after SIGINT or
// SIGTERM the line is kInterruptedMessage instead. Otherwise returns what
// `body` returns.
int runGuarded(const std::function<int()>& body, const TemporaryRunFiles& temporaries, std::FILE* err);
