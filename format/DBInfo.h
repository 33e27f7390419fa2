#pragma once
// The block database: reads a Wavra file's header and subband sections and
// answers which blocks of a subband meet a rectangle, what a block's header
// says, and what bytes a coded block holds.
//
// Every count, offset and size read from the file is checked against the
// file's length and sane bounds before it sizes an allocation or an index;
// a file that fails a check throws Exception.
//
// Decodes running at once may share one database: block headers are read
// under a lock, and each iterator reads payloads into its own buffer.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "core/FileBuffer.h"
#include "core/FileSpecification.h"
#include "format/HuffmanDecoder.h"
#include "format/HuffmanTable.h"
#include "format/RecentCache.h"
#include "wavra/byte_source.h"

namespace Lumetra {

class DBInfo {
public:
    // Largest band count and level count a file may declare.
    static constexpr int kMaxBands = 64;
    static constexpr int kMaxLevels = 30;
    // Grid cell value of a cell without a block.
    static constexpr int32_t kEmptyCell = 0x7FFFFFFF;

    // What the head of one subband section says.
    struct SubbandRecord {
        uint8_t dither[2] = {0, 0};  // dither offsets d0, d1
        int32_t blockCount = 0;      // N
        int64_t offset = 0;          // section offset in the file
    };

    // One block's header: its support and, per band, the coding parameters
    // and the code-blocks. A band with header offset 0 has everything zero.
    class BlockHeader {
    public:
        struct Band {
            int64_t headerOffset = 0;
            float step = 0.0f;
            HuffmanTable table;  // as read: checked when a decoder is built from it
            int32_t codeBlockWidth = 0;
            int32_t codeBlockHeight = 0;
            std::vector<int64_t> offsets;
            std::vector<int64_t> lengths;
        };

        BlockHeader() = default;
        virtual ~BlockHeader() = default;

        int bandCount() const { return int(bands_.size()); }
        int32_t x0() const { return x0_; }
        int32_t x1() const { return x1_; }
        int32_t y0() const { return y0_; }
        int32_t y1() const { return y1_; }
        // True when the band has data in this block.
        bool hasData(int band) const { return bands_[size_t(band)].headerOffset != 0; }
        float step(int band) const { return bands_[size_t(band)].step; }
        const HuffmanTable& table(int band) const { return bands_[size_t(band)].table; }
        int32_t codeBlockWidth(int band) const { return bands_[size_t(band)].codeBlockWidth; }
        int32_t codeBlockHeight(int band) const { return bands_[size_t(band)].codeBlockHeight; }
        int32_t codeBlockCount(int band) const { return int32_t(bands_[size_t(band)].offsets.size()); }
        int64_t codeBlockOffset(int band, int k) const { return bands_[size_t(band)].offsets[size_t(k)]; }
        int64_t codeBlockLength(int band, int k) const { return bands_[size_t(band)].lengths[size_t(k)]; }
        const Band& band(int b) const { return bands_[size_t(b)]; }
        // The band's decoder when the database made it with the header (a
        // header it keeps for reuse), else null.
        const HuffmanDecoder* decoder(int b) const {
            return size_t(b) < decoders_.size() ? decoders_[size_t(b)].get() : nullptr;
        }

    private:
        friend class DBInfo;
        std::vector<std::unique_ptr<const HuffmanDecoder>> decoders_;
        int32_t x0_ = 0, x1_ = 0, y0_ = 0, y1_ = 0;
        std::vector<Band> bands_;
    };

    // Walks the blocks of one subband that meet a query rectangle. Positioned
    // on the first block at once; current() is null when none is left.
    class blk_hdr_iterator {
    public:
        blk_hdr_iterator(DBInfo& db, int subband) : db_(db), subband_(subband) {}
        virtual ~blk_hdr_iterator() = default;
        blk_hdr_iterator(const blk_hdr_iterator&) = delete;
        blk_hdr_iterator& operator=(const blk_hdr_iterator&) = delete;

        // Moves to the next block (the current header is released first).
        virtual void next() = 0;
        // Reads length + 2 bytes of code-block k of `band` of the current
        // block into this iterator's reusable buffer; `size` receives the
        // count. The pointer is valid until the next read.
        virtual const uint8_t* readPayload(int band, int k, size_t* size = nullptr);

        bool done() const { return current() == nullptr; }
        virtual const BlockHeader* current() const { return header_.get(); }
        // Unique within the subband (the kind of database decides the numbering).
        int32_t blockNumber() const { return blockNumber_; }
        int subband() const { return subband_; }

    protected:
        DBInfo& db_;
        int subband_;
        int32_t blockNumber_ = 0;
        std::shared_ptr<const BlockHeader> header_;

    private:
        // The current band's code-blocks when the database keeps them.
        int band_ = -1;
        int64_t bandFirst_ = -1;  // file offset of its first code-block
        std::shared_ptr<const std::vector<uint8_t>> bandPayload_;
        std::vector<uint8_t> payload_;  // else one code-block
    };

    virtual ~DBInfo();
    DBInfo(const DBInfo&) = delete;
    DBInfo& operator=(const DBInfo&) = delete;

    // Builds the database of index mode 0..3 (1: DBInfoSM, 3: DBInfoLM, else
    // DBInfoMM) over the bytes of `source`; `name` names the file in
    // messages. A mode above 3 throws InvalidArgumentException.
    static std::unique_ptr<DBInfo> create(std::shared_ptr<wavra::ByteSource> source,
                                          const FileSpecification& name, int mode);

    // The blocks of `subband` meeting columns [qx0, qx1] and rows [qy0, qy1].
    virtual std::unique_ptr<blk_hdr_iterator> iterator(int subband, int32_t qx0, int32_t qx1, int32_t qy0,
                                                       int32_t qy1) = 0;
    // Reads the header of block `block` of `subband`.
    virtual std::unique_ptr<BlockHeader> readBlockHeader(int subband, int32_t block);
    // The same, from the headers read lately when it is among them: a region
    // decoded strip by strip visits each block once a strip and colour band.
    std::shared_ptr<const BlockHeader> cachedBlockHeader(int subband, int32_t block);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int levels() const { return levels_; }
    int bands() const { return bands_; }
    const uint8_t* version() const { return version_; }
    int subbandCount() const { return int(subbands_.size()); }
    const SubbandRecord& subband(int i) const { return subbands_.at(size_t(i)); }
    int64_t fileSize() const { return fileSize_; }
    // True when the source serves reads from several threads at once.
    bool readsAtOnce() const { return sourceReadsAtOnce_; }
    const FileSpecification& file() const { return file_; }

    // Reads length + 2 bytes at code-block k of `band` into the reusable
    // buffer; a short read throws "Error reading record from stream!".
    const uint8_t* readPayload(const BlockHeader& header, int band, int k, size_t* size = nullptr);
    // The same into `into`, which grows as needed; safe beside other reads.
    const uint8_t* readPayload(const BlockHeader& header, int band, int k, std::vector<uint8_t>& into,
                               size_t* size = nullptr);

protected:
    // Reads the header and every section head.
    DBInfo(std::shared_ptr<wavra::ByteSource> source, const FileSpecification& name);

    // The bounds and header offsets of one block-table entry.
    struct TableEntry {
        std::vector<int64_t> headerOffsets;
        int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        bool hasData() const;
    };
    // Reads the whole block table of a subband (bounded by the file size).
    std::vector<TableEntry> readBlockTable(int subband);
    TableEntry readTableEntry(int subband, int32_t block);
    // Where the last code-block of (subband, block) ends: the first non-zero
    // header offset of a later block, else the next section, else the
    // metadata offset or the file end minus 2.
    int64_t endOfBlock(int subband, int32_t block);
    // The same for every block of a table at once.
    std::vector<int64_t> endsOfBlocks(int subband, const std::vector<TableEntry>& table);
    // Per subband, endOfBlock of each block (filled on first use, or by the
    // grid builders, which read the table anyway).
    std::vector<std::vector<int64_t>> blockEnds_;

private:
    static constexpr size_t kHeaderReadAhead = 4096;
    // What the headers kept for reuse may take at most (estimated).
    static constexpr size_t kHeaderCacheBytes = size_t(8) << 20;
    // The code-blocks of one band of a block are kept whole up to this size,
    // and all kept ones up to the next.
    static constexpr int64_t kBandPayloadBytes = int64_t(1) << 20;
    static constexpr size_t kPayloadCacheBytes = size_t(16) << 20;

    // The code-blocks of `band` of a block, read whole (or from the kept
    // ones); null when they are too large to keep.
    std::shared_ptr<const std::vector<uint8_t>> bandPayload(const BlockHeader& header, int band);
    // Where code-block k of `band` lies, length + 2 bytes; throws for one
    // outside the block or the file.
    void payloadExtent(const BlockHeader& header, int band, int k, int64_t& offset, int64_t& n) const;
    // Reads from the source, taking turns with other readers unless the
    // source reads at once.
    size_t readSource(int64_t offset, void* into, size_t n);

    void readFileHeader();
    // Checks the header's width, height and levels against the block tables:
    // every block with data lies inside its subband's extent for the header's
    // size, and the blocks of the finest subbands reach that extent across
    // and down. A file that fails throws kReadErrorMessage, before anything
    // is sized by the header.
    void checkSizeAgainstBlockTables();
    SubbandRecord readSectionHead(int subband);
    int64_t endOfLastSubband();
    uint32_t readU32();
    int32_t readI32();
    void readBytes(void* dest, size_t n);
    void seekTo(int64_t position, const char* message);

    FileSpecification file_;
    int32_t width_ = 0, height_ = 0;
    int levels_ = 0, bands_ = 0;
    uint8_t version_[3] = {0, 0, 0};
    std::vector<SubbandRecord> subbands_;
    std::vector<uint8_t> buffer_;
    std::shared_ptr<wavra::ByteSource> source_;
    FileBuffer stream_;  // headers and tables; payloads are read from source_ directly
    int64_t fileSize_ = 0;
    int64_t endOfLast_ = -1;
    std::mutex readLock_;  // the stream, the source and the block ends, once built
    bool sourceReadsAtOnce_ = false;  // payloads may then be read without the lock
    std::unique_ptr<RecentCache<BlockHeader>> headerCache_;
    std::unique_ptr<RecentCache<std::vector<uint8_t>>> payloadCache_;
};

// The database the tool uses: a grid of block numbers per subband and an
// interval search; reads one block header per visited block.
class DBInfoMM : public DBInfo {
public:
    struct Grid {
        std::vector<int32_t> columns;  // ascending distinct column boundaries
        std::vector<int32_t> rows;     // ascending distinct row boundaries
        int32_t columnCount = 0, rowCount = 0;
        int32_t widest = 0, tallest = 0;
        std::vector<int32_t> cells;  // columnCount x rowCount, cell (c, r) at c * rowCount + r
        int32_t at(int32_t column, int32_t row) const {
            return cells[size_t(column) * size_t(rowCount) + size_t(row)];
        }
    };

    DBInfoMM(std::shared_ptr<wavra::ByteSource> source, const FileSpecification& name);
    std::unique_ptr<blk_hdr_iterator> iterator(int subband, int32_t qx0, int32_t qx1, int32_t qy0,
                                               int32_t qy1) override;
    const Grid& grid(int subband) const { return grids_.at(size_t(subband)); }

    // The interval of `a` among boundaries v[0..n] given the widest interval
    // g; values below v[0] answer 0.
    static int32_t findInterval(int32_t a, const std::vector<int32_t>& v, int32_t g);

protected:
    std::vector<Grid> grids_;
};

// Like DBInfoMM, but holds every block header, all read when it is built.
class DBInfoLM : public DBInfoMM {
public:
    DBInfoLM(std::shared_ptr<wavra::ByteSource> source, const FileSpecification& name);
    std::unique_ptr<blk_hdr_iterator> iterator(int subband, int32_t qx0, int32_t qx1, int32_t qy0,
                                               int32_t qy1) override;
    // The header held for grid cell (column, row) of a subband, or null.
    const BlockHeader* heldHeader(int subband, int32_t column, int32_t row) const;

private:
    std::vector<std::vector<std::unique_ptr<BlockHeader>>> headers_;  // per subband, per cell
};

// Keeps no grid: visits every block of the subband in table order.
class DBInfoSM : public DBInfo {
public:
    DBInfoSM(std::shared_ptr<wavra::ByteSource> source, const FileSpecification& name);
    std::unique_ptr<blk_hdr_iterator> iterator(int subband, int32_t qx0, int32_t qx1, int32_t qy0,
                                               int32_t qy1) override;
};

}  // namespace Lumetra
