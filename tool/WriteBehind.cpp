#include "tool/WriteBehind.h"

#include <fcntl.h>

namespace {

// Large enough for one call per many writes, small enough for the disk to
// keep up from the first strips on.
constexpr std::size_t kStartBytes = std::size_t(2) << 20;

}  // namespace

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
}
