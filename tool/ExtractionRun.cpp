#include "tool/ExtractionRun.h"

#include "core/Exception.h"

// Placeholder until the decoder and encoder are joined here.
void runExtraction(const CommandLineValues&, TemporaryRunFiles&) {
    throw Lumetra::Exception("Error: extraction is not available in this build.");
}
