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

void FileImageBuffer::flushStrip() {
    if (!file_) throw Exception("FileImageBuffer flush error - output file is NULL");
    const int64_t bytes = rowStride_ * std::max(0, stripRect_.height());
    if (bytes <= 0) return;
    if (std::fwrite(stripAddress(0, 0, 0), 1, size_t(bytes), file_) != size_t(bytes))
        throw Exception("Error writing to file");
}

}  // namespace Lumetra
