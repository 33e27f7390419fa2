#pragma once
// A batch run: many extractions from one input file, opened once, each
// described by one line of a text file and run by up to -threads worker
// threads that share the open file.
//
// Reporting: a written line prints "line N: OUTPUT written (K of M)" on the
// output stream unless -quiet (K counts the lines finished so far, M the
// lines of the list); every line of a failed line's message, and of the
// library's diagnostics while it ran, goes to the error stream as
// "line N: TEXT". N is the line's number in the list file, counted from 1
// with blank and comment lines included.

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "tool/CommandLine.h"

// One extraction line of a batch list.
struct BatchLine {
    size_t number = 0;              // in the file, from 1
    std::vector<std::string> args;  // the options, as a single run's argv[1..]
    std::string problem;            // why the line cannot be split ("" when it can)
};

// Splits a line at blanks (spaces, tabs) into arguments; double quotes
// keep blanks inside an argument and are removed (there is no escape).
// An unmatched quote or a zero byte sets `problem`.
std::vector<std::string> splitBatchLine(const std::string& text, std::string& problem);

// Reads a batch list: one extraction a line, blank lines and lines whose
// first non-blank character is "#" skipped, a carriage return before the
// line end ignored. Throws wavra::Error "Error: cannot read batch list
// PATH" when the file cannot be read.
std::vector<BatchLine> readBatchList(const std::string& path);

// "line N: " before every line of `text` (a final line end adds no line);
// one line even for an empty text.
std::string prefixedLines(size_t number, const std::string& text);

// Runs the batch of `values` (-batch LIST, -i, -threads, -quiet): the
// input is opened once, then the lines run, each exactly like a single
// run with its options (own temporary names in TMP, output staged beside
// its name), up to values.threads at once. After SIGINT or SIGTERM no
// further line starts, the lines running stop and remove their files, and
// the run ends with the one line kInterruptedMessage. Unless -quiet a
// summary "M lines: W written, F failed" ends the output stream. Returns 0
// when every line was written, else 1. Throws when the list or the input
// cannot be read (before any line runs).
int runBatch(const CommandLineValues& values, std::FILE* out, std::FILE* err);
