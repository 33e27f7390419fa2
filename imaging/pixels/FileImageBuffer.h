#pragma once
// A strip buffer that appends each finished strip's rows to a raw file.

#include <cstdio>

#include "core/FileSpecification.h"
#include "imaging/pixels/PassThroughImageBuffer.h"

namespace Lumetra {

class FileImageBuffer : public PassThroughImageBuffer {
public:
    // Opens the file for binary writing (a failed open shows at the first
    // flush); the background is a zero pixel of the buffer's format.
    explicit FileImageBuffer(const FileSpecification& dataFile);
    ~FileImageBuffer() override;

    const FileSpecification& dataFile() const { return dataFile_; }
    // True when the data file is open.
    bool isOpen() const { return file_ != nullptr; }

protected:
    void onStart() override { writeHeader(); }
    void onFinish() override { writeTrailer(); }
    // Writes the strip's rows in one write. Throws Exception
    // "FileImageBuffer flush error - output file is NULL" or "Error writing to file".
    void flushStrip() override;
    // Appends `bytes` bytes of rows to the data file, as flushStrip does
    // with the strip's, with the same exceptions.
    void writeRows(const unsigned char* rows, int64_t bytes);
    virtual void writeHeader() {}
    virtual void writeTrailer() {}

private:
    FileSpecification dataFile_;
    FILE* file_ = nullptr;
};

}  // namespace Lumetra
