#include "core/FileBuffer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/ByteSources.h"
#include "core/Exception.h"

namespace Lumetra {

FileBuffer::FileBuffer() : area_(kDefaultReadAhead) { emptyWindow(); }

FileBuffer::FileBuffer(const char* path) : FileBuffer() { open(path); }

FileBuffer::FileBuffer(std::shared_ptr<wavra::ByteSource> source) : FileBuffer() { open(std::move(source)); }

FileBuffer::~FileBuffer() = default;

void FileBuffer::open(const char* path) {
    if (source_) close();
    if (!path) throw Exception(std::string("File:  could not be opened."));
    ownFile_ = std::make_shared<FileByteSource>(FileSpecification(path));
    source_ = ownFile_;
    sourcePosition_ = 0;
    emptyWindow();
}

void FileBuffer::open(const FileSpecification& path) { open(path.path()); }

void FileBuffer::open(std::shared_ptr<wavra::ByteSource> source) {
    if (source_) close();
    source_ = std::move(source);
    sourcePosition_ = 0;
    emptyWindow();
}

void FileBuffer::close() {
    if (!source_) return;
    std::shared_ptr<FileByteSource> own = std::move(ownFile_);
    source_.reset();
    ownFile_.reset();
    emptyWindow();
    if (own && own.use_count() == 1 && !own->close()) throw Exception("Error closing file!");
}

void FileBuffer::requireOpen() const {
    if (!source_) throw Exception("Cannot read without an open file!");
}

void FileBuffer::emptyWindow() {
    setg(area_.data(), area_.data(), area_.data());
    windowEmpty_ = true;
}

void FileBuffer::setReadAhead(size_t n) {
    if (n == 0) n = 1;
    // Bytes still waiting in the window are read again after the resize.
    if (source_ && !windowEmpty_ && windowRemaining() > 0) sourcePosition_ = position();
    area_.assign(n, 0);
    emptyWindow();
}

// Moves the next-byte pointer without gbump's int-sized step.
void FileBuffer::advanceWindow(size_t n) { setg(eback(), gptr() + n, egptr()); }

size_t FileBuffer::refill() {
    const size_t got = readFrom(*source_, uint64_t(sourcePosition_), area_.data(), area_.size());
    sourcePosition_ += int64_t(got);
    setg(area_.data(), area_.data(), area_.data() + got);
    windowEmpty_ = got == 0;
    return got;
}

size_t FileBuffer::read(void* dest, size_t n) {
    requireOpen();
    if (n == 0) return 0;
    char* out = static_cast<char*>(dest);
    size_t delivered = 0;
    if (!windowEmpty_) {
        const size_t take = std::min(n, windowRemaining());
        std::memcpy(out, gptr(), take);
        advanceWindow(take);
        delivered = take;
        if (delivered == n) return delivered;
    }
    const size_t rest = n - delivered;
    if (rest >= area_.size()) {
        emptyWindow();
        const size_t got = readFrom(*source_, uint64_t(sourcePosition_), out + delivered, rest);
        sourcePosition_ += int64_t(got);
        return delivered + got;
    }
    const size_t got = refill();
    if (got == 0) return delivered;
    const size_t take = std::min(rest, got);
    std::memcpy(out + delivered, gptr(), take);
    advanceWindow(take);
    return delivered + take;
}

int FileBuffer::readByte() {
    unsigned char c;
    return read(&c, 1) == 1 ? int(c) : -1;
}

int64_t FileBuffer::position() {
    requireOpen();
    return windowEmpty_ ? sourcePosition_ : sourcePosition_ - int64_t(windowRemaining());
}

int64_t FileBuffer::size() {
    requireOpen();
    return sizeOf(*source_);
}

int64_t FileBuffer::seek(int64_t offset, int origin) {
    requireOpen();
    const int64_t current = position();
    int64_t base;
    switch (origin) {
        case SEEK_SET:
            base = 0;
            break;
        case SEEK_CUR:
            base = current;
            break;
        case SEEK_END:
            base = size();
            if (base < 0) return -1;
            break;
        default:
            return -1;
    }
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target)) return -1;
    if (target < 0) return -1;
    if (target == current) return target;
    if (!windowEmpty_) {
        const int64_t windowStart = current - int64_t(gptr() - eback());
        const int64_t windowEnd = current + int64_t(windowRemaining());
        if (target >= windowStart && target < windowEnd) {
            setg(eback(), eback() + (target - windowStart), egptr());
            return target;
        }
    }
    emptyWindow();
    sourcePosition_ = target;
    return target;
}

FileBuffer::int_type FileBuffer::underflow() {
    if (!source_) return traits_type::eof();
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (refill() == 0) return traits_type::eof();
    return traits_type::to_int_type(*gptr());
}

std::streamsize FileBuffer::xsgetn(char* s, std::streamsize n) {
    if (!source_ || n <= 0) return 0;
    return std::streamsize(read(s, size_t(n)));
}

FileBuffer::pos_type FileBuffer::seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) {
    if (!source_) return pos_type(off_type(-1));
    const int origin = dir == std::ios_base::beg ? SEEK_SET : dir == std::ios_base::cur ? SEEK_CUR : SEEK_END;
    return pos_type(off_type(seek(off, origin)));
}

FileBuffer::pos_type FileBuffer::seekpos(pos_type pos, std::ios_base::openmode which) {
    return seekoff(off_type(pos), std::ios_base::beg, which);
}

}  // namespace Lumetra
