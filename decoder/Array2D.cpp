#include "decoder/Array2D.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/Exception.h"
#include "decoder/PlaneCache.h"

using Lumetra::Exception;

template <class T>
Array2D<T>::Array2D(T* const* planes, int width, int height, int count, std::ptrdiff_t rowStep, int mode,
                    std::ptrdiff_t columnStep)
    : count_(count),
      columnStep_(columnStep),
      rowStep_(rowStep <= 0 ? width : rowStep),
      width_(width),
      height_(height) {
    if (mode < 0 || mode > 2 || count < 0) throw Exception("Error 1 in Array2D ctor 1.");
    bands_.assign(planes, planes + count);
    owners_.resize(count);
    for (int b = 0; b < count; ++b) {
        if (mode == 0 || (mode == 2 && b == 0))
            owners_[b] = std::shared_ptr<T>(planes[b], std::default_delete<T[]>());
    }
}

template <class T>
Array2D<T>::Array2D(Array2D& other, int index)
    : count_(1),
      columnStep_(other.columnStep_),
      rowStep_(other.rowStep_),
      width_(other.width_),
      height_(other.height_) {
    if (index < 0 || index >= other.count_ || index >= int(other.bands_.size()))
        throw Exception("Error 1 in Array2D ctor 3.");
    bands_.push_back(other.bands_[index]);
    owners_.push_back(std::move(other.owners_[index]));
    other.bands_[index] = nullptr;
    other.owners_[index].reset();
}

template <class T>
Array2D<T>::Array2D(Array2D&& other) noexcept
    : bands_(std::move(other.bands_)),
      owners_(std::move(other.owners_)),
      count_(other.count_),
      columnStep_(other.columnStep_),
      rowStep_(other.rowStep_),
      width_(other.width_),
      height_(other.height_) {
    other.bands_.clear();
    other.owners_.clear();
}

template <class T>
Array2D<T>& Array2D<T>::operator=(Array2D&& other) noexcept {
    if (this != &other) {
        bands_ = std::move(other.bands_);
        owners_ = std::move(other.owners_);
        count_ = other.count_;
        columnStep_ = other.columnStep_;
        rowStep_ = other.rowStep_;
        width_ = other.width_;
        height_ = other.height_;
        other.bands_.clear();
        other.owners_.clear();
    }
    return *this;
}

template <class T>
void Array2D<T>::allocate(int width, int height, int count, bool zeroed) {
    const std::size_t plane = std::size_t(std::max(width, 0)) * std::size_t(std::max(height, 0));
    const std::size_t n = plane * std::size_t(std::max(count, 0)) + 1;
    const std::shared_ptr<T> block = Lumetra::PlaneCache::take<T>(n, zeroed);
    count_ = count;
    width_ = width;
    height_ = height;
    rowStep_ = width;
    columnStep_ = 1;
    bands_.resize(count);
    owners_.resize(count);
    for (int b = 0; b < count; ++b) {
        bands_[b] = block.get() + plane * std::size_t(b);
        owners_[b] = std::shared_ptr<T>(block, bands_[b]);  // shares the one allocation
    }
}

template <class T>
void Array2D<T>::releasePlanes() {
    bands_.clear();
    owners_.clear();
}

template <class T>
void Array2D<T>::setBand(Array2D& source, int index) {
    if (source.count_ != 1 || source.bands_.size() != 1 || index < 0 || index >= count_ ||
        source.width_ != width_ || source.height_ != height_ || source.rowStep_ != rowStep_ ||
        source.columnStep_ != columnStep_)
        throw Exception("Error 1 in Array2D<T>::set_band()");
    if (bands_.empty()) {
        bands_.assign(count_, nullptr);
        owners_.assign(count_, nullptr);
    }
    bands_[index] = source.bands_[0];
    owners_[index] = std::move(source.owners_[0]);
    source.bands_[0] = nullptr;
}

template <class T>
void Array2D<T>::insert(const Array2D& source, int x, int y) {
    if (x < 0 || y < 0 || int64_t(x) + source.width_ > width_ || int64_t(y) + source.height_ > height_)
        throw Exception("Error 1 in Array2D::insert()");
    if (source.count_ != count_) throw Exception("Error 2 in Array2D::insert()");
    for (int b = 0; b < count_; ++b) {
        for (int r = 0; r < source.height_; ++r) {
            const T* from = source.bands_[b] + r * source.rowStep_;
            T* to = bands_[b] + (y + r) * rowStep_ + x * columnStep_;
            for (int c = 0; c < source.width_; ++c) to[c * columnStep_] = from[c * source.columnStep_];
        }
    }
}

template class Array2D<float>;
template class Array2D<int>;
