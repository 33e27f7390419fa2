#include "format/TagStore.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "core/FileBuffer.h"
#include "format/BigEndian.h"
#include "format/FileLayout.h"

namespace Lumetra {

bool isNumericMetadataType(int type) {
    switch (type) {
        case TypeUInt8:
        case TypeUInt16:
        case TypeUInt32:
        case TypeFloat32:
        case TypeFloat64:
        case TypeInt8:
        case TypeInt16:
        case TypeInt32:
            return true;
        default:
            return false;
    }
}

int metadataTypeSize(int type) {
    switch (type) {
        case TypeUInt8:
        case TypeInt8:
            return 1;
        case TypeUInt16:
        case TypeInt16:
            return 2;
        case TypeUInt32:
        case TypeInt32:
        case TypeFloat32:
            return 4;
        case TypeFloat64:
            return 8;
        default:
            return 0;
    }
}

namespace {

// Stored names hold at most 99 characters; a name is looked up by the same cut.
std::string storedName(const char* name) {
    const size_t n = strnlen(name, TagStore::kMaxNameLength);
    return std::string(name, n);
}

uint64_t productOf(int dimCount, const uint32_t* dims) {
    uint64_t n = 1;
    for (int i = 0; i < dimCount; ++i) n *= dims[i];
    return n;
}

// ---- big-endian writing ----

bool putBytes(FILE* out, const void* p, size_t n) { return std::fwrite(p, 1, n, out) == n; }

bool putUnsigned(FILE* out, uint64_t v, int bytes) {
    unsigned char b[8];
    putBigEndian(b, v, bytes);
    return putBytes(out, b, size_t(bytes));
}

bool putValue(FILE* out, int type, double v) {
    switch (type) {
        case TypeUInt8:
            return putUnsigned(out, uint8_t(v), 1);
        case TypeInt8:
            return putUnsigned(out, uint8_t(int8_t(v)), 1);
        case TypeUInt16:
            return putUnsigned(out, uint16_t(v), 2);
        case TypeInt16:
            return putUnsigned(out, uint16_t(int16_t(v)), 2);
        case TypeUInt32:
            return putUnsigned(out, uint32_t(v), 4);
        case TypeInt32:
            return putUnsigned(out, uint32_t(int32_t(v)), 4);
        case TypeFloat32:
            return putUnsigned(out, bitsOfFloat(float(v)), 4);
        case TypeFloat64: {
            uint64_t bits;
            std::memcpy(&bits, &v, 8);
            return putUnsigned(out, bits, 8);
        }
        default:
            return false;
    }
}

// ---- big-endian reading ----

bool getUnsigned(FileBuffer& in, int bytes, uint64_t* v) {
    unsigned char b[8];
    if (in.read(b, size_t(bytes)) != size_t(bytes)) return false;
    *v = getBigEndian(b, bytes);
    return true;
}

bool getUnsigned32(FileBuffer& in, uint32_t* v) {
    uint64_t r;
    if (!getUnsigned(in, 4, &r)) return false;
    *v = uint32_t(r);
    return true;
}

double decodeValue(int type, uint64_t raw) {
    switch (type) {
        case TypeUInt8:
        case TypeUInt16:
        case TypeUInt32:
            return double(raw);
        case TypeInt8:
            return double(int8_t(uint8_t(raw)));
        case TypeInt16:
            return double(int16_t(uint16_t(raw)));
        case TypeInt32:
            return double(int32_t(uint32_t(raw)));
        case TypeFloat32:
            return double(floatFromBits(uint32_t(raw)));
        case TypeFloat64: {
            double d;
            std::memcpy(&d, &raw, 8);
            return d;
        }
        default:
            return 0.0;
    }
}

}  // namespace

TagStore::TagStore() {
    slots_.resize(kGrowth);
    addStartOfMetadata();
}

int TagStore::takeFreeSlot() {
    for (size_t i = firstFree_; i < slots_.size(); ++i)
        if (slots_[i].isFree()) {
            firstFree_ = i + 1;
            return int(i);
        }
    const size_t old = slots_.size();
    try {
        slots_.resize(old + kGrowth);
    } catch (const std::bad_alloc&) {
        return TagCannotGrow;
    }
    firstFree_ = old + 1;
    return int(old);
}

int TagStore::addSlot(const TagSlot& slot) {
    if (!valid_) return TagInvalid;
    if (slot.name.empty()) return TagMissingArgument;
    if (slot.dimCount > 2) return TagTooManyDims;
    remove(slot.name.c_str());
    const int index = takeFreeSlot();
    if (index < 0) return index;
    TagSlot& s = slots_[size_t(index)];
    s = slot;
    if (s.name.size() > kMaxNameLength) s.name.resize(kMaxNameLength);
    if (s.type == TypeNone) s.type = TypeUInt8;  // a live slot never reads as free
    index_[s.name] = index;
    ++count_;
    return index;
}

int TagStore::addNumbers(const char* name, int type, int dimCount, const uint32_t* dims,
                         const double* values) {
    if (!name || (dimCount > 0 && !dims)) return TagMissingArgument;
    if (dimCount > 2) return TagTooManyDims;
    if (!isNumericMetadataType(type)) return TagFailed;
    const uint64_t count = productOf(dimCount, dims);
    if (count > 0 && !values) return TagMissingArgument;
    if (count > std::numeric_limits<uint32_t>::max()) return TagFailed;
    TagSlot s;
    s.name = name;
    s.type = type;
    s.count = uint32_t(count);
    s.dimCount = dimCount;
    for (int i = 0; i < dimCount; ++i) s.dims[i] = dims[i];
    try {
        s.numbers.assign(values, values + count);
    } catch (const std::bad_alloc&) {
        return TagFailed;
    }
    return addSlot(s);
}

int TagStore::addTexts(const char* name, int dimCount, const uint32_t* dims, const char* const* values) {
    if (!name || (dimCount > 0 && !dims)) return TagMissingArgument;
    if (dimCount > 2) return TagTooManyDims;
    const uint64_t count = productOf(dimCount, dims);
    if (count > 0 && !values) return TagMissingArgument;
    if (count > std::numeric_limits<uint32_t>::max()) return TagFailed;
    TagSlot s;
    s.name = name;
    s.type = TypeText;
    s.count = uint32_t(count);
    s.dimCount = dimCount;
    for (int i = 0; i < dimCount; ++i) s.dims[i] = dims[i];
    try {
        for (uint64_t i = 0; i < count; ++i) s.texts.emplace_back(values[i] ? values[i] : "");
    } catch (const std::bad_alloc&) {
        return TagFailed;
    }
    return addSlot(s);
}

int TagStore::remove(const char* name) {
    if (!name) return TagMissingArgument;
    const int index = find(name);
    if (index < 0) return TagFailed;
    index_.erase(slots_[size_t(index)].name);
    slots_[size_t(index)] = TagSlot();
    firstFree_ = std::min(firstFree_, size_t(index));
    --count_;
    return TagOk;
}

int TagStore::find(const char* name, int* dimCount, uint32_t* dims) const {
    if (!name) return TagMissingArgument;
    const auto it = index_.find(storedName(name));
    if (it == index_.end()) return TagFailed;
    const TagSlot& s = slots_[size_t(it->second)];
    if (dimCount) *dimCount = s.dimCount;
    if (dims)
        for (int d = 0; d < s.dimCount; ++d) dims[d] = s.dims[d];
    return it->second;
}

const TagSlot* TagStore::lookUp(const char* name) const {
    const int index = find(name);
    return index < 0 ? nullptr : &slots_[size_t(index)];
}

int TagStore::copyFrom(const TagStore* other) {
    if (!other || !other->valid_ || !valid_) {
        valid_ = true;
        return TagInvalid;
    }
    if (other == this) return TagOk;
    for (const TagSlot& s : other->slots_) {
        if (s.isFree() || s.name == Tag::SOM || s.name == Tag::EOM) continue;
        const int r = addSlot(s);
        if (r < 0) return r;
    }
    valid_ = true;
    return TagOk;
}

// ---- typed adders ----

namespace {
const uint32_t kOne[1] = {1};
}

int TagStore::addWidth(uint32_t v) { return addNumber(Tag::WIDTH, TypeUInt32, double(v)); }
int TagStore::addHeight(uint32_t v) { return addNumber(Tag::HEIGHT, TypeUInt32, double(v)); }
int TagStore::addNumber(const char* name, int type, double value) {
    return addNumbers(name, type, 1, kOne, &value);
}
int TagStore::addInputName(const char* name) { return addTexts(Tag::INPUT_NAME, 1, kOne, &name); }
int TagStore::addInputFileSize(double v) {
    return addNumbers(Tag::INPUT_FILE_SIZE, TypeFloat64, 1, kOne, &v);
}
int TagStore::addBitsPerSample(uint16_t v) { return addNumber(Tag::BITS_PER_SAMPLE, TypeUInt16, double(v)); }
int TagStore::addColorScheme(uint32_t v) { return addNumber(Tag::COLOR_SCHEME, TypeUInt32, double(v)); }
int TagStore::addDataType(uint32_t v) { return addNumber(Tag::DATA_TYPE, TypeUInt32, double(v)); }

int TagStore::addXYOrigin(double x, double y) {
    const uint32_t dims[1] = {2};
    const double v[2] = {x, y};
    return addNumbers(Tag::XY_ORIGIN, TypeFloat64, 1, dims, v);
}

int TagStore::addXResolution(double v) { return addNumbers(Tag::X_RESOLUTION, TypeFloat64, 1, kOne, &v); }
int TagStore::addYResolution(double v) { return addNumbers(Tag::Y_RESOLUTION, TypeFloat64, 1, kOne, &v); }
int TagStore::addXRotation(double v) { return addNumbers(Tag::X_ROTATION, TypeFloat64, 1, kOne, &v); }
int TagStore::addYRotation(double v) { return addNumbers(Tag::Y_ROTATION, TypeFloat64, 1, kOne, &v); }

namespace {
int addBytes(TagStore& store, const char* name, const uint8_t* values, int width, int height) {
    if (!values) return TagMissingArgument;
    if (width <= 0 || height <= 0) return TagFailed;
    std::vector<double> v(values, values + size_t(width) * size_t(height));
    if (height == 1) {
        const uint32_t dims[1] = {uint32_t(width)};
        return store.addNumbers(name, TypeUInt8, 1, dims, v.data());
    }
    const uint32_t dims[2] = {uint32_t(width), uint32_t(height)};
    return store.addNumbers(name, TypeUInt8, 2, dims, v.data());
}
}  // namespace

int TagStore::addNoDataValue(const uint8_t* values, int bands) {
    return addBytes(*this, Tag::NO_DATA_VALUE, values, bands, 1);
}
int TagStore::addTransparentDataValue(const uint8_t* values, int bands) {
    return addBytes(*this, Tag::TRANSPARENT_DATA_VALUE, values, bands, 1);
}
int TagStore::addInputLut(const uint8_t* values, int samplesPerEntry, int entries) {
    return addBytes(*this, Tag::INPUT_LUT, values, samplesPerEntry, entries);
}
int TagStore::addNoDither() { return addNumber(Tag::NO_DITHER, TypeUInt8, double(1)); }
int TagStore::addDynamicRangeWindow(double v) {
    return addNumbers(Tag::DYNAMIC_RANGE_WINDOW, TypeFloat64, 1, kOne, &v);
}
int TagStore::addDynamicRangeLevel(double v) {
    return addNumbers(Tag::DYNAMIC_RANGE_LEVEL, TypeFloat64, 1, kOne, &v);
}

int TagStore::addCompressionVersion(const int32_t version[3]) {
    if (!version) return TagMissingArgument;
    const uint32_t dims[1] = {3};
    const double v[3] = {double(version[0]), double(version[1]), double(version[2])};
    return addNumbers(Tag::COMPRESSION_VERSION, TypeInt32, 1, dims, v);
}

int TagStore::addCreationDate(const char* date) { return addTexts(Tag::CREATION_DATE, 1, kOne, &date); }
int TagStore::addTargetCompressionRatio(float v) { return addNumber(Tag::TARGET_COMPRESSION_RATIO, TypeFloat32, double(v)); }
int TagStore::addCompressionWeight(float v) { return addNumber(Tag::COMPRESSION_WEIGHT, TypeFloat32, double(v)); }
int TagStore::addCompressionKWeight(float v) { return addNumber(Tag::COMPRESSION_KWEIGHT, TypeFloat32, double(v)); }
int TagStore::addCompressionGamma(float v) { return addNumber(Tag::COMPRESSION_GAMMA, TypeFloat32, double(v)); }
int TagStore::addCompressionNlev(uint32_t v) { return addNumber(Tag::COMPRESSION_NLEV, TypeUInt32, double(v)); }
int TagStore::addCompressionBlockSize(uint32_t v) { return addNumber(Tag::COMPRESSION_BLOCK_SIZE, TypeUInt32, double(v)); }
int TagStore::addStartOfMetadata() { return addNumber(Tag::SOM, TypeUInt16, double(1)); }
int TagStore::addEndOfMetadata() { return addNumber(Tag::EOM, TypeUInt16, double(1)); }

// ---- block writing ----

int TagStore::write(FILE* out) const {
    if (!out) return TagMissingArgument;
    if (!valid_) return TagInvalid;
    if (!putUnsigned(out, uint64_t(FileLayout::kMarker) << 8 | FileLayout::kMetadataStart, 2) || !putUnsigned(out, uint64_t(major_), 2) ||
        !putUnsigned(out, uint64_t(minor_), 2))
        return TagFailed;
    for (const TagSlot& s : slots_) {
        if (s.isFree()) continue;
        const uint64_t recordLength = s.name.size() + 4u * uint64_t(s.dimCount) + 12u;
        if (!putUnsigned(out, recordLength, 4) || !putBytes(out, s.name.c_str(), s.name.size() + 1) ||
            !putUnsigned(out, uint32_t(s.type), 4) || !putUnsigned(out, s.count, 4) ||
            !putUnsigned(out, uint32_t(s.dimCount), 4))
            return TagFailed;
        for (int d = 0; d < s.dimCount; ++d)
            if (!putUnsigned(out, s.dims[d], 4)) return TagFailed;
        if (s.type == TypeText) {
            for (uint32_t i = 0; i < s.count; ++i) {
                const std::string& t = i < s.texts.size() ? s.texts[i] : std::string();
                if (!putBytes(out, t.c_str(), t.size() + 1)) return TagFailed;
            }
        } else {
            for (uint32_t i = 0; i < s.count; ++i)
                if (!putValue(out, s.type, i < s.numbers.size() ? s.numbers[i] : 0.0)) return TagFailed;
        }
    }
    if (!putUnsigned(out, uint64_t(FileLayout::kMarker) << 8 | FileLayout::kMetadataEnd, 2)) return TagFailed;
    return TagOk;
}

// ---- block reading ----

int TagStore::read(FileBuffer& in) {
    if (!in.isOpen()) return TagMissingArgument;
    if (!valid_) return TagInvalid;
    const int m0 = in.readByte();
    const int m1 = m0 < 0 ? -1 : in.readByte();
    if (m0 < 0 || m1 < 0) return TagFailed;
    if (m0 != FileLayout::kMarker || m1 != FileLayout::kMetadataStart) return TagInvalid;
    const int64_t end = in.size();
    if (end < 0) return TagFailed;
    uint64_t major, minor;
    if (!getUnsigned(in, 2, &major) || !getUnsigned(in, 2, &minor)) return TagFailed;
    if (major > 1) return TagNewerVersion;
    major_ = int(major);
    minor_ = int(minor);
    uint64_t valuesRead = 0;
    for (;;) {
        uint32_t recordLength;
        if (!getUnsigned32(in, &recordLength)) return TagFailed;
        // The name, up to its NUL; a name that does not end within the
        // first 100 bytes rejects the block.
        char name[101];
        size_t n = 0;
        for (;;) {
            const int c = in.readByte();
            if (c < 0) return TagFailed;
            if (c == 0) break;
            if (n == kMaxNameLength) return TagFailed;
            name[n++] = char(c);
        }
        name[n] = 0;
        uint32_t type, count, dimCount;
        if (!getUnsigned32(in, &type) || !getUnsigned32(in, &count) || !getUnsigned32(in, &dimCount)) return TagFailed;
        if (dimCount > 2) return TagTooManyDimsRead;
        TagSlot s;
        s.name = name;
        s.type = int(type);
        s.count = count;
        s.dimCount = int(dimCount);
        for (uint32_t d = 0; d < dimCount; ++d)
            if (!getUnsigned32(in, &s.dims[d])) return TagFailed;
        // Every value takes at least one byte: the count cannot exceed the
        // bytes left in the file, so nothing is allocated beyond them.
        const int64_t here = in.position();
        const int64_t left = here < 0 ? -1 : end - here;
        valuesRead += count;
        if (left < 0 || valuesRead > kMaxValuesRead) return TagFailed;
        if (s.type == TypeText) {
            if (uint64_t(count) > uint64_t(left)) return TagFailed;
            s.texts.reserve(count);
            for (uint32_t i = 0; i < count; ++i) {
                std::string t;
                for (;;) {
                    const int c = in.readByte();
                    if (c < 0) return TagFailed;
                    if (c == 0) break;
                    t.push_back(char(c));
                }
                s.texts.push_back(std::move(t));
            }
        } else {
            const int size = metadataTypeSize(s.type);
            if (size == 0) return TagFailed;
            if (uint64_t(count) * uint64_t(size) > uint64_t(left)) return TagFailed;
            s.numbers.resize(count);
            for (uint32_t i = 0; i < count; ++i) {
                uint64_t raw;
                if (!getUnsigned(in, size, &raw)) return TagFailed;
                s.numbers[i] = decodeValue(s.type, raw);
            }
        }
        const int r = addSlot(s);
        if (r < 0) return r;
        if (std::strcmp(name, Tag::EOM) == 0) return TagOk;
    }
}

}  // namespace Lumetra
