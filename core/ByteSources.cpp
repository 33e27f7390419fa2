#include "core/ByteSources.h"

#include <algorithm>
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

size_t FileByteSource::readAt(uint64_t offset, void* buffer, size_t count) {
    if (!file_ || count == 0 || offset > uint64_t(std::numeric_limits<int64_t>::max())) return 0;
    if (fseeko(file_, off_t(offset), SEEK_SET) != 0) return 0;
    return std::fread(buffer, 1, count, file_);
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
