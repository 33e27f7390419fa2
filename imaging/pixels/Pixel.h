#pragma once
// One pixel: its format and its sample values, stored as raw bytes.

#include <cstring>
#include <vector>

#include "imaging/pixels/ImageBufferInfo.h"

namespace Lumetra {

class Pixel {
public:
    // A pixel without values (hasValues() is false), default format.
    Pixel() = default;
    // A pixel of the given format with every value zero.
    explicit Pixel(const ImageBufferInfo& info);
    Pixel(const Pixel&) = default;
    Pixel& operator=(const Pixel&) = default;
    virtual ~Pixel() = default;

    const ImageBufferInfo& info() const { return info_; }
    // Changing the format does not resize the values; call setValues after.
    ImageBufferInfo& info() { return info_; }

    bool hasValues() const { return !values_.empty(); }
    const unsigned char* values() const { return values_.data(); }
    unsigned char* values() { return values_.data(); }
    size_t valueBytes() const { return values_.size(); }
    // Reallocates samplesPerPixel * sampleSize bytes and copies them from
    // `src`, or zero-fills them when `src` is null.
    void setValues(const void* src);
    // Drops the values (hasValues() becomes false).
    void clearValues() { values_.clear(); }
    // Sample i read as T (T must match the sample type; i < samplesPerPixel).
    template <class T>
    T sample(int i) const {
        T v;
        std::memcpy(&v, values_.data() + size_t(i) * sizeof(T), sizeof(T));
        return v;
    }

    // Converts this pixel into the target's format through a transformer from
    // the registry, allocating the target's values when missing or sized for
    // another format. Returns the
    // target. Throws Exception "No transformer exists for what you want."
    Pixel& convertTo(Pixel& target) const;

protected:
    ImageBufferInfo info_;
    std::vector<unsigned char> values_;
};

// A pixel read out of an array of T samples.
template <class T>
class TypedPixel : public Pixel {
public:
    // Format: a copy of `info` with layout BIP and samplesPerPixel = bands;
    // value i = samples[info.bandMap[i]] when samples are given, else zero.
    TypedPixel(const T* samples, const ImageBufferInfo& info) {
        info_ = info;
        info_.layout = ImageBufferInfo::BIP;
        info_.samplesPerPixel = info.bands;
        info_.setBandMap(nullptr);
        setValues(nullptr);
        if (!samples) return;
        for (int i = 0; i < info_.samplesPerPixel && size_t(i) < info.bandMap.size(); ++i) {
            const T v = samples[info.bandMap[i]];
            std::memcpy(values_.data() + size_t(i) * sizeof(T), &v, sizeof(T));
        }
    }
};

}  // namespace Lumetra
