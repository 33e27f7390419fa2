#pragma once
// A JPEG file decoded row by row into 8-bit grey or RGB samples. Every
// failure of the decoding library becomes an Exception carrying the
// library's own message instead of ending the process.

#include <cstdint>
#include <memory>

#include "core/FileSpecification.h"

namespace Lumetra {

class JpegReader {
public:
    // Opens the file and reads its header. Throws OpenError
    // "Error opening file %s for read." before the library reads anything,
    // and Exception with the library's message for a damaged header.
    explicit JpegReader(const FileSpecification& file);
    ~JpegReader();
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    int width() const;
    int height() const;
    // Components in the file (1 grey, 3 colour, 4 CMYK, ...).
    int components() const;
    // Bits per sample in the file.
    int precision() const;

    // Starts decompression with the library's default output conversion.
    void start();
    // Decodes the next row into `row`, which holds width() x components()
    // bytes. Coded data that ends early or is damaged is an error, not a
    // picture filled with grey.
    void readRow(unsigned char* row);
    // Finishes decompression after the last row.
    void finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace Lumetra
