#pragma once
// Binary PNM output: P5 (grey, .pgm) or P6 (RGB, .ppm) with maximum value
// 255, written row by row. Grey rows become RGB by repetition in a P6 file;
// RGB rows become grey by luma (0.299 R + 0.587 G + 0.114 B, rounded) in a
// P5 file.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tool/WriteBehind.h"

class PnmWriter {
public:
    // Opens the file and writes the header for width x height pixels.
    // `colour` chooses P6 over P5; `sourceBands` (1 or 3) is what writeRows
    // receives. Throws the library's write error.
    PnmWriter(const std::string& file, int32_t width, int32_t height, bool colour, int sourceBands);
    // Closes the file; a writer not finished leaves its file to the caller.
    ~PnmWriter();
    PnmWriter(const PnmWriter&) = delete;
    PnmWriter& operator=(const PnmWriter&) = delete;

    // Appends `count` rows of `rowBytes` bytes each. Throws the write error.
    void writeRows(const unsigned char* rows, int count, int64_t rowBytes);
    // Checks that every row came and closes the file. Throws the write error.
    void finish();

private:
    std::string file_;
    std::FILE* out_ = nullptr;
    int32_t width_, height_;
    int outBands_, sourceBands_;
    int32_t rowsWritten_ = 0;
    std::vector<unsigned char> converted_;
    WriteBehind behind_;
};
