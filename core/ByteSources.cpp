#include "core/ByteSources.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <limits>
#include <string>

#include "core/Exception.h"
#include "wavra/wavra.h"

namespace Lumetra {

FileByteSource::FileByteSource(const FileSpecification& path) : file_(path.open("rb")) {
    if (!file_) throw Exception(std::string("File: ") + path.path() + " could not be opened.");
}

FileByteSource::~FileByteSource() { close(); }

bool FileByteSource::close() {
    if (!file_) return true;
    FILE* f = file_;
    file_ = nullptr;
    return std::fclose(f) == 0;
}

uint64_t FileByteSource::size() {
    if (!file_ || fseeko(file_, 0, SEEK_END) != 0) throw Exception("File error encountered.");
    const int64_t end = ftello(file_);
    if (end < 0) throw Exception("File error encountered.");
    return uint64_t(end);
}

namespace {

// pread until `count` bytes, the end of the file or an error.
size_t readFully(int fd, uint64_t offset, unsigned char* to, size_t count) {
    size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd, to + got, count - got, off_t(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    return got;
}

}  // namespace

size_t FileByteSource::readAt(uint64_t offset, void* buffer, size_t count) {
    if (!file_ || count == 0 || offset > uint64_t(std::numeric_limits<int64_t>::max()) - count) return 0;
    return readFully(fileno(file_), offset, static_cast<unsigned char*>(buffer), count);
}

size_t MemoryByteSource::readAt(uint64_t offset, void* buffer, size_t count) {
    if (offset >= size_) return 0;
    const size_t n = std::min<uint64_t>(count, size_ - offset);
    std::memcpy(buffer, data_ + offset, n);
    return n;
}

size_t readFrom(wavra::ByteSource& source, uint64_t offset, void* buffer, size_t count) {
    try {
        const size_t got = source.readAt(offset, buffer, count);
        return got < count ? got : count;
    } catch (const std::exception&) {
        return 0;
    }
}

int64_t sizeOf(wavra::ByteSource& source) {
    try {
        const uint64_t n = source.size();
        return n > uint64_t(std::numeric_limits<int64_t>::max()) ? -1 : int64_t(n);
    } catch (const std::exception&) {
        return -1;
    }
}

}  // namespace Lumetra

namespace wavra {

std::shared_ptr<ByteSource> memorySource(const void* data, size_t size) {
    return std::make_shared<Lumetra::MemoryByteSource>(data, size);
}

}  // namespace wavra
