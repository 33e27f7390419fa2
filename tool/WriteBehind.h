#pragma once
// Starts the disk write of an output file's bytes while the later ones are
// still being made, so that the flush to disk before the output takes its
// name finds little left to write: for a 4096 x 4096 RGB image that flush
// took longer than the decoding.

#include <sys/types.h>

#include <cstddef>
#include <cstdio>

class WriteBehind {
public:
    explicit WriteBehind(std::FILE* file) : file_(file) {}

    // Counts `bytes` just written through the file; every few megabytes it
    // hands what the file holds so far to the disk without waiting for it.
    // A file that cannot be written back early (a pipe) is written as usual.
    void wrote(std::size_t bytes);

private:
    std::FILE* file_;
    std::size_t pending_ = 0;  // written since the last start
    off_t started_ = 0;        // bytes whose write has been started
};
