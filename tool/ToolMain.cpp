#include "tool/ToolMain.h"

#include <exception>

#include "core/Error.h"
#include "core/Exception.h"
#include "format/InformationListing.h"
#include "imaging/transform/TransformerRegistry.h"
#include "tool/CommandLine.h"
#include "tool/ExtractionRun.h"

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
    // The image buffers find their colour conversions in this registry.
    Lumetra::registerStandardFactories();
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
                Lumetra::printInformationListing(values.input, out);
                std::fflush(out);
                return 0;
            }
            runExtraction(values, temporaries);
            return 0;
        },
        temporaries, err);
}

int runTool(int argc, const char* const* argv) { return runTool(argc, argv, stdout, stderr); }
