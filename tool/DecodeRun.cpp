#include "tool/DecodeRun.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

#include "core/Error.h"
#include "core/Exception.h"
#include "decoder/WavraNavigator.h"
#include "format/WavraFile.h"
#include "tool/CommandLine.h"
#include "tool/DecodeRegion.h"
#include "tool/PngWriter.h"
#include "tool/PnmWriter.h"
#include "tool/ProgressPrinter.h"

namespace {

const char* const kUnknownFormat = "Error: the output name must end in .bip, .png, .ppm or .pgm.";

// Removes the files a failed decode began, unless disarmed.
class PartialFiles {
public:
    void add(const Lumetra::FileSpecification& file) { files_.push_back(file); }
    void keep() { files_.clear(); }
    ~PartialFiles() {
        for (const auto& f : files_) f.removeQuietly();
    }

private:
    std::vector<Lumetra::FileSpecification> files_;
};

// Six lines in the order pixel width, the two rotations, pixel height
// (negative: rows go south), and the centre of the upper-left pixel.
void writeWorldFile(const Lumetra::FileSpecification& file, const Lumetra::GeoReference& geo) {
    std::FILE* f = file.open("w");
    if (!f) throw WriteError(file);
    const double values[6] = {geo.xPixelSize,  geo.xRotation,  geo.yRotation,
                              -geo.yPixelSize, geo.upperLeftX, geo.upperLeftY};
    bool ok = true;
    for (double v : values) ok = std::fprintf(f, "%.15f\n", v) > 0 && ok;
    ok = std::ferror(f) == 0 && ok;
    if (std::fclose(f) != 0 || !ok) throw WriteError(file);
}

// Decodes the region into a row writer (PngWriter or PnmWriter).
template <typename Writer>
void decodeInto(Lumetra::WavraNavigator& navigator, Writer& writer) {
    decodeToRows(navigator, [&writer](const unsigned char* rows, int count, int64_t rowBytes) {
        writer.writeRows(rows, count, rowBytes);
    });
    writer.finish();
}

void writeOutput(const DecodeOptions& o, Lumetra::WavraNavigator& navigator, PartialFiles& partial) {
    const DecodeFormat format = decodeFormatOf(o.output);
    const Lumetra::Rectangle& region = navigator.support();
    const bool grey = decodedColorSpace(navigator.file()) == Lumetra::ImageBufferInfo::Grayscale;
    const int bands = grey ? 1 : 3;
    switch (format) {
        case DecodeFormat::RawBip:
            partial.add(o.output);
            partial.add(o.output.setExtension("hdr"));
            decodeToRawFile(navigator, o.output, nullptr, Lumetra::WatermarkBottomRight);
            break;
        case DecodeFormat::Png: {
            partial.add(o.output);
            PngWriter writer(o.output, region.width(), region.height(), bands);
            decodeInto(navigator, writer);
            const Lumetra::GeoReference geo = navigator.geoReference();
            if (geo.present) {
                const Lumetra::FileSpecification world = o.output.setExtension("pgw");
                partial.add(world);
                writeWorldFile(world, geo);
            }
            break;
        }
        case DecodeFormat::Ppm:
        case DecodeFormat::Pgm: {
            partial.add(o.output);
            PnmWriter writer(o.output, region.width(), region.height(), format == DecodeFormat::Ppm, bands);
            decodeInto(navigator, writer);
            break;
        }
        case DecodeFormat::Unknown:
            throw Lumetra::Exception(kUnknownFormat);
    }
}

}  // namespace

DecodeFormat decodeFormatOf(const Lumetra::FileSpecification& output) {
    std::string ext = output.extension();
    for (char& c : ext) c = char(std::tolower((unsigned char)c));
    if (ext == "bip") return DecodeFormat::RawBip;
    if (ext == "png") return DecodeFormat::Png;
    if (ext == "ppm") return DecodeFormat::Ppm;
    if (ext == "pgm") return DecodeFormat::Pgm;
    return DecodeFormat::Unknown;
}

std::string decodeUsageText() {
    return "Usage: wavra-decode -i INPUT -o OUTPUT [-s scale] [-x x0 -y y0 -w width -h height | -icon] "
           "[-quiet]\n"
           "  -i INPUT      Wavra image file to read\n"
           "  -o OUTPUT     .bip (raw BIP with .hdr), .png (with .pgw when georeferenced), .ppm or .pgm\n"
           "  -s scale      0 full resolution, each step halves (default 0)\n"
           "  -x, -y        centre of the region in full-resolution pixels\n"
           "  -w, -h        size of the region at the scale (default: the whole image at the scale)\n"
           "  -icon         the whole image at its coarsest scale\n"
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
    if (decodeFormatOf(o.output) == DecodeFormat::Unknown) throw Lumetra::Exception(kUnknownFormat);
    const Lumetra::WavraFile input(o.input, 0);
    Lumetra::WavraNavigator navigator =
        o.region || o.icon ? regionNavigator(input, o.icon, o.scale, o.x0, o.y0, o.width, o.height)
                           : wholeImageNavigator(input, o.scale);
    ProgressPrinter progress(progressStream);
    if (!o.quiet) navigator.setProgressHook([&progress](float f) { progress.update(f); });
    PartialFiles partial;
    try {
        writeOutput(o, navigator, partial);
    } catch (...) {
        if (!o.quiet) progress.abandon();
        throw;
    }
    partial.keep();
    if (!o.quiet) progress.finish();
}
