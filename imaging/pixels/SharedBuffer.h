#pragma once
// Memory shared by reference count: copies share the bytes, and the last
// owner frees them.

#include <cstddef>
#include <memory>

namespace Lumetra {

template <class T>
class SharedBuffer {
public:
    SharedBuffer() = default;
    // Adopts memory allocated with new T[count] (count 1). `count` is the
    // number of elements, 0 when unknown.
    explicit SharedBuffer(T* adopted, size_t count = 0) { adopt(adopted, count); }
    SharedBuffer(const SharedBuffer&) = default;
    SharedBuffer& operator=(const SharedBuffer&) = default;
    virtual ~SharedBuffer() = default;

    // Drops the current memory and takes `count` new, zeroed elements.
    // Throws std::bad_alloc when the memory cannot be had.
    virtual void allocate(size_t count) {
        data_.reset(new T[count]());
        count_ = count;
    }
    // Drops the current memory and adopts memory allocated with new T[].
    void adopt(T* adopted, size_t count = 0) {
        data_.reset(adopted);
        count_ = adopted ? count : 0;
    }
    void reset() { adopt(nullptr); }

    T* data() const { return data_.get(); }
    // Elements held, 0 when unknown or empty.
    size_t size() const { return count_; }
    // Owners of the memory (0 when empty).
    long useCount() const { return data_.use_count(); }
    explicit operator bool() const { return data_ != nullptr; }

private:
    std::shared_ptr<T[]> data_;  // freed with delete[]
    size_t count_ = 0;
};

}  // namespace Lumetra
