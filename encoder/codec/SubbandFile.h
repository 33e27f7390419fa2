#pragma once
// The temporary file of one subband: every coded block of every band of the
// subband, in the order the quantiser produced them, each stored as the
// image file holds it:
//   FF AA, 16 code-length counts, the symbol list, the step (big-endian
//   float), the record width and height (big-endian 32-bit), one 32-bit
//   offset per record, then the records, each FF A3 and its Huffman-coded
//   indices (one table for all the records of the band),
// except that a record's offset counts from the band's FF AA: the writer
// adds where the band lands in the image file. FF A9 ends the file.
// The bytes are kept in memory up to kKeptInMemory; past that they go to a
// file created exclusively under a temporary name, which is closed and
// deleted exactly once: by discard(), or when the object is destroyed.
// (Small images, such as most extracted regions, so make no subband files
// at all.)

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/FileSpecification.h"
#include "core/TemporaryName.h"
#include "format/HuffmanTable.h"

// The records of a width x height block, row by row: {x, y, w, h} each.
struct RecordCut {
    int x = 0, y = 0, width = 0, height = 0;
};
std::vector<RecordCut> cut_records(int width, int height, int recordWidth, int recordHeight);

// Where one band of one block lies in a subband file.
struct StoredBlock {
    int64_t offset = -1;  // of its FF AA marker; -1 when the band has no data
    int64_t length = 0;   // bytes up to the next block
};

class SubbandFile {
public:
    // Bytes a subband keeps in memory before it moves them to a file.
    static constexpr size_t kKeptInMemory = size_t(64) << 10;

    // A subband whose file, when it needs one, gets a temporary name in
    // `directory` (none: the default place) and is opened "w+b".
    explicit SubbandFile(const Lumetra::FileSpecification* directory);
    ~SubbandFile();
    SubbandFile(const SubbandFile&) = delete;
    SubbandFile& operator=(const SubbandFile&) = delete;

    // The file's name; uninitialised while the bytes are in memory.
    const Lumetra::FileSpecification& name() const { return reservation_.name(); }
    bool isOpen() const { return !discarded_; }

    // Appends one band of a block, coded as described above. Throws
    // Lumetra::Exception "Error opening <name> for write. Check to see that
    // the target drive is not full or write protected." when the file
    // cannot be made, and "Write error. Check that temporary directory is
    // not full." on a failed write.
    StoredBlock append(const std::vector<uint8_t>& band);

    // Writes FF A9, flushes and rewinds. Returns 0, non-zero on failure.
    int write_eof();
    // Size in bytes, or -1.
    int64_t size();
    // Reads `stored` back into `bytes`. Returns 0, non-zero on failure.
    int read(const StoredBlock& stored, std::vector<uint8_t>& bytes);

    // Closes and deletes the file; later calls do nothing.
    void discard();

private:
    // Appends to the memory, or to the file once there is one.
    void put(const uint8_t* bytes, size_t count);
    // Creates the file and moves the bytes kept in memory into it.
    void moveToFile();

    Lumetra::FileSpecification directory_;  // uninitialised: the default place
    std::vector<uint8_t> memory_;           // the bytes, until there is a file
    Lumetra::TemporaryReservation reservation_;
    FILE* file_ = nullptr;
    int64_t end_ = 0;  // where the next block goes
    bool discarded_ = false;
};

// The header of a stored band of a width x height block.
struct StoredBandHeader {
    Lumetra::HuffmanTable table;
    float step = 0.0f;
    size_t recordTable = 0;          // where the record offsets start
    std::vector<RecordCut> records;  // in the order of their offsets
};
// Reads the header of a stored band and checks its record offsets: each
// past the offsets and within `bytes`, none before the one ahead of it.
// Throws Error "Error encountered in ReadHTDesc." (marker or table),
// "Error encountered in read_float." (step or record size missing or not
// positive) or "Error encountered in expand_data." (offsets).
void read_band_header(const std::vector<uint8_t>& bytes, int width, int height, StoredBandHeader& header);

// Reads one band of one block back: seeks to its offset, reads its header
// and decodes its records (expand_data) into `indices` (width x height,
// row-major), counting coefficient positions. Throws Error with the failing
// step's message.
void decode_indices(SubbandFile& file, const StoredBlock& stored, int width, int height,
                    std::vector<int16_t>& indices, float& step);
// The same in two steps: reading the stored bytes (the file's part), and
// decoding them (any thread).
void read_stored(SubbandFile& file, const StoredBlock& stored, std::vector<uint8_t>& bytes);
void decode_stored(const std::vector<uint8_t>& bytes, int width, int height, std::vector<int16_t>& indices,
                   float& step);

// The table description of a stored band: `bytes` starts at its FF AA
// marker (checked), then 16 counts and the symbols. Returns the number of
// bytes used, or -1 when the marker is wrong or the table does not fit or
// is not valid.
long ReadHTDesc(const uint8_t* bytes, size_t size, Lumetra::HuffmanTable& table);

// Decodes a payload (FF A3, checked, then the coded symbols) into exactly
// `count` index positions into `indices` (zero-filled by the caller), zero
// runs counted by their length. Returns 0; 1 when the marker is wrong, the
// data is not a sequence of codes of `table` or ends early; 2 when the
// positions do not add up to `count`.
int expand_data(const uint8_t* bytes, size_t size, const Lumetra::HuffmanTable& table, int16_t* indices,
                size_t count);
