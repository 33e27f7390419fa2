#include "encoder/codec/SubbandFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "core/Error.h"
#include "core/Exception.h"
#include "format/BigEndian.h"
#include "format/CodedBlockReader.h"
#include "format/FileLayout.h"
#include "wavra/diagnostics.h"

namespace {

namespace layout = Lumetra::FileLayout;

constexpr const char* kWriteFailure = "Write error. Check that temporary directory is not full.";

}  // namespace

SubbandFile::SubbandFile(const Lumetra::FileSpecification* directory) {
    if (directory) directory_ = *directory;
}

SubbandFile::~SubbandFile() { discard(); }

void SubbandFile::discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    reservation_.release();
    std::vector<uint8_t>().swap(memory_);
    discarded_ = true;
}

void SubbandFile::moveToFile() {
    reservation_ = Lumetra::TemporaryReservation(directory_.isInitialized() ? &directory_ : nullptr);
    file_ = reservation_.name().open("w+b");
    if (!file_)
        throw Lumetra::Exception(
            std::string("Error opening ") + reservation_.name().path() +
            " for write. Check to see that the target drive is not full or write protected.");
    if (!memory_.empty() && std::fwrite(memory_.data(), 1, memory_.size(), file_) != memory_.size())
        throw Lumetra::Exception(kWriteFailure);
    std::vector<uint8_t>().swap(memory_);
}

void SubbandFile::put(const uint8_t* bytes, size_t count) {
    if (!file_ && size_t(end_) + count > kKeptInMemory) moveToFile();
    if (file_) {
        if (fseeko(file_, end_, SEEK_SET) != 0 || std::fwrite(bytes, 1, count, file_) != count)
            throw Lumetra::Exception(kWriteFailure);
    } else {
        memory_.resize(size_t(end_));  // over an end marker, as a file is written over it
        memory_.insert(memory_.end(), bytes, bytes + count);
    }
    end_ += int64_t(count);
}

StoredBlock SubbandFile::append(const std::vector<uint8_t>& band) {
    if (discarded_) throw Lumetra::Exception(kWriteFailure);
    StoredBlock stored;
    stored.offset = end_;
    put(band.data(), band.size());
    stored.length = end_ - stored.offset;
    return stored;
}

int SubbandFile::write_eof() {
    if (discarded_) return 1;
    const uint8_t marker[2] = {layout::kMarker, layout::kStoredEnd};
    if (!file_) {
        memory_.resize(size_t(end_));
        memory_.insert(memory_.end(), marker, marker + 2);
        return 0;
    }
    if (fseeko(file_, end_, SEEK_SET) != 0) return 1;
    if (std::fwrite(marker, 1, 2, file_) != 2 || std::fflush(file_) != 0) return 1;
    std::rewind(file_);
    return 0;
}

int64_t SubbandFile::size() {
    if (discarded_) return -1;
    if (!file_) return int64_t(memory_.size());
    if (std::fflush(file_) != 0) return -1;
    const int64_t here = ftello(file_);
    if (fseeko(file_, 0, SEEK_END) != 0) return -1;
    const int64_t n = ftello(file_);
    fseeko(file_, here, SEEK_SET);
    return n;
}

int SubbandFile::read(const StoredBlock& stored, std::vector<uint8_t>& bytes) {
    if (discarded_ || stored.offset < 0 || stored.length < 0 || stored.offset + stored.length > end_)
        return 1;
    if (!file_) {
        bytes.assign(memory_.begin() + stored.offset, memory_.begin() + stored.offset + stored.length);
        return 0;
    }
    if (fseeko(file_, stored.offset, SEEK_SET) != 0) return 1;
    bytes.resize(size_t(stored.length));
    if (std::fread(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        wavra::diagnostic("Read error in subroutine fread2.\n");
        return 2;
    }
    return 0;
}

long ReadHTDesc(const uint8_t* bytes, size_t size, Lumetra::HuffmanTable& table) {
    if (size < 2 || bytes[0] != layout::kMarker || bytes[1] != layout::kBlockHeader) return -1;
    size_t at = 2;
    const auto read = [&](void* dest, size_t n) {
        if (size - at < n) return false;
        std::memcpy(dest, bytes + at, n);
        at += n;
        return true;
    };
    if (!Lumetra::readTableDescription(read, table) || !table.isValid()) return -1;
    return long(at);
}

int expand_data(const uint8_t* bytes, size_t size, const Lumetra::HuffmanTable& table, int16_t* indices,
                size_t count) {
    if (size < 2 || bytes[0] != layout::kMarker || bytes[1] != layout::kCodeBlock) return 1;
    try {
        const Lumetra::HuffmanDecoder decoder(table);
        Lumetra::CodedBlockReader reader(bytes, size);
        const int64_t end = reader.decode(decoder, 0, int64_t(count), [indices](int64_t at, int32_t value) {
            indices[at] = int16_t(value);
        });
        return end == int64_t(count) ? 0 : 2;
    } catch (const Lumetra::Exception&) {
        return 1;  // no code of the table, or the data ends first
    }
}

std::vector<RecordCut> cut_records(int width, int height, int recordWidth, int recordHeight) {
    std::vector<RecordCut> cuts;
    if (width <= 0 || height <= 0 || recordWidth <= 0 || recordHeight <= 0) return cuts;
    // 64-bit steps: a record may be larger than the block.
    for (int64_t y = 0; y < height; y += recordHeight)
        for (int64_t x = 0; x < width; x += recordWidth)
            cuts.push_back({int(x), int(y), int(std::min<int64_t>(recordWidth, width - x)),
                            int(std::min<int64_t>(recordHeight, height - y))});
    return cuts;
}

void read_stored(SubbandFile& file, const StoredBlock& stored, std::vector<uint8_t>& bytes) {
    const int r = file.read(stored, bytes);
    if (r == 1) throw Error("File offset error in subroutine decode_indices.\n");
    if (r != 0) throw Error("Error encountered in ReadHTDesc.");
}

void read_band_header(const std::vector<uint8_t>& bytes, int width, int height, StoredBandHeader& header) {
    const long used = ReadHTDesc(bytes.data(), bytes.size(), header.table);
    if (used < 0) throw Error("Error encountered in ReadHTDesc.");
    const size_t at = size_t(used);
    if (bytes.size() < at + 12) throw Error("Error encountered in read_float.");
    header.step = Lumetra::getFloat(bytes.data() + at);
    const uint32_t recordWidth = Lumetra::getU32(bytes.data() + at + 4);
    const uint32_t recordHeight = Lumetra::getU32(bytes.data() + at + 8);
    if (recordWidth == 0 || recordHeight == 0 || recordWidth > uint32_t(INT32_MAX) ||
        recordHeight > uint32_t(INT32_MAX) || width <= 0 || height <= 0)
        throw Error("Error encountered in read_float.");
    header.recordTable = at + 12;
    // The offsets must fit before the records are listed.
    const uint64_t count = ((uint64_t(width) + recordWidth - 1) / recordWidth) *
                           ((uint64_t(height) + recordHeight - 1) / recordHeight);
    if (count > (bytes.size() - header.recordTable) / 4) throw Error("Error encountered in expand_data.");
    header.records = cut_records(width, height, int(recordWidth), int(recordHeight));
    size_t previous = header.recordTable + 4 * header.records.size();
    for (size_t r = 0; r < header.records.size(); ++r) {
        const size_t start = Lumetra::getU32(bytes.data() + header.recordTable + 4 * r);
        if (start < previous || start >= bytes.size()) throw Error("Error encountered in expand_data.");
        previous = start;
    }
}

void decode_stored(const std::vector<uint8_t>& bytes, int width, int height, std::vector<int16_t>& indices,
                   float& step) {
    if (width <= 0 || height <= 0 || int64_t(width) * int64_t(height) > (int64_t(1) << 30))
        throw Error("Memory allocation error.");
    const size_t count = size_t(width) * size_t(height);
    try {
        indices.assign(count, 0);
    } catch (const std::bad_alloc&) {
        throw Error("Memory allocation error.");
    }
    StoredBandHeader header;
    read_band_header(bytes, width, height, header);
    step = header.step;
    // Each record runs to the next one's start (the last to the end) and is
    // decoded into a window of the block.
    std::vector<int16_t> record;
    const uint8_t* table = bytes.data() + header.recordTable;
    for (size_t r = 0; r < header.records.size(); ++r) {
        const RecordCut& cut = header.records[r];
        const size_t start = Lumetra::getU32(table + 4 * r);
        const size_t end =
            r + 1 < header.records.size() ? Lumetra::getU32(table + 4 * (r + 1)) : bytes.size();
        record.assign(size_t(cut.width) * size_t(cut.height), 0);
        const int e =
            expand_data(bytes.data() + start, end - start, header.table, record.data(), record.size());
        if (e == 1) throw Error("Error encountered in expand_data.");
        if (e != 0) throw Error("Incorrect number of symbols decoded.");
        for (int y = 0; y < cut.height; ++y)
            std::copy(record.begin() + ptrdiff_t(y) * cut.width,
                      record.begin() + ptrdiff_t(y + 1) * cut.width,
                      indices.begin() + ptrdiff_t(cut.y + y) * width + cut.x);
    }
}

void decode_indices(SubbandFile& file, const StoredBlock& stored, int width, int height,
                    std::vector<int16_t>& indices, float& step) {
    std::vector<uint8_t> bytes;
    read_stored(file, stored, bytes);
    decode_stored(bytes, width, height, indices, step);
}
