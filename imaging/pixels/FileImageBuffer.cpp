#include "imaging/pixels/FileImageBuffer.h"

#include "core/Exception.h"

namespace Lumetra {

FileImageBuffer::FileImageBuffer(const FileSpecification& dataFile) : dataFile_(dataFile) {
    file_ = dataFile_.open("wb");
    setBackground(Pixel(info_));
}

FileImageBuffer::~FileImageBuffer() {
    if (file_) std::fclose(file_);
}

void FileImageBuffer::flushStrip() { writeRows(stripAddress(0, 0, 0), rowStride_ * std::max(0, stripRect_.height())); }

void FileImageBuffer::writeRows(const unsigned char* rows, int64_t bytes) {
    if (!file_) throw Exception("FileImageBuffer flush error - output file is NULL");
    if (bytes <= 0) return;
    if (std::fwrite(rows, 1, size_t(bytes), file_) != size_t(bytes)) throw Exception("Error writing to file");
}

}  // namespace Lumetra
