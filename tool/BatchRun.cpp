#include "tool/BatchRun.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <fstream>
#include <mutex>
#include <system_error>
#include <thread>

#include "tool/ExtractionRun.h"
#include "tool/InterruptSignals.h"
#include "tool/TemporaryRunFiles.h"
#include "wavra/wavra.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The diagnostics of the line a thread runs are collected here; outside a
// line they go straight to the error stream.
thread_local std::string* t_lineDiagnostics = nullptr;

class Batch {
public:
    Batch(const wavra::Reader& input, const CommandLineValues& values, const std::vector<BatchLine>& lines,
          std::FILE* out, std::FILE* err)
        : input_(input), values_(values), lines_(lines), out_(out), err_(err) {}

    // Takes lines until none is left or a stop was requested.
    void work() {
        while (!interruptRequested()) {
            const size_t k = next_++;
            if (k >= lines_.size()) return;
            try {
                runLine(lines_[k]);
            } catch (...) {
                // Only reporting can get here (out of memory): count the line as failed.
                const std::lock_guard<std::mutex> hold(reporting_);
                ++failed_;
            }
        }
    }

    // Writes a diagnostic of the library: into the running line's report,
    // else at once.
    void diagnostic(const std::string& text) {
        if (t_lineDiagnostics) {
            *t_lineDiagnostics += text;
            return;
        }
        const std::lock_guard<std::mutex> hold(reporting_);
        std::fputs(text.c_str(), err_);
        std::fflush(err_);
    }

    size_t written() const { return written_; }
    size_t failed() const { return failed_; }

private:
    void runLine(const BatchLine& line) {
        std::string diagnostics, failure, output;
        t_lineDiagnostics = &diagnostics;
        TemporaryRunFiles temporaries;
        try {
            failure = line.problem;
            if (failure.empty()) {
                CommandLineValues values;
                values.input = values_.input;
                values.hasInput = true;
                failure = parseBatchLine(line.args, values);
                output = values.output;
                if (failure.empty()) runExtraction(input_, values, temporaries);
            }
        } catch (const std::exception& e) {
            failure = e.what();
        } catch (...) {
            failure = "Unknown exception encountered.";
        }
        temporaries.removeRawFiles();
        t_lineDiagnostics = nullptr;
        report(line.number, output, diagnostics, failure);
    }

    void report(size_t number, const std::string& output, const std::string& diagnostics,
                const std::string& failure) {
        const std::lock_guard<std::mutex> hold(reporting_);
        if (!diagnostics.empty()) std::fputs(prefixedLines(number, diagnostics).c_str(), err_);
        if (!failure.empty()) {
            ++failed_;
            // A line stopped by a signal is told by the run's one line.
            if (!interruptRequested()) std::fputs(prefixedLines(number, failure).c_str(), err_);
        } else {
            ++written_;
            if (!values_.quiet)
                std::fprintf(out_, "line %zu: %s written (%zu of %zu)\n", number, output.c_str(),
                             written_ + failed_, lines_.size());
        }
        std::fflush(err_);
        std::fflush(out_);
    }

    const wavra::Reader& input_;
    const CommandLineValues& values_;
    const std::vector<BatchLine>& lines_;
    std::FILE* out_;
    std::FILE* err_;
    std::atomic<size_t> next_{0};
    std::mutex reporting_;  // the streams and the counts below
    size_t written_ = 0, failed_ = 0;
};

// Routes the library's diagnostics into a batch while it lives, and back
// to the error stream after.
class DiagnosticsToBatch {
public:
    DiagnosticsToBatch(Batch& batch, std::FILE* err) : err_(err) {
        wavra::setDiagnosticHandler([&batch](const std::string& text) { batch.diagnostic(text); });
    }
    ~DiagnosticsToBatch() {
        std::FILE* err = err_;
        wavra::setDiagnosticHandler([err](const std::string& text) { std::fputs(text.c_str(), err); });
    }
    DiagnosticsToBatch(const DiagnosticsToBatch&) = delete;
    DiagnosticsToBatch& operator=(const DiagnosticsToBatch&) = delete;

private:
    std::FILE* err_;
};

// Joins the worker threads whatever happens.
class Workers {
public:
    ~Workers() {
        for (std::thread& t : threads_) t.join();
    }
    // Starts up to `count` threads on `body`; returns how many started.
    template <typename Body>
    size_t start(size_t count, Body body) {
        for (size_t k = 0; k < count; ++k) {
            try {
                threads_.emplace_back(body);
            } catch (const std::system_error&) {
                break;  // the threads started do the work
            }
        }
        return threads_.size();
    }

private:
    std::vector<std::thread> threads_;
};

}  // namespace

std::vector<std::string> splitBatchLine(const std::string& text, std::string& problem) {
    std::vector<std::string> args;
    if (text.find('\0') != std::string::npos) {
        problem = "Batch line holds a zero byte";
        return args;
    }
    size_t at = 0;
    while (true) {
        while (at < text.size() && isBlank(text[at])) ++at;
        if (at >= text.size()) break;
        std::string arg;
        bool quoted = false;
        for (; at < text.size() && (quoted || !isBlank(text[at])); ++at) {
            if (text[at] == '"')
                quoted = !quoted;
            else
                arg += text[at];
        }
        if (quoted) {
            problem = "Unmatched quote in batch line";
            return {};
        }
        args.push_back(arg);
    }
    return args;
}

std::vector<BatchLine> readBatchList(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw wavra::Error("Error: cannot read batch list " + path);
    std::vector<BatchLine> lines;
    std::string text;
    for (size_t number = 1; std::getline(in, text); ++number) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        const size_t first = text.find_first_not_of(" \t");
        if (first == std::string::npos || text[first] == '#') continue;
        BatchLine line;
        line.number = number;
        line.args = splitBatchLine(text, line.problem);
        lines.push_back(std::move(line));
    }
    if (in.bad()) throw wavra::Error("Error: cannot read batch list " + path);
    return lines;
}

std::string prefixedLines(size_t number, const std::string& text) {
    const std::string prefix = "line " + std::to_string(number) + ": ";
    std::string out;
    size_t start = 0;
    do {
        const size_t end = text.find('\n', start);
        const size_t stop = end == std::string::npos ? text.size() : end;
        out += prefix + text.substr(start, stop - start) + "\n";
        start = end == std::string::npos ? text.size() + 1 : end + 1;
    } while (start < text.size());
    return out;
}

int runBatch(const CommandLineValues& values, std::FILE* out, std::FILE* err) {
    const std::vector<BatchLine> lines = readBatchList(values.batchList);
    // Header and block tables are read here once; the lines share them.
    wavra::Reader input = wavra::Reader::open(values.input);
    // Lines run side by side decode on one thread each; one line at a time
    // decodes with every core.
    input.setThreads(values.threads > 1 ? 1 : 0);

    Batch batch(input, values, lines, out, err);
    {
        DiagnosticsToBatch diagnostics(batch, err);
        const size_t wanted = std::min(size_t(std::max(values.threads, 1)), lines.size());
        Workers workers;
        if (wanted <= 1 || workers.start(wanted, [&batch] { batch.work(); }) == 0) batch.work();
    }
    if (interruptRequested()) wavra::throwInterrupt();
    if (!values.quiet) {
        std::fprintf(out, "%zu lines: %zu written, %zu failed\n", lines.size(), batch.written(),
                     batch.failed());
        std::fflush(out);
    }
    return batch.failed() == 0 ? 0 : 1;
}
