#pragma once
// PNG output of 8-bit grey or RGB rows, written row by row.

#include <cstdint>
#include <memory>
#include <string>

class PngWriter {
public:
    // Opens the file and writes the PNG header for width x height pixels of
    // `bands` (1 grey, 3 RGB) samples. Throws the library's write error.
    PngWriter(const std::string& file, int32_t width, int32_t height, int bands);
    // Releases the encoder and closes the file; a writer not finished leaves
    // its file to the caller.
    ~PngWriter();
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    // Appends `count` rows of `rowBytes` bytes each. Throws the write error.
    void writeRows(const unsigned char* rows, int count, int64_t rowBytes);
    // Checks that every row came, writes the end of the image and closes the
    // file. Throws the write error.
    void finish();

    // The encoder's state; public only so that libpng's callbacks reach it.
    struct State;

private:
    std::unique_ptr<State> state_;
};
