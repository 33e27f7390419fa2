// A Wavra file from arbitrary bytes: opened as a WavraFile, its information
// listing printed to a sink, its properties read, and the blocks of every
// subband walked with their payloads read. When the region decoder is in
// the tree, the icon and small regions at the finest and the coarsest scale
// are decoded into a raw-file buffer on a temporary name as well.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "FuzzScratch.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "format/DBInfo.h"
#include "format/InformationListing.h"
#include "format/WavraFile.h"

#if __has_include("decoder/WavraNavigator.h")
#include "FuzzDecode.h"
#define FUZZ_DECODE 1
#endif

using namespace Lumetra;

namespace {

// Blocks visited per input, so that one input cannot make the walk hang.
constexpr int kMaxBlocks = 4096;

volatile double sink;

void readProperties(const WavraFile& file) {
    sink = file.width() + file.height() + file.bands() + file.levels() + file.version()[0];
    sink = file.xResolution() + file.yResolution() + file.xOrigin() + file.yOrigin();
    sink = file.xRotation() + file.yRotation() + file.dither() + double(file.noDataValue().size());
    sink = file.colorScheme().colorSpace + file.colorScheme().bands + file.pixelDescription().bands;
    sink = file.colorLookUpTable().entryCount();
    sink = double(file.metadata().size());
}

// Walks the blocks of every subband over the whole subband, reading each
// header and each code-block's bytes, as the decoder would.
void walkBlocks(const WavraFile& file) {
    DBInfo& db = file.blockDatabase();
    int visited = 0;
    for (int s = 0; s < db.subbandCount(); ++s) {
        // Subband s > 0 belongs to level (s - 1) / 3 counted from the coarsest.
        const int level = s == 0 ? db.levels() : db.levels() - (s - 1) / 3;
        const int32_t w = std::max<int32_t>(1, int32_t((int64_t(db.width()) + (int64_t(1) << level) - 1) >> level));
        const int32_t h = std::max<int32_t>(1, int32_t((int64_t(db.height()) + (int64_t(1) << level) - 1) >> level));
        for (auto it = db.iterator(s, 0, w - 1, 0, h - 1); !it->done(); it->next()) {
            const DBInfo::BlockHeader* header = it->current();
            for (int b = 0; b < header->bandCount(); ++b) {
                if (!header->hasData(b)) continue;
                for (int k = 0; k < header->codeBlockCount(b); ++k) {
                    size_t size = 0;
                    const uint8_t* bytes = it->readPayload(b, k, &size);
                    if (bytes && size) sink = bytes[size - 1];
                }
            }
            if (++visited >= kMaxBlocks) return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::scratchPath("image.wvr");
    static FILE* null = std::fopen("/dev/null", "w");
    fuzz::writeFile(path, data, size);
    try {
        printInformationListing(FileSpecification(path), null);
    } catch (const Exception&) {
    } catch (const Error&) {
    }
    try {
        WavraFile file{FileSpecification(path)};
        readProperties(file);
        walkBlocks(file);
#ifdef FUZZ_DECODE
        fuzz::fuzzDecode(file);
#endif
    } catch (const Exception&) {
    } catch (const Error&) {
    }
    return 0;
}
