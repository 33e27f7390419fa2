#pragma once
// The tag store: the table of named, typed values that a metadata block is
// parsed into and written from. It never throws; every operation answers 0
// or a slot index on success and a negative code on failure.

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "format/MetadataTypes.h"

namespace Lumetra {

class FileBuffer;

// Return codes of the tag store.
enum TagStoreCode : int {
    TagOk = 0,
    TagFailed = -1,           // allocation, read or write failed, or no such tag
    TagCannotGrow = -3,       // the table could not grow
    TagInvalid = -4,          // store not valid, or block does not start with FF D1
    TagNewerVersion = -5,     // the block's major version is above 1
    TagMissingArgument = -6,  // a required argument is missing
    TagTooManyDims = -7,      // more than 2 dimensions given when adding
    TagTooManyDimsRead = -8   // more than 2 dimensions found when reading
};

// One slot of the table. A free slot has an empty name and type TypeNone.
// Numeric values of every type are held as doubles (exact for all of them);
// text values in `texts`.
struct TagSlot {
    std::string name;
    int type = TypeNone;
    uint32_t count = 0;
    int dimCount = 0;
    uint32_t dims[2] = {0, 0};
    std::vector<double> numbers;
    std::vector<std::string> texts;

    bool isFree() const { return type == TypeNone && name.empty(); }
};

class TagStore {
public:
    static constexpr int kGrowth = 100;
    static constexpr size_t kMaxNameLength = 99;
    // Most values one block may hold when read from a file, all tags
    // together (the largest tag the system writes, a 65536-entry lookup
    // table, holds 262144); bounds what a block can make a reader allocate.
    static constexpr uint32_t kMaxValuesRead = 1u << 20;

    // A valid store with room for 100 slots, holding IMAGE::SOM.
    TagStore();

    int minorVersion() const { return minor_; }
    bool isValid() const { return valid_; }
    void setValid(bool valid) { valid_ = valid; }
    // Number of live tags.
    int tagCount() const { return count_; }
    // Number of slots (live and free).
    int slotCount() const { return int(slots_.size()); }
    const TagSlot& slot(int index) const { return slots_[size_t(index)]; }

    // Adds a numeric tag; `values` holds `count` numbers of the type's range
    // (count = product of the dimensions). An existing tag of that name is
    // deleted first; the new one takes the first free slot. Returns the slot.
    int addNumbers(const char* name, int type, int dimCount, const uint32_t* dims, const double* values);
    // One value of the given type (a 1 x 1 record).
    int addNumber(const char* name, int type, double value);
    // Adds a text tag of `count` strings (product of the dimensions).
    int addTexts(const char* name, int dimCount, const uint32_t* dims, const char* const* values);
    // Adds a slot as it stands (used by the reader and by copies).
    int addSlot(const TagSlot& slot);

    // Frees the slot of the named tag; -1 when there is none.
    int remove(const char* name);
    // Slot index of the named tag with its dimensions, or -1.
    int find(const char* name, int* dimCount = nullptr, uint32_t* dims = nullptr) const;
    // The named tag's slot, or null.
    const TagSlot* lookUp(const char* name) const;

    // Copies every tag of `other` except IMAGE::SOM and IMAGE::EOM; nothing is
    // copied (TagInvalid) when either store is missing or not valid. Marks
    // this store valid either way.
    int copyFrom(const TagStore* other);

    // Typed adders: each stores its tag's type and shape.
    int addWidth(uint32_t width);
    int addHeight(uint32_t height);
    int addInputName(const char* name);
    int addInputFileSize(double bytes);
    int addBitsPerSample(uint16_t bits);
    int addColorScheme(uint32_t colorSpace);
    int addDataType(uint32_t dataType);
    int addXYOrigin(double x, double y);
    int addXResolution(double resolution);
    int addYResolution(double resolution);
    int addXRotation(double rotation);
    int addYRotation(double rotation);
    int addNoDataValue(const uint8_t* values, int bands);
    int addTransparentDataValue(const uint8_t* values, int bands);
    // A table of `entries` rows of `samplesPerEntry` unsigned 8-bit values.
    int addInputLut(const uint8_t* values, int samplesPerEntry, int entries);
    int addNoDither();
    int addDynamicRangeWindow(double window);
    int addDynamicRangeLevel(double level);
    int addCompressionVersion(const int32_t version[3]);
    int addCreationDate(const char* date);
    int addTargetCompressionRatio(float ratio);
    int addCompressionWeight(float weight);
    int addCompressionKWeight(float weight);
    int addCompressionGamma(float gamma);
    int addCompressionNlev(uint32_t levels);
    int addCompressionBlockSize(uint32_t size);
    int addStartOfMetadata();
    int addEndOfMetadata();

    // Writes FF D1, the versions, every live slot as a record, FF D2.
    int write(FILE* out) const;
    // Reads a block from `in`, positioned at its FF D1 marker, into this
    // store. Sizes read from the block are checked against the bytes left in
    // the file before anything is allocated. Stops with 0 after IMAGE::EOM.
    int read(FileBuffer& in);

private:
    int takeFreeSlot();

    std::vector<TagSlot> slots_;
    std::unordered_map<std::string, int> index_;  // live tag name -> slot
    size_t firstFree_ = 0;                        // no free slot lies below this
    int count_ = 0;
    int major_ = 1;
    int minor_ = 0;
    bool valid_ = true;
};

// Bytes of one value of a numeric type in a block (0 for text and none).
int metadataTypeSize(int type);

}  // namespace Lumetra
