#pragma once
// The byte sources the library reads Wavra files through: a file opened by
// name, and a block of memory the caller keeps alive. Every reader of a
// source goes through readFrom, so a source that fails a read (by throwing
// or by delivering less) looks like a file that ends there.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "core/FileSpecification.h"
#include "wavra/byte_source.h"

namespace Lumetra {

class FileByteSource : public wavra::ByteSource {
public:
    // Opens `path` "rb"; throws Exception "File: <path> could not be opened.".
    explicit FileByteSource(const FileSpecification& path);
    ~FileByteSource() override;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    // Throws Exception "File error encountered." when the size cannot be had.
    uint64_t size() override;
    size_t readAt(uint64_t offset, void* buffer, size_t count) override;
    // Closes the file (later reads deliver nothing); false when the close fails.
    bool close();

private:
    FILE* file_ = nullptr;  // read with pread: reads at once need no lock
};

class MemoryByteSource : public wavra::ByteSource {
public:
    MemoryByteSource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    uint64_t size() override { return size_; }
    size_t readAt(uint64_t offset, void* buffer, size_t count) override;

private:
    const uint8_t* data_;
    size_t size_;
};

// Up to `count` bytes at `offset`: what the source delivers (never more than
// asked), or 0 when it throws.
size_t readFrom(wavra::ByteSource& source, uint64_t offset, void* buffer, size_t count);
// The source's size, or -1 when it throws or exceeds the file offsets.
int64_t sizeOf(wavra::ByteSource& source);

}  // namespace Lumetra
