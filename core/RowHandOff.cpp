#include "core/RowHandOff.h"

#include <utility>

namespace Lumetra {

RowHandOff::RowHandOff(Sink sink, int waiting)
    : sink_(std::move(sink)), chunks_(std::size_t(waiting < 1 ? 1 : waiting)), thread_([this] { loop(); }) {}

RowHandOff::~RowHandOff() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void RowHandOff::hand(const uint8_t* rows, int count, size_t rowBytes) {
    const uint64_t ring = chunks_.size();
    {
        // Chunk handed_ % ring is free once the sink is done with the one
        // handed `ring` turns before.
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this, ring] { return error_ || handed_ - consumed_ < ring; });
        if (error_) std::rethrow_exception(error_);
    }
    Chunk& chunk = chunks_[handed_ % ring];
    chunk.rows = rows;
    chunk.count = count;
    chunk.rowBytes = rowBytes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++handed_;
    }
    changed_.notify_all();
}

void RowHandOff::finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return consumed_ == handed_; });
    if (error_) std::rethrow_exception(error_);
}

void RowHandOff::loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || consumed_ < handed_; });
        if (stop_) return;
        if (!error_) {
            const Chunk& chunk = chunks_[consumed_ % chunks_.size()];
            lock.unlock();
            std::exception_ptr failure;
            try {
                sink_(chunk.rows, chunk.count, chunk.rowBytes);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            if (failure) error_ = failure;
        }
        ++consumed_;
        changed_.notify_all();
    }
}

}  // namespace Lumetra
