#pragma once
// Float storage that is not zeroed when it grows, for buffers whose every
// value is written before it is read: the analysis's planes and pieces,
// taken and given back block after block, and the synthesis's working
// lines. Filling them first only cost time.

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

template <class T>
struct UnfilledAllocator {
    using value_type = T;
    UnfilledAllocator() = default;
    template <class U>
    UnfilledAllocator(const UnfilledAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept { std::allocator<T>().deallocate(p, n); }
    // An element made without a value is left unwritten; others as usual.
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

template <class T, class U>
bool operator==(const UnfilledAllocator<T>&, const UnfilledAllocator<U>&) noexcept {
    return true;
}
template <class T, class U>
bool operator!=(const UnfilledAllocator<T>&, const UnfilledAllocator<U>&) noexcept {
    return false;
}

// Resizing up leaves the new values unspecified.
using FloatBuffer = std::vector<float, UnfilledAllocator<float>>;
