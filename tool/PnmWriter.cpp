#include "tool/PnmWriter.h"

#include "wavra/wavra.h"

PnmWriter::PnmWriter(const std::string& file, int32_t width, int32_t height, bool colour, int sourceBands)
    : file_(file), width_(width), height_(height), outBands_(colour ? 3 : 1), sourceBands_(sourceBands) {
    out_ = std::fopen(file_.c_str(), "wb");
    if (!out_) wavra::throwWriteError(file_);
    if (std::fprintf(out_, "%s\n%d %d\n255\n", colour ? "P6" : "P5", int(width_), int(height_)) < 0)
        wavra::throwWriteError(file_);
    behind_.follow(out_);
    if (sourceBands_ != outBands_) converted_.resize(size_t(width_) * size_t(outBands_));
}

PnmWriter::~PnmWriter() {
    if (out_) std::fclose(out_);
}

void PnmWriter::writeRows(const unsigned char* rows, int count, int64_t rowBytes) {
    if (count > height_ - rowsWritten_) wavra::throwWriteError(file_);
    const size_t width = size_t(width_);
    if (sourceBands_ == outBands_ && rowBytes == int64_t(width * size_t(outBands_))) {
        // Rows that follow one another go out in one write.
        const size_t bytes = size_t(count) * width * size_t(outBands_);
        if (count > 0 && std::fwrite(rows, 1, bytes, out_) != bytes) wavra::throwWriteError(file_);
        behind_.wrote(bytes);
        rowsWritten_ += count;
        return;
    }
    for (int r = 0; r < count; ++r) {
        const unsigned char* row = rows + int64_t(r) * rowBytes;
        const unsigned char* data = row;
        if (sourceBands_ == 1 && outBands_ == 3) {
            for (size_t x = 0; x < width; ++x)
                converted_[3 * x] = converted_[3 * x + 1] = converted_[3 * x + 2] = row[x];
            data = converted_.data();
        } else if (sourceBands_ == 3 && outBands_ == 1) {
            for (size_t x = 0; x < width; ++x)
                converted_[x] = (unsigned char)((299u * row[3 * x] + 587u * row[3 * x + 1] +
                                                 114u * row[3 * x + 2] + 500u) /
                                                1000u);
            data = converted_.data();
        }
        const size_t bytes = width * size_t(outBands_);
        if (std::fwrite(data, 1, bytes, out_) != bytes) wavra::throwWriteError(file_);
        behind_.wrote(bytes);
    }
    rowsWritten_ += count;
}

void PnmWriter::finish() {
    std::FILE* f = out_;
    out_ = nullptr;
    if (!f) wavra::throwWriteError(file_);
    const bool ok = rowsWritten_ == height_ && std::fflush(f) == 0 && std::ferror(f) == 0;
    if (std::fclose(f) != 0 || !ok) wavra::throwWriteError(file_);
}
