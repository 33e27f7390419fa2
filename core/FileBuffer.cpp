#include "core/FileBuffer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/Exception.h"

namespace Lumetra {

FileBuffer::FileBuffer() : area_(kDefaultReadAhead) { emptyWindow(); }

FileBuffer::FileBuffer(const char* path) : FileBuffer() { open(path); }

FileBuffer::~FileBuffer() {
    if (file_) std::fclose(file_);
}

void FileBuffer::open(const char* path) {
    if (file_) close();
    file_ = path ? std::fopen(path, "rb") : nullptr;
    if (!file_) throw Exception(std::string("File: ") + (path ? path : "") + " could not be opened.");
    emptyWindow();
}

void FileBuffer::open(const FileSpecification& path) { open(path.path()); }

void FileBuffer::close() {
    if (!file_) return;
    FILE* f = file_;
    file_ = nullptr;
    emptyWindow();
    if (std::fclose(f) != 0) throw Exception("Error closing file!");
}

void FileBuffer::requireOpen() const {
    if (!file_) throw Exception("Cannot read without an open file!");
}

void FileBuffer::emptyWindow() {
    setg(area_.data(), area_.data(), area_.data());
    windowEmpty_ = true;
}

void FileBuffer::setReadAhead(size_t n) {
    if (n == 0) n = 1;
    if (file_ && !windowEmpty_ && windowRemaining() > 0) {
        // Bring the file back to the logical position so that the bytes
        // still waiting in the window are read again after the resize.
        const int64_t logical = position();
        emptyWindow();
        if (fseeko(file_, logical, SEEK_SET) != 0) throw Exception("File error encountered.");
    }
    area_.assign(n, 0);
    emptyWindow();
}

// Moves the next-byte pointer without gbump's int-sized step.
void FileBuffer::advanceWindow(size_t n) { setg(eback(), gptr() + n, egptr()); }

size_t FileBuffer::refill() {
    const size_t got = std::fread(area_.data(), 1, area_.size(), file_);
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
        return delivered + std::fread(out + delivered, 1, rest, file_);
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
    const int64_t pos = ftello(file_);
    if (pos < 0) throw Exception("File error encountered.");
    return windowEmpty_ ? pos : pos - int64_t(windowRemaining());
}

int64_t FileBuffer::size() {
    requireOpen();
    const int64_t raw = ftello(file_);
    if (raw < 0 || fseeko(file_, 0, SEEK_END) != 0) return -1;
    const int64_t end = ftello(file_);
    if (fseeko(file_, raw, SEEK_SET) != 0) return -1;
    return end;
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
            // Measured without disturbing the file position, so the window
            // and the file stay in step.
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
    if (fseeko(file_, target, SEEK_SET) != 0) return -1;
    return target;
}

FileBuffer::int_type FileBuffer::underflow() {
    if (!file_) return traits_type::eof();
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (refill() == 0) return traits_type::eof();
    return traits_type::to_int_type(*gptr());
}

std::streamsize FileBuffer::xsgetn(char* s, std::streamsize n) {
    if (!file_ || n <= 0) return 0;
    return std::streamsize(read(s, size_t(n)));
}

FileBuffer::pos_type FileBuffer::seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) {
    if (!file_) return pos_type(off_type(-1));
    const int origin = dir == std::ios_base::beg ? SEEK_SET : dir == std::ios_base::cur ? SEEK_CUR : SEEK_END;
    return pos_type(off_type(seek(off, origin)));
}

FileBuffer::pos_type FileBuffer::seekpos(pos_type pos, std::ios_base::openmode which) {
    return seekoff(off_type(pos), std::ios_base::beg, which);
}

}  // namespace Lumetra
