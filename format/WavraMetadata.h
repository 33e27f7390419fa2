#pragma once
// The metadata of an open Wavra file as a collection of MetadataElements
// keyed by tag name (lookups take the first of a name).

#include <memory>
#include <string>
#include <vector>

#include "format/MetadataElement.h"
#include "wavra/byte_source.h"

namespace Lumetra {

class TagStore;
class WavraMetadataImp;

class WavraMetadata {
public:
    // An empty collection.
    WavraMetadata();
    // Reads the metadata block of the file with `levels` wavelet levels from
    // its bytes; a missing or damaged block gives an empty collection.
    WavraMetadata(const std::shared_ptr<wavra::ByteSource>& file, int levels);
    // Converts the tags of a store (all slots but the first and the last).
    explicit WavraMetadata(const TagStore& store);
    ~WavraMetadata();
    WavraMetadata(const WavraMetadata& other);
    WavraMetadata& operator=(const WavraMetadata& other);

    // The first element of that name, or a default (empty) element.
    const MetadataElement& get(const std::string& name) const;
    bool has(const std::string& name) const;
    bool isEmpty() const;
    size_t size() const;
    const std::vector<MetadataElement>& elements() const;

private:
    std::unique_ptr<WavraMetadataImp> imp_;
};

// Converts tag-store slots in slot order, leaving out the first and the last
// slot, into `out`. Stops at the first tag whose shape breaks the element
// rules or whose value count disagrees with its dimensions; the elements
// converted before it stay.
void convertTags(const TagStore& store, std::vector<MetadataElement>& out);

}  // namespace Lumetra
