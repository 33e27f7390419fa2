#pragma once
// Colour lookup tables and the nearest-entry search that maps a pixel to a
// table index.

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/pixels/ImageBufferInfo.h"
#include "imaging/pixels/Pixel.h"

namespace Lumetra {

class Clut;

// Strategy that turns a pixel (samples in the table's entry format) into an
// entry index.
class ClutLookUp {
public:
    virtual ~ClutLookUp() = default;
    // Index of the entry for `values`, or -1 when there is none.
    virtual int lookUp(const void* values) const = 0;
    // A new strategy of the same kind bound to `table` (owned by the caller).
    virtual ClutLookUp* cloneFor(Clut& table) const = 0;
};

// Nearest entry by squared distance over the bands; ties keep the lowest
// index; an empty table gives -1.
template <class T>
class DefaultClutLookUp : public ClutLookUp {
public:
    explicit DefaultClutLookUp(const Clut* table) : table_(table) {}
    int lookUp(const void* values) const override;
    ClutLookUp* cloneFor(Clut& table) const override { return new DefaultClutLookUp<T>(&table); }

private:
    const Clut* table_;
};

class Clut {
public:
    // An empty table: no entries, no lookup.
    Clut() = default;
    // `entries` entries of the bands of `colorSpace` in `sampleType` samples,
    // copied from `initial` or zeroed. Throws Exception "Illegal sample type"
    // for types other than 0, 1 and 10, and InvalidArgumentException for a
    // negative or unallocatable entry count.
    Clut(int colorSpace, int entries, int sampleType, const void* initial);
    Clut(const Clut& other);
    Clut& operator=(const Clut& other);
    virtual ~Clut() = default;

    // Format of one entry (BIP, samplesPerPixel = bands).
    const ImageBufferInfo& info() const { return info_; }
    int entryCount() const { return entries_; }
    bool hasEntries() const { return entries_ > 0 && !bytes_.empty(); }
    const unsigned char* entryBytes() const { return bytes_.data(); }
    // Bytes of one entry.
    int entrySize() const { return info_.bytesPerPixel(); }

    // First sample of entry `index` (null outside the table).
    template <class T>
    T* entry(int index) {
        if (index < 0 || index >= entries_ || bytes_.empty()) return nullptr;
        return reinterpret_cast<T*>(bytes_.data() + size_t(index) * size_t(entrySize()));
    }
    template <class T>
    const T* entry(int index) const {
        return const_cast<Clut*>(this)->entry<T>(index);
    }
    // Copies the pixel's values into entry `index` (ignored outside the table).
    void setEntry(int index, const Pixel& pixel);
    // Nearest entry for `values` (samples in the entry format), -1 when none.
    int lookUp(const void* values) const { return lookUp_ ? lookUp_->lookUp(values) : -1; }

private:
    ImageBufferInfo info_;
    std::unique_ptr<ClutLookUp> lookUp_;
    int entries_ = 0;
    std::vector<unsigned char> bytes_;
};

template <class T>
int DefaultClutLookUp<T>::lookUp(const void* values) const {
    if (!table_ || !table_->hasEntries()) return -1;
    const T* pixel = static_cast<const T*>(values);
    const int bands = table_->info().bands;
    double best = 2147483647.0;
    int result = -1;
    for (int i = 0; i < table_->entryCount(); ++i) {
        const T* e = table_->template entry<T>(i);
        double distance = 0;
        for (int b = 0; b < bands; ++b) {
            const double d = double(pixel[b]) - double(e[b]);
            distance += d * d;
        }
        if (distance < best) {
            best = distance;
            result = i;
        }
    }
    return result;
}

}  // namespace Lumetra
