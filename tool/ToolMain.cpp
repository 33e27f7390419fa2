#include "tool/ToolMain.h"

#include <exception>

#include "tool/BatchRun.h"
#include "tool/CommandLine.h"
#include "tool/ExtractionRun.h"
#include "tool/InterruptSignals.h"
#include "wavra/wavra.h"

namespace {

// One failure line; a run stopped by SIGINT or SIGTERM says so, whatever
// the stopped operation threw.
void reportFailure(const char* message, std::FILE* err) {
    std::fprintf(err, "%s\n", interruptRequested() ? kInterruptedMessage : message);
}

// Routes the library's diagnostic lines to `err` while it lives.
class DiagnosticsTo {
public:
    explicit DiagnosticsTo(std::FILE* err) {
        wavra::setDiagnosticHandler([err](const std::string& text) { std::fputs(text.c_str(), err); });
    }
    ~DiagnosticsTo() { wavra::setDiagnosticHandler(nullptr); }
    DiagnosticsTo(const DiagnosticsTo&) = delete;
    DiagnosticsTo& operator=(const DiagnosticsTo&) = delete;
};

}  // namespace

int runGuarded(const std::function<int()>& body, const TemporaryRunFiles& temporaries, std::FILE* err) {
    try {
        return body();
    } catch (const std::exception& e) {
        temporaries.removeRawFiles();
        reportFailure(e.what(), err);
    } catch (...) {
        temporaries.removeRawFiles();
        reportFailure("Unknown exception encountered.", err);
    }
    std::fflush(err);
    return 1;
}

int runTool(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    DiagnosticsTo diagnostics(err);
    // Declared before the temporaries so that the signals stay caught until
    // every file of the run, the reserved names included, is gone.
    InterruptWindow interrupts;
    TemporaryRunFiles temporaries;
    return runGuarded(
        [&]() {
            CommandLineValues values;
            if (parseCommandLine(argc, argv, values, err) != ParseResult::Ok) return 1;
            if (!values.quiet) {
                std::fputs(bannerText().c_str(), err);
                std::fflush(err);
            }
            if (values.misinfo) {
                wavra::printListing(values.input, out);
                std::fflush(out);
                return 0;
            }
            // From here on the run makes files: SIGINT and SIGTERM stop it
            // through the failure path, which removes them.
            interrupts.arm();
            if (values.batch) return runBatch(values, out, err);
            runExtraction(values, temporaries);
            return 0;
        },
        temporaries, err);
}

int runTool(int argc, const char* const* argv) { return runTool(argc, argv, stdout, stderr); }
