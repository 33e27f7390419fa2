#pragma once
// Float buffers handed back and out again. The analysis makes and drops
// pieces of coefficients block after block; taking their storage from the
// pieces already dropped spares the allocator fresh pages every block.
// Any thread may take and give.

#include <cstddef>
#include <mutex>
#include <vector>

#include "core/FloatBuffer.h"

class FloatRecycler {
public:
    // Keeps at most `maxFloats` floats of storage between a give and a take.
    explicit FloatRecycler(size_t maxFloats) : max_(maxFloats) {}

    // A buffer of `size` floats whose values are unspecified.
    FloatBuffer take(size_t size);
    // Gives a buffer's storage back (dropped when the store is full).
    void give(FloatBuffer&& buffer);

    // Takes from `recycler` when there is one, else allocates.
    static FloatBuffer take(FloatRecycler* recycler, size_t size) {
        return recycler ? recycler->take(size) : FloatBuffer(size);
    }
    static void give(FloatRecycler* recycler, FloatBuffer&& buffer) {
        if (recycler) recycler->give(std::move(buffer));
    }

private:
    std::mutex mutex_;
    std::vector<FloatBuffer> spare_;
    size_t held_ = 0;  // floats of capacity in spare_
    size_t max_;
};
