#include "format/WavraMetadata.h"

#include <cstring>

#include "core/Exception.h"
#include "core/FileBuffer.h"
#include "format/BigEndian.h"
#include "format/FileLayout.h"
#include "format/TagStore.h"

namespace Lumetra {

class WavraMetadataImp {
public:
    std::vector<MetadataElement> elements;
};

namespace {

const MetadataElement& missingElement() {
    static const MetadataElement empty;
    return empty;
}

// One slot as an element, or false when its shape or count is not sound.
bool convertSlot(const TagSlot& s, std::vector<MetadataElement>& out) {
    uint64_t width, height;
    if (s.dimCount == 0) {
        // Never written; read as one value or a row of values.
        width = s.count;
        height = 1;
    } else if (s.dimCount == 1) {
        width = s.dims[0];
        height = 1;
    } else {
        width = s.dims[0];
        height = s.dims[1];
    }
    if (width * height != s.count) return false;
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
    int dimensionality;
    if (s.dimCount == 2)
        dimensionality = height == 1 ? MetadataElement::Array : MetadataElement::Table;
    else
        dimensionality = width == 1 ? MetadataElement::Single : MetadataElement::Array;
    MetadataElement element(s.name, dimensionality, int32_t(width), int32_t(height));
    for (uint64_t i = 0; i < s.count; ++i) {
        const int32_t row = int32_t(i / width), column = int32_t(i % width);
        if (s.type == TypeText)
            element.setText(row, column, i < s.texts.size() ? s.texts[i] : std::string());
        else
            element.setNumber(row, column, s.type, i < s.numbers.size() ? s.numbers[i] : 0.0);
    }
    out.push_back(std::move(element));
    return true;
}

}  // namespace

void convertTags(const TagStore& store, std::vector<MetadataElement>& out) {
    for (int i = 0; i < store.slotCount(); ++i) {
        const TagSlot& s = store.slot(i);
        if (s.isFree() || s.name == Tag::SOM || s.name == Tag::EOM) continue;
        try {
            if (!convertSlot(s, out)) return;
        } catch (const Exception&) {
            return;
        }
    }
}

WavraMetadata::WavraMetadata() : imp_(new WavraMetadataImp) {}

WavraMetadata::WavraMetadata(const TagStore& store) : WavraMetadata() { convertTags(store, imp_->elements); }

WavraMetadata::WavraMetadata(const std::shared_ptr<wavra::ByteSource>& file, int levels) : WavraMetadata() {
    // A missing marker, an unreadable offset or a damaged block leaves the
    // collection empty; the file still opens.
    FileBuffer in(file);
    const int64_t markerAt = FileLayout::headerEndAt(levels);
    uint8_t b[6];
    if (in.seek(markerAt, SEEK_SET) != markerAt || in.read(b, 2) != 2 || b[0] != FileLayout::kMarker ||
        b[1] != FileLayout::kHeaderEnd)
        return;
    if (in.read(b + 2, 4) != 4) return;
    const int64_t offset = getU32(b + 2);
    TagStore store;
    if (in.seek(offset, SEEK_SET) != offset || store.read(in) != TagOk) return;
    convertTags(store, imp_->elements);
}

WavraMetadata::~WavraMetadata() = default;

WavraMetadata::WavraMetadata(const WavraMetadata& other) : imp_(new WavraMetadataImp(*other.imp_)) {}

WavraMetadata& WavraMetadata::operator=(const WavraMetadata& other) {
    if (this != &other) *imp_ = *other.imp_;
    return *this;
}

const MetadataElement& WavraMetadata::get(const std::string& name) const {
    for (const MetadataElement& e : imp_->elements)
        if (e.name() == name) return e;
    return missingElement();
}

bool WavraMetadata::has(const std::string& name) const { return !get(name).isEmpty(); }
bool WavraMetadata::isEmpty() const { return imp_->elements.empty(); }
size_t WavraMetadata::size() const { return imp_->elements.size(); }
const std::vector<MetadataElement>& WavraMetadata::elements() const { return imp_->elements; }

}  // namespace Lumetra
