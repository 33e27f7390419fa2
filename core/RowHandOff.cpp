#include "core/RowHandOff.h"

#include <utility>

namespace Lumetra {

RowHandOff::RowHandOff(Sink sink) : sink_(std::move(sink)), thread_([this] { loop(); }) {}

RowHandOff::~RowHandOff() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void RowHandOff::hand(const uint8_t* rows, int count, size_t rowBytes) {
    {
        // Chunk handed_ % 2 is free once the one handed before it is done.
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return error_ || handed_ - consumed_ < 2; });
        if (error_) std::rethrow_exception(error_);
    }
    Chunk& chunk = chunks_[handed_ % 2];
    chunk.bytes.assign(rows, rows + size_t(count) * rowBytes);
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
            const Chunk& chunk = chunks_[consumed_ % 2];
            lock.unlock();
            std::exception_ptr failure;
            try {
                sink_(chunk.bytes.data(), chunk.count, chunk.rowBytes);
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
