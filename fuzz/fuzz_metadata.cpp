// A metadata block on its own: the input is placed after a minimal
// zero-level file head whose marker and offset point at it, read into a
// WavraMetadata, and every element is read back as the file properties and
// the decoder would read them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/ByteSources.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "format/FileLayout.h"
#include "format/MetadataTypes.h"
#include "format/WavraMetadata.h"

using namespace Lumetra;

namespace {

// With L = 0: the marker, then the big-endian offset of the block.
constexpr size_t kMarkerOffset = size_t(FileLayout::headerEndAt(0));
constexpr size_t kBlockOffset = kMarkerOffset + 2 + 4;

volatile double sink;

void readBack(const WavraMetadata& metadata) {
    for (const MetadataElement& element : metadata.elements()) {
        for (int32_t row = 0; row < element.height(); ++row)
            for (int32_t column = 0; column < element.width(); ++column) {
                const MetadataElement::Cell& cell = element.cell(row, column);
                if (cell.type == TypeText)
                    sink = static_cast<double>(cell.text.size());
                else
                    try {
                        sink = element.toDouble(row, column);
                    } catch (const Exception&) {
                    }
            }
    }
    for (const char* name :
         {Tag::XY_ORIGIN, Tag::X_RESOLUTION, Tag::COLOR_SCHEME, Tag::INPUT_LUT, Tag::NO_DATA_VALUE,
          Tag::DATA_TYPE, Tag::BITS_PER_SAMPLE, Tag::DYNAMIC_RANGE_WINDOW}) {
        const MetadataElement& element = metadata.get(name);
        if (!element.isEmpty() && element.width() > 0 && element.height() > 0) try {
                sink = element.toDouble(0, 0);
            } catch (const Exception&) {
            }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(kBlockOffset, 0);
    file[kMarkerOffset] = FileLayout::kMarker;
    file[kMarkerOffset + 1] = FileLayout::kHeaderEnd;
    file[kMarkerOffset + 5] = static_cast<uint8_t>(kBlockOffset);
    file.insert(file.end(), data, data + size);
    try {
        WavraMetadata metadata(std::make_shared<MemoryByteSource>(file.data(), file.size()), 0);
        readBack(metadata);
        WavraMetadata copy = metadata;
        (void)copy.has(Tag::NO_DITHER);
    } catch (const Exception&) {
    } catch (const Error&) {
    }
    return 0;
}
