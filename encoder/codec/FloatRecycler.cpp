#include "encoder/codec/FloatRecycler.h"

#include <utility>

FloatBuffer FloatRecycler::take(size_t size) {
    FloatBuffer buffer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // The smallest that holds it, and none more than four times its size: a
        // small piece may wait long for its turn, and would hold the rest.
        size_t best = spare_.size();
        for (size_t i = 0; i < spare_.size(); ++i)
            if (spare_[i].capacity() >= size && spare_[i].capacity() / 4 <= size &&
                (best == spare_.size() || spare_[i].capacity() < spare_[best].capacity()))
                best = i;
        if (best < spare_.size()) {
            buffer = std::move(spare_[best]);
            spare_[best] = std::move(spare_.back());
            spare_.pop_back();
            held_ -= buffer.capacity();
        }
    }
    // Within the capacity only the part past the old size is written.
    buffer.resize(size);
    return buffer;
}

void FloatRecycler::give(FloatBuffer&& buffer) {
    FloatBuffer dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (buffer.capacity() == 0) return;
        if (held_ + buffer.capacity() > max_) {
            dropped = std::move(buffer);  // freed outside the lock
        } else {
            held_ += buffer.capacity();
            spare_.push_back(std::move(buffer));
        }
    }
}
