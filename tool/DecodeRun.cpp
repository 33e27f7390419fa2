#include "tool/DecodeRun.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "tool/CommandLine.h"
#include "tool/FileNames.h"
#include "tool/InterruptSignals.h"
#include "tool/PngWriter.h"
#include "tool/PnmWriter.h"
#include "tool/ProgressPrinter.h"
#include "tool/StagedOutput.h"
#include "wavra/wavra.h"

namespace {

const char* const kUnknownFormat = "Error: the output name must end in .bip, .png, .ppm or .pgm.";

// Six lines in world-file order: pixel width, the two rotations, pixel
// height (negative: rows go south), and the centre of the upper-left pixel.
void writeWorldFile(const std::string& file, const wavra::GeoReference& geo) {
    std::FILE* f = std::fopen(file.c_str(), "w");
    if (!f) wavra::throwWriteError(file);
    const double values[6] = {geo.xPixelSize, geo.yRotation,  geo.xRotation,
                              geo.yPixelSize, geo.upperLeftX, geo.upperLeftY};
    bool ok = true;
    for (double v : values) ok = std::fprintf(f, "%.15f\n", v) > 0 && ok;
    ok = std::ferror(f) == 0 && ok;
    if (std::fclose(f) != 0 || !ok) wavra::throwWriteError(file);
}

// Decodes the region into a row writer (PngWriter or PnmWriter).
template <typename Writer>
void decodeInto(const wavra::Reader& input, const wavra::Region& region, const wavra::Progress& progress,
                Writer& writer) {
    input.readRegion(
        region,
        [&writer](const uint8_t* rows, int count, size_t rowBytes) {
            writer.writeRows(rows, count, int64_t(rowBytes));
        },
        progress);
    writer.finish();
}

// Writes the output (and its companion files) under the names `output` gives.
void writeOutput(const DecodeOptions& o, const wavra::Reader& input, const wavra::Region& region,
                 const wavra::Progress& progress, StagedOutput& output) {
    const DecodeFormat format = decodeFormatOf(o.output);
    const wavra::Window window = input.regionWindow(region);
    const int bands = input.bandsFor(wavra::SampleLayout::GreyOrRGB);
    const std::string& file = output.writeName();
    switch (format) {
        case DecodeFormat::RawBip:
            output.companion("hdr");
            input.readRegionToRawFile(region, file, nullptr, wavra::kBottomRight, progress);
            break;
        case DecodeFormat::Png: {
            PngWriter writer(file, window.width, window.height, bands);
            decodeInto(input, region, progress, writer);
            const wavra::GeoReference geo = input.regionGeoReference(region);
            if (geo.present) writeWorldFile(output.companion("pgw"), geo);
            break;
        }
        case DecodeFormat::Ppm:
        case DecodeFormat::Pgm: {
            PnmWriter writer(file, window.width, window.height, format == DecodeFormat::Ppm, bands);
            decodeInto(input, region, progress, writer);
            break;
        }
        case DecodeFormat::Unknown:
            throw wavra::Error(kUnknownFormat);
    }
}

}  // namespace

DecodeFormat decodeFormatOf(const std::string& output) {
    std::string ext = extensionOf(output);
    for (char& c : ext) c = char(std::tolower((unsigned char)c));
    if (ext == "bip") return DecodeFormat::RawBip;
    if (ext == "png") return DecodeFormat::Png;
    if (ext == "ppm") return DecodeFormat::Ppm;
    if (ext == "pgm") return DecodeFormat::Pgm;
    return DecodeFormat::Unknown;
}

std::string decodeUsageText() {
    return "Usage: wavra-decode -i INPUT -o OUTPUT [-s scale] [-x x0 -y y0 -w width -h height | -icon] "
           "[-threads N] [-quiet]\n"
           "  -i INPUT      Wavra image file to read\n"
           "  -o OUTPUT     .bip (raw BIP with .hdr), .png (with .pgw when georeferenced), .ppm or .pgm\n"
           "  -s scale      0 full resolution, each step halves (default 0)\n"
           "  -x, -y        centre of the region in full-resolution pixels\n"
           "  -w, -h        size of the region at the scale (default: the whole image at the scale)\n"
           "  -icon         the whole image at its coarsest scale\n"
           "  -threads N    decoding threads, 1 to 256 (default: the online cores, fewer for a small region)\n"
           "  -quiet        no progress output\n";
}

bool parseDecodeCommandLine(int argc, const char* const* argv, DecodeOptions& o) {
    bool hasInput = false, hasOutput = false;
    int regionValues = 0;
    bool seen[4] = {false, false, false, false};
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strcmp(a, "-icon") == 0) {
            o.icon = true;
            continue;
        }
        if (std::strcmp(a, "-quiet") == 0) {
            o.quiet = true;
            continue;
        }
        if (!next) return false;
        if (std::strcmp(a, "-i") == 0) {
            o.input = next;
            hasInput = true;
        } else if (std::strcmp(a, "-o") == 0) {
            o.output = next;
            hasOutput = true;
        } else if (std::strcmp(a, "-s") == 0) {
            o.scale = parseInteger(next);
        } else if (std::strcmp(a, "-threads") == 0) {
            o.threads = parseInteger(next);
            if (o.threads < 1 || o.threads > 256) return false;
        } else {
            static const char* const names[4] = {"-x", "-y", "-w", "-h"};
            int32_t* const targets[4] = {&o.x0, &o.y0, &o.width, &o.height};
            int k = 0;
            while (k < 4 && std::strcmp(a, names[k]) != 0) ++k;
            if (k == 4) return false;
            *targets[k] = parseInteger(next);
            seen[k] = true;
        }
        ++i;
    }
    for (bool s : seen) regionValues += s;
    o.region = regionValues == 4;
    if (!hasInput || !hasOutput) return false;
    if (regionValues != 0 && regionValues != 4) return false;
    return !(o.icon && o.region);
}

void runDecode(const DecodeOptions& o, std::FILE* progressStream) {
    if (decodeFormatOf(o.output) == DecodeFormat::Unknown) throw wavra::Error(kUnknownFormat);
    wavra::Reader input = wavra::Reader::open(o.input);
    input.setThreads(o.threads);
    // Icon, scale, centre and size; without either the whole image at the scale.
    const wavra::Region region{o.icon, o.scale, o.x0, o.y0, o.width, o.height, !o.region && !o.icon};
    input.regionWindow(region);  // a region the file cannot deliver fails before any file is made
    ProgressPrinter progress(progressStream);
    // The output is written beside its name and moved there once complete,
    // so a failed or stopped run leaves an earlier one as it was. SIGINT and
    // SIGTERM stop the decoding at its next progress report.
    InterruptWindow interrupts;
    interrupts.arm();
    StagedOutput output(o.output);
    try {
        writeOutput(o, input, region, progressUntilInterrupted(o.quiet ? nullptr : &progress), output);
        throwIfInterrupted();
        output.commit();
    } catch (const std::exception& e) {
        if (!o.quiet) progress.abandon();
        throw wavra::Error(interruptRequested() ? kInterruptedMessage : output.tellAsOutput(e.what()));
    }
    if (!o.quiet) progress.finish();
}
