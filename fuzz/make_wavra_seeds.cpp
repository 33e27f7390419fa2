// Writes small Wavra files for the Wavra file fuzz target with the project's
// own encoder: grey and RGB pictures with a georeferenced raw header,
// encoded at a few level counts.
//
//   make_wavra_seeds OUTPUT_FOLDER

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/Exception.h"
#include "core/FileSpecification.h"
#include "encoder/codec/ImageEncoder.h"
#include "encoder/rawimage/BBBImage.h"

namespace fs = std::filesystem;

namespace {

struct Picture {
    const char* name;
    int width, height, bands, levels;
};

// A raw BIP file with its header, holding shaded rings and a grid.
void writeRaw(const fs::path& raw, const Picture& p) {
    std::vector<unsigned char> samples;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int b = 0; b < p.bands; ++b) {
                double r = std::hypot(x - p.width / 2.0, y - p.height / 3.0);
                int v = int(128 + 100 * std::sin(r / 3.0 + b)) + ((x % 16 == 0 || y % 16 == 0) ? 40 : 0);
                samples.push_back(static_cast<unsigned char>(std::min(255, std::max(0, v))));
            }
    FILE* out = std::fopen(raw.c_str(), "wb");
    if (!out) return;
    std::fwrite(samples.data(), 1, samples.size(), out);
    std::fclose(out);
    FILE* header = std::fopen(fs::path(raw).replace_extension("hdr").c_str(), "w");
    if (!header) return;
    std::fprintf(header, "LAYOUT BIP\nNROWS %d\nNCOLS %d\nNBANDS %d\nNBITS 8\nULXMAP 500000.0\nULYMAP 4100000.0\n"
                         "XDIM 2.5\nYDIM 2.5\n",
                 p.height, p.width, p.bands);
    std::fclose(header);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_wavra_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    const fs::path out = argv[1];
    const fs::path work = out / "work";
    fs::create_directories(work);
    const Picture pictures[] = {
        {"enc_grey_n1", 40, 30, 1, 1},
        {"enc_rgb_n2", 48, 40, 3, 2},
        {"enc_grey_n3", 70, 60, 1, 3},
    };
    int failures = 0;
    for (const Picture& p : pictures) {
        const fs::path raw = work / (std::string(p.name) + ".bip");
        writeRaw(raw, p);
        try {
            BBBImage image{Lumetra::FileSpecification(raw.string())};
            Lumetra::FileSpecification tempDir(work.string());
            ImageEncoder encoder(image, p.levels, 512, 0.6f, &tempDir, nullptr, nullptr, 4.0f, 2.0f, true, 0.25f);
            encoder.setWriteWorldFile(false);
            encoder.encode(Lumetra::FileSpecification((out / (std::string(p.name) + ".wvr")).string()));
        } catch (const Error& e) {
            std::fprintf(stderr, "%s: %s\n", p.name, e.message());
            ++failures;
        } catch (const Lumetra::Exception& e) {
            std::fprintf(stderr, "%s: %s\n", p.name, e.what());
            ++failures;
        }
    }
    fs::remove_all(work);
    // A seed that cannot be made leaves the corpus smaller, not the build broken.
    if (failures) std::fprintf(stderr, "make_wavra_seeds: %d seed(s) not made\n", failures);
    return 0;
}
