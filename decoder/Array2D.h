#pragma once
// Multi-band two-dimensional sample arrays. Sample (x, y) of band b lives at
// band(b) + y * rowStep() + x * columnStep(). Planes are either owned (freed
// with the array, possibly shared with the array they were taken from) or
// viewed.

#include <cstddef>
#include <memory>
#include <vector>

template <class T>
class Array2D {
public:
    Array2D() = default;
    // Planes allocated with new T[]; mode 0 owns every plane, 1 none, 2 only
    // the first. rowStep <= 0 means width. Other modes throw "Error 1 in Array2D ctor 1.".
    Array2D(T* const* planes, int width, int height, int count, std::ptrdiff_t rowStep, int mode,
            std::ptrdiff_t columnStep = 1);
    // A one-band array taking over band `index` of `other` (which keeps a null
    // plane there). Throws "Error 1 in Array2D ctor 3." for a bad index.
    Array2D(Array2D& other, int index);
    Array2D(Array2D&& other) noexcept;
    Array2D& operator=(Array2D&& other) noexcept;
    Array2D(const Array2D&) = delete;
    Array2D& operator=(const Array2D&) = delete;
    virtual ~Array2D() = default;

    // Dense planes, all bands in one allocation, band after band; zero-filled
    // unless the caller is about to write every sample.
    void allocate(int width, int height, int count, bool zeroed = true);
    // Drops every plane (the shape stays).
    void releasePlanes();
    bool hasPlanes() const { return !bands_.empty() && bands_[0] != nullptr; }

    int count() const { return count_; }
    int width() const { return width_; }
    int height() const { return height_; }
    std::ptrdiff_t rowStep() const { return rowStep_; }
    std::ptrdiff_t columnStep() const { return columnStep_; }
    T* band(int b) { return bands_[b]; }
    const T* band(int b) const { return bands_[b]; }
    bool owns(int b) const { return owners_[b] != nullptr; }
    T& at(int b, int x, int y) { return bands_[b][y * rowStep_ + x * columnStep_]; }
    const T& at(int b, int x, int y) const { return bands_[b][y * rowStep_ + x * columnStep_]; }

    // Installs the single plane of `source` as band `index`, taking over its
    // ownership. Throws "Error 1 in Array2D<T>::set_band()" on any mismatch.
    void setBand(Array2D& source, int index);
    // Copies every band of `source` into this array with its corner at
    // (x, y). Throws "Error 1 in Array2D::insert()" when it does not fit and
    // "Error 2 in Array2D::insert()" when the band counts differ.
    void insert(const Array2D& source, int x, int y);

protected:
    std::vector<T*> bands_;
    std::vector<std::shared_ptr<T>> owners_;  // null where the plane is only viewed
    int count_ = 0;
    std::ptrdiff_t columnStep_ = 1;
    std::ptrdiff_t rowStep_ = 0;
    int width_ = 0;
    int height_ = 0;
};

class Array2DFloat : public Array2D<float> {
public:
    using Array2D<float>::Array2D;
    Array2DFloat() = default;
    Array2DFloat(Array2DFloat&&) = default;
    Array2DFloat& operator=(Array2DFloat&&) = default;
    ~Array2DFloat() override = default;
};

extern template class Array2D<float>;
extern template class Array2D<int>;
