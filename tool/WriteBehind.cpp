#include "tool/WriteBehind.h"

#include <fcntl.h>
#include <unistd.h>

#include <system_error>

namespace {

// Large enough for one call per many writes, small enough for the disk to
// keep up from the first strips on.
constexpr std::size_t kStartBytes = std::size_t(2) << 20;
// Each flush costs about the same whatever it holds (10 ms here, against
// 30 ms for a 50 MB file at once): a few per large output.
constexpr off_t kFlushBytes = off_t(16) << 20;

}  // namespace

WriteBehind::~WriteBehind() {
    if (!flusher_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    flusher_.join();
    ::close(flushFd_);
}

void WriteBehind::wrote(std::size_t bytes) {
    pending_ += bytes;
    if (pending_ < kStartBytes || !file_) return;
    pending_ = 0;
    // Failures here only lose the head start: the writer's own checks and
    // the final flush report what matters.
    if (std::fflush(file_) != 0) return;
    const off_t end = ftello(file_);
    if (end <= started_) return;
    if (sync_file_range(fileno(file_), started_, end - started_, SYNC_FILE_RANGE_WRITE) != 0) {
        file_ = nullptr;
        return;
    }
    started_ = end;
    if (started_ - flushAsked_ >= kFlushBytes) {
        flushAsked_ = started_;
        requestFlush();
    }
}

void WriteBehind::requestFlush() {
    if (!flusher_.joinable()) {
        // A descriptor of its own, which stays valid whenever the file is closed.
        flushFd_ = ::dup(fileno(file_));
        if (flushFd_ < 0) return;
        try {
            flusher_ = std::thread([this] { flushWhenAsked(); });
        } catch (const std::system_error&) {
            ::close(flushFd_);
            flushFd_ = -1;
            return;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        due_ = true;
    }
    wake_.notify_one();
}

void WriteBehind::flushWhenAsked() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return due_ || stop_; });
        if (stop_) return;
        due_ = false;
        lock.unlock();
        ::fdatasync(flushFd_);
        lock.lock();
    }
}
