#pragma once
// Where the bytes of a Wavra file come from.

#include <cstddef>
#include <cstdint>

namespace wavra {

// The bytes of a Wavra file, served by the host (memory, an archive, a
// virtual file system). Reads may come in any order.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Total size in bytes.
    virtual uint64_t size() = 0;
    // Copies up to `count` bytes starting at `offset` into `buffer` and
    // returns how many were copied: fewer only at the end of the data, 0 at
    // or past it. A failed read throws (any wavra::Error) or returns 0.
    virtual size_t readAt(uint64_t offset, void* buffer, size_t count) = 0;
};

}  // namespace wavra
