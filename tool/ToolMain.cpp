#include "tool/ToolMain.h"

#include "core/Error.h"
#include "core/Exception.h"
#include "tool/CommandLine.h"
#include "tool/ExtractionRun.h"

#include <exception>

namespace {

// Makes the standard colour-space transformers available to the image buffers.
void registerTransformerFactories() {
    // TODO(wiring): call Lumetra::registerStandardFactories() here once the
    // transformer registry is in the tree.
}

// Prints the -misinfo listing of the input file.
void printListing(const CommandLineValues&, std::FILE*) {
    // TODO(wiring): call Lumetra::printInformationListing(values.input, out)
    // here once the listing is in the tree.
    throw Lumetra::Exception("Error: the information listing is not available in this build.");
}

}  // namespace

int runGuarded(const std::function<int()>& body, const TemporaryRunFiles& temporaries, std::FILE* err) {
    try {
        return body();
    } catch (const Lumetra::Exception& e) {
        temporaries.removeRawFiles();
        std::fprintf(err, "%s\n", e.what());
    } catch (const Error& e) {
        temporaries.removeRawFiles();
        std::fprintf(err, "%s\n", e.message());
    } catch (const std::exception& e) {
        temporaries.removeRawFiles();
        std::fprintf(err, "%s\n", e.what());
    } catch (...) {
        temporaries.removeRawFiles();
        std::fputs("Unknown exception encountered.\n", err);
    }
    std::fflush(err);
    return 1;
}

int runTool(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    registerTransformerFactories();
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
                printListing(values, out);
                std::fflush(out);
                return 0;
            }
            runExtraction(values, temporaries);
            return 0;
        },
        temporaries, err);
}

int runTool(int argc, const char* const* argv) { return runTool(argc, argv, stdout, stderr); }
