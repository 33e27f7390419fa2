// wavra-decode: writes one region of a Wavra image as a raw BIP file, a PNG
// or a binary PNM.
//
//   wavra-decode -i INPUT -o OUTPUT [-s scale] [-x x0 -y y0 -w width -h height | -icon] [-threads N]
//                [-quiet]

#include <cstdio>
#include <cstring>
#include <exception>

#include "tool/DecodeRun.h"
#include "tool/InterruptSignals.h"
#include "tool/MemoryReuse.h"
#include "wavra/diagnostics.h"

int main(int argc, char** argv) {
    ignoreWriteFailureSignals();
    keepFreedMemoryForReuse();
    wavra::setDiagnosticHandler([](const std::string& text) { std::fputs(text.c_str(), stderr); });
    DecodeOptions options;
    if (!parseDecodeCommandLine(argc, argv, options)) {
        std::fputs(decodeUsageText().c_str(), stderr);
        return 1;
    }
    try {
        runDecode(options, stderr);
        return 0;
    } catch (const std::exception& e) {
        printFailure(e.what());
    } catch (...) {
        printFailure("Unknown exception encountered.");
    }
    return 1;
}
