#include "tool/ExtractionRun.h"

#include <memory>

#include "tool/InterruptSignals.h"
#include "tool/StagedOutput.h"

void runExtraction(const CommandLineValues& values, TemporaryRunFiles& temporaries) {
    wavra::Reader input = wavra::Reader::open(values.input);
    // A single extraction decodes and encodes with -threads threads, by default the online cores
    // (fewer for a small region).
    input.setThreads(values.hasThreads ? values.threads : 0);
    runExtraction(input, values, temporaries);
}

void runExtraction(const wavra::Reader& input, const CommandLineValues& values,
                   TemporaryRunFiles& temporaries) {
    // Icon, scale, centre and size.
    const wavra::Region region{values.icon, values.scale, values.x0, values.y0, values.width, values.height};
    // A region the file cannot deliver is refused here, before any temporary file.
    input.regionWindow(region);
    std::unique_ptr<wavra::Watermark> watermark;
    if (values.watermark) watermark = std::make_unique<wavra::Watermark>(values.watermarkFile);
    const wavra::Progress untilInterrupted = progressUntilInterrupted();

    temporaries.reserve();
    input.readRegionToRawFile(region, temporaries.rawFile(), watermark.get(), values.watermarkPosition,
                              untilInterrupted);
    throwIfInterrupted();

    // The re-encoding takes the encoder's defaults (block size 512, rate 0.6,
    // dither on, ...) and the requested levels.
    wavra::EncodeParameters parameters;
    parameters.levels = values.nlev;
    // The encoding uses the threads the decoding does: -threads of a single
    // run, one each when a batch runs several lines at once.
    parameters.threads = input.threads();
    // The georeferencing travels in the output's metadata; a world file
    // beside the output would only shadow it or clobber someone else's.
    parameters.writeWorldFile = false;
    StagedOutput output(values.output);
    try {
        wavra::encodeRawFile(temporaries.rawFile(), parameters, output.writeName(), untilInterrupted);
    } catch (const wavra::Error& e) {
        throw wavra::Error(output.tellAsOutput(e.what()));
    }
    // The last moment a signal can stop the run: once committed the output is complete.
    throwIfInterrupted();
    output.commit();
    temporaries.removeRawFiles();
}
