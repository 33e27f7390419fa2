// wavra-decode: writes one region of a Wavra image as a raw BIP file, a PNG
// or a binary PNM.
//
//   wavra-decode -i INPUT -o OUTPUT [-s scale] [-x x0 -y y0 -w width -h height | -icon] [-quiet]

#include <cstdio>
#include <cstring>
#include <exception>

#include "core/Error.h"
#include "core/Exception.h"
#include "wavra/diagnostics.h"
#include "imaging/transform/TransformerRegistry.h"
#include "tool/DecodeRun.h"

namespace {

void printFailure(const char* message) {
    const size_t n = std::strlen(message);
    std::fprintf(stderr, n && message[n - 1] == '\n' ? "%s" : "%s\n", message);
}

}  // namespace

int main(int argc, char** argv) {
    wavra::setDiagnosticHandler([](const std::string& text) { std::fputs(text.c_str(), stderr); });
    // The image buffers find their colour conversions in this registry.
    Lumetra::registerStandardFactories();
    DecodeOptions options;
    if (!parseDecodeCommandLine(argc, argv, options)) {
        std::fputs(decodeUsageText().c_str(), stderr);
        return 1;
    }
    try {
        runDecode(options, stderr);
        return 0;
    } catch (const Lumetra::Exception& e) {
        printFailure(e.what());
    } catch (const Error& e) {
        printFailure(e.message());
    } catch (const std::exception& e) {
        printFailure(e.what());
    } catch (...) {
        printFailure("Unknown exception encountered.");
    }
    return 1;
}
