#pragma once
// Buffered, read-only byte stream over one byte source: a file opened "rb"
// by name, or any source a host serves. It is a std::streambuf, so standard
// input streams can read through it; the read-ahead area is the stream
// buffer's get area. A read the source fails ends the stream there.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <streambuf>
#include <vector>

#include "core/FileSpecification.h"
#include "wavra/byte_source.h"

namespace Lumetra {

class FileByteSource;

class FileBuffer : public std::streambuf {
public:
    static constexpr size_t kDefaultReadAhead = 128;

    FileBuffer();
    explicit FileBuffer(const char* path);
    explicit FileBuffer(std::shared_ptr<wavra::ByteSource> source);
    ~FileBuffer() override;
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;

    // Throws Exception "File: <path> could not be opened." on failure.
    void open(const char* path);
    void open(const FileSpecification& path);
    // Reads `source` from its first byte (a null source leaves the buffer closed).
    void open(std::shared_ptr<wavra::ByteSource> source);
    // Throws Exception "Error closing file!" when closing a file this buffer
    // opened by name fails.
    void close();
    bool isOpen() const { return source_ != nullptr; }

    // Reallocates the read-ahead area; bytes waiting in the window are not
    // lost (the file is first brought to the logical position).
    void setReadAhead(size_t n);

    // Delivers up to n bytes (fewer only at end of file).
    size_t read(void* dest, size_t n);
    // The next byte, or -1 at end of file.
    int readByte();
    // The logical position: where the next byte read comes from.
    int64_t position();
    // Seeks relative to SEEK_SET, SEEK_CUR or SEEK_END; returns the new
    // position or -1 when the seek fails.
    int64_t seek(int64_t offset, int origin);
    // Size of the file in bytes (the position is kept), or -1.
    int64_t size();

protected:
    int_type underflow() override;
    std::streamsize xsgetn(char* s, std::streamsize n) override;
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

private:
    void requireOpen() const;
    void emptyWindow();
    size_t refill();
    void advanceWindow(size_t n);
    size_t windowRemaining() const { return size_t(egptr() - gptr()); }

    std::shared_ptr<wavra::ByteSource> source_;
    std::shared_ptr<FileByteSource> ownFile_;         // the file opened by name, if any
    int64_t sourcePosition_ = 0;                     // where the next read from the source starts
    std::vector<char> area_;
    bool windowEmpty_ = true;
};

}  // namespace Lumetra
