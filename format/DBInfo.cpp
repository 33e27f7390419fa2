#include "format/DBInfo.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/ByteSources.h"
#include "core/Exception.h"
#include "format/BigEndian.h"
#include "format/FileLayout.h"
#include "format/FormatMessages.h"

namespace Lumetra {

namespace {

// Bounds of a block with data: non-negative, ordered, and x1 + 1 representable.
bool soundBounds(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    return x0 >= 0 && y0 >= 0 && x1 >= x0 && y1 >= y0 && x1 < std::numeric_limits<int32_t>::max() &&
           y1 < std::numeric_limits<int32_t>::max();
}

}  // namespace

// ---------------------------------------------------------------- BlockHeader

bool DBInfo::TableEntry::hasData() const {
    for (int64_t o : headerOffsets)
        if (o != 0) return true;
    return false;
}

// ---------------------------------------------------------------- DBInfo

namespace {

// What a kept header takes, roughly.
size_t headerBytes(const DBInfo::BlockHeader& h) {
    size_t n = sizeof(DBInfo::BlockHeader) + 64;
    for (int b = 0; b < h.bandCount(); ++b)
        n += sizeof(DBInfo::BlockHeader::Band) + h.band(b).table.symbols.size() + 16 * h.band(b).offsets.size() +
             (h.decoder(b) ? sizeof(HuffmanDecoder) : 0);
    return n;
}

}  // namespace

DBInfo::DBInfo(std::shared_ptr<wavra::ByteSource> source, const FileSpecification& name)
    : file_(name),
      source_(std::move(source)),
      headerCache_(new RecentCache<BlockHeader>(kHeaderCacheBytes)),
      payloadCache_(new RecentCache<std::vector<uint8_t>>(kPayloadCacheBytes)) {
    if (!source_) throw NullPointerException();
    // Our own sources read with pread or from memory; a host's may keep a
    // position, so its reads take turns.
    sourceReadsAtOnce_ = dynamic_cast<FileByteSource*>(source_.get()) != nullptr ||
                         dynamic_cast<MemoryByteSource*>(source_.get()) != nullptr;
    stream_.open(source_);
    // A block header (tables and offset lists) mostly fits one read.
    stream_.setReadAhead(kHeaderReadAhead);
    fileSize_ = stream_.size();
    if (fileSize_ < 0) throw Exception(kReadStreamBang);
    readFileHeader();
    subbands_.reserve(size_t(3 * levels_ + 1));
    for (int i = 0; i <= 3 * levels_; ++i) subbands_.push_back(readSectionHead(i));
    checkSizeAgainstBlockTables();
}

DBInfo::~DBInfo() = default;

std::unique_ptr<DBInfo> DBInfo::create(std::shared_ptr<wavra::ByteSource> source,
                                       const FileSpecification& name, int mode) {
    switch (mode) {
        case 0:
        case 2:
            return std::unique_ptr<DBInfo>(new DBInfoMM(std::move(source), name));
        case 1:
            return std::unique_ptr<DBInfo>(new DBInfoSM(std::move(source), name));
        case 3:
            return std::unique_ptr<DBInfo>(new DBInfoLM(std::move(source), name));
        default:
            throw InvalidArgumentException("Unknown block index mode");
    }
}

void DBInfo::readBytes(void* dest, size_t n) {
    if (stream_.read(dest, n) != n) throw Exception(kReadStreamBang);
}

uint32_t DBInfo::readU32() {
    uint8_t b[4];
    if (stream_.read(b, 4) != 4) throw Exception(kReadStreamDot);
    return getU32(b);
}

int32_t DBInfo::readI32() { return int32_t(readU32()); }

void DBInfo::seekTo(int64_t position, const char* message) {
    if (position < 0 || position > fileSize_ || stream_.seek(position, SEEK_SET) != position)
        throw Exception(message);
}

void DBInfo::readFileHeader() {
    seekTo(0, kReadStreamBang);
    char magic[4];
    readBytes(magic, 4);
    if (std::memcmp(magic, FileLayout::kMagic, 4) != 0) throw Exception(kNotWavra);
    readBytes(version_, 3);
    // A newer layout is refused before anything after the version is parsed.
    if (!FileLayout::isReadableVersion(version_)) throw Exception(newerVersionMessage(file_));
    bands_ = readI32();
    levels_ = readI32();
    width_ = readI32();
    height_ = readI32();
    if (bands_ < 1 || bands_ > kMaxBands || levels_ < 0 || levels_ > kMaxLevels || width_ < 1 || height_ < 1)
        throw Exception(kNotWavra);
    // The subband offset table must lie inside the file.
    if (FileLayout::headerEndAt(levels_) > fileSize_) throw Exception(kReadStreamDot);
}

void DBInfo::checkSizeAgainstBlockTables() {
    const int count = subbandCount();
    // The finest level's subbands: HL1, LH1 and HH1, or the image itself
    // without levels.
    const int finest = levels_ == 0 ? 0 : count - 3;
    bool reachesAcross = false, reachesDown = false;
    for (int s = 0; s < count; ++s) {
        const FileLayout::Extent extent = FileLayout::subbandExtent(width_, height_, levels_, s);
        int64_t across = 0, down = 0;
        for (const TableEntry& e : readBlockTable(s)) {
            // Blocks without data carry nothing; their bounds count only
            // when they make sense.
            const bool sound = soundBounds(e.x0, e.y0, e.x1, e.y1);
            if (!sound && e.hasData()) throw Exception(kBadBlockTable);
            if (!sound || e.x1 >= extent.width || e.y1 >= extent.height) {
                if (e.hasData()) throw Exception(kReadErrorMessage);
                continue;
            }
            across = std::max(across, int64_t(e.x1) + 1);
            down = std::max(down, int64_t(e.y1) + 1);
        }
        if (s >= finest) {
            reachesAcross = reachesAcross || (across == extent.width && extent.width > 0);
            reachesDown = reachesDown || (down == extent.height && extent.height > 0);
        }
    }
    if (!reachesAcross || !reachesDown) throw Exception(kReadErrorMessage);
}

DBInfo::SubbandRecord DBInfo::readSectionHead(int subband) {
    SubbandRecord r;
    seekTo(FileLayout::subbandSlotAt(subband), kReadStreamDot);
    r.offset = readU32();
    if (r.offset + FileLayout::kSectionHeadBytes > fileSize_) throw Exception(kReadStreamDot);
    seekTo(r.offset, kReadStreamBang);
    uint8_t marker[2];
    readBytes(marker, 2);
    if (marker[0] != FileLayout::kMarker || marker[1] != FileLayout::kSubbandStart)
        throw Exception(kSectionMarker);
    readBytes(r.dither, 2);
    r.blockCount = readI32();
    // The block table must lie inside the file.
    if (r.blockCount < 0 || FileLayout::blockTableEntryAt(r.offset, bands_, r.blockCount) > fileSize_)
        throw Exception(kReadStreamDot);
    return r;
}

DBInfo::TableEntry DBInfo::readTableEntry(int subband, int32_t block) {
    const SubbandRecord& r = subbands_.at(size_t(subband));
    if (block < 0 || block >= r.blockCount)
        throw InvalidArgumentException("Block number outside the subband");
    seekTo(FileLayout::blockTableEntryAt(r.offset, bands_, block), kReadStreamDot);
    TableEntry e;
    e.headerOffsets.resize(size_t(bands_));
    for (int b = 0; b < bands_; ++b) e.headerOffsets[size_t(b)] = readU32();
    e.x0 = readI32();
    e.y0 = readI32();
    e.x1 = readI32();
    e.y1 = readI32();
    return e;
}

std::vector<DBInfo::TableEntry> DBInfo::readBlockTable(int subband) {
    const SubbandRecord& r = subbands_.at(size_t(subband));
    const size_t entryBytes = size_t(FileLayout::blockTableEntryBytes(bands_));
    std::vector<uint8_t> raw(size_t(r.blockCount) * entryBytes);  // inside the file: checked at the head
    seekTo(FileLayout::blockTableEntryAt(r.offset, bands_, 0), kReadStreamDot);
    if (!raw.empty() && stream_.read(raw.data(), raw.size()) != raw.size()) throw Exception(kReadStreamDot);
    std::vector<TableEntry> table(size_t(r.blockCount));
    for (size_t j = 0; j < table.size(); ++j) {
        const uint8_t* p = raw.data() + j * entryBytes;
        TableEntry& e = table[j];
        e.headerOffsets.resize(size_t(bands_));
        for (int b = 0; b < bands_; ++b) e.headerOffsets[size_t(b)] = getU32(p + 4 * b);
        p += 4 * bands_;
        e.x0 = int32_t(getU32(p));
        e.y0 = int32_t(getU32(p + 4));
        e.x1 = int32_t(getU32(p + 8));
        e.y1 = int32_t(getU32(p + 12));
    }
    return table;
}

int64_t DBInfo::endOfLastSubband() {
    if (endOfLast_ >= 0) return endOfLast_;
    int64_t end = fileSize_ - 2;
    const int64_t markerAt = FileLayout::headerEndAt(levels_);
    uint8_t b[6];
    if (markerAt + 6 <= fileSize_ && stream_.seek(markerAt, SEEK_SET) == markerAt &&
        stream_.read(b, 6) == 6 && b[0] == FileLayout::kMarker && b[1] == FileLayout::kHeaderEnd)
        end = getU32(b + 2);
    endOfLast_ = end;
    return end;
}

int64_t DBInfo::endOfBlock(int subband, int32_t block) {
    const size_t i = size_t(subband);
    if (blockEnds_.size() < subbands_.size()) blockEnds_.resize(subbands_.size());
    // Worked out once per subband from the whole table, so a walk over many
    // blocks never rescans it.
    if (blockEnds_[i].size() != size_t(subbands_.at(i).blockCount))
        blockEnds_[i] = endsOfBlocks(subband, readBlockTable(subband));
    return blockEnds_[i].at(size_t(block));
}

std::vector<int64_t> DBInfo::endsOfBlocks(int subband, const std::vector<TableEntry>& table) {
    std::vector<int64_t> ends(table.size());
    int64_t next = subband < 3 * levels_ ? subbands_[size_t(subband) + 1].offset : endOfLastSubband();
    for (size_t j = table.size(); j-- > 0;) {
        ends[j] = next;
        for (int64_t o : table[j].headerOffsets)
            if (o != 0) {
                next = o;
                break;
            }
    }
    return ends;
}

std::shared_ptr<const DBInfo::BlockHeader> DBInfo::cachedBlockHeader(int subband, int32_t block) {
    const uint64_t key = (uint64_t(uint32_t(subband)) << 32) | uint32_t(block);
    if (std::shared_ptr<const BlockHeader> kept = headerCache_->find(key)) return kept;
    std::unique_ptr<BlockHeader> read = readBlockHeader(subband, block);
    // Each band's decoder is made once with the kept header; a table it
    // cannot make one of is left to fail where the band is decoded.
    read->decoders_.resize(read->bands_.size());
    for (size_t b = 0; b < read->bands_.size(); ++b) {
        if (!read->hasData(int(b))) continue;
        try {
            read->decoders_[b].reset(new HuffmanDecoder(read->bands_[b].table));
        } catch (const Exception&) {
        }
    }
    std::shared_ptr<const BlockHeader> header(std::move(read));
    headerCache_->keep(key, header, headerBytes(*header));
    return header;
}

std::unique_ptr<DBInfo::BlockHeader> DBInfo::readBlockHeader(int subband, int32_t block) {
    const std::lock_guard<std::mutex> hold(readLock_);
    const TableEntry e = readTableEntry(subband, block);
    std::unique_ptr<BlockHeader> h(new BlockHeader);
    h->x0_ = e.x0;
    h->x1_ = e.x1;
    h->y0_ = e.y0;
    h->y1_ = e.y1;
    h->bands_.resize(size_t(bands_));
    if (!e.hasData()) return h;
    if (!soundBounds(e.x0, e.y0, e.x1, e.y1)) throw Exception(kBadBlockHeader);
    const int64_t w = int64_t(e.x1) - e.x0 + 1, hgt = int64_t(e.y1) - e.y0 + 1;

    for (int b = 0; b < bands_; ++b) {
        BlockHeader::Band& band = h->bands_[size_t(b)];
        band.headerOffset = e.headerOffsets[size_t(b)];
        if (band.headerOffset == 0) continue;
        seekTo(band.headerOffset, kReadStreamBang);
        uint8_t marker[2];
        readBytes(marker, 2);
        if (marker[0] != FileLayout::kMarker || marker[1] != FileLayout::kBlockHeader)
            throw Exception(kBlockMarker);
        // At most 16 x 255 symbols.
        readTableDescription(
            [this](void* dest, size_t n) {
                readBytes(dest, n);
                return true;
            },
            band.table);
        uint8_t f[4];
        readBytes(f, 4);
        band.step = getFloat(f);
        band.codeBlockWidth = readI32();
        band.codeBlockHeight = readI32();
        if (band.codeBlockWidth <= 0 || band.codeBlockHeight <= 0) throw Exception(kBadBlockHeader);
        const int64_t k = ((hgt + band.codeBlockHeight - 1) / band.codeBlockHeight) *
                          ((w + band.codeBlockWidth - 1) / band.codeBlockWidth);
        // The offset list must lie inside the file before it is allocated.
        if (k > (fileSize_ - stream_.position()) / 4) throw Exception(kReadStreamDot);
        std::vector<uint8_t> raw(size_t(k) * 4);
        readBytes(raw.data(), raw.size());
        band.offsets.resize(size_t(k));
        for (int64_t i = 0; i < k; ++i) band.offsets[size_t(i)] = getU32(raw.data() + 4 * i);
        // Code-blocks follow their header. With the ordering checked below,
        // the headers of different blocks cannot share or overlap bytes, so
        // reading every block costs no more than the file's size.
        if (band.offsets[0] < stream_.position()) throw Exception(kReadRecord);
    }

    // Code-block lengths: up to the next code-block, the next band's header,
    // or, after the last band with data, the next thing in the file.
    int64_t end = -1;
    for (int b = bands_ - 1; b >= 0; --b) {
        BlockHeader::Band& band = h->bands_[size_t(b)];
        if (band.headerOffset == 0) continue;
        if (end < 0) end = endOfBlock(subband, block);
        const size_t k = band.offsets.size();
        band.lengths.resize(k);
        for (size_t i = 0; i < k; ++i) {
            const int64_t start = band.offsets[i];
            const int64_t stop = i + 1 < k ? band.offsets[i + 1] : end;
            const int64_t length = stop - start;
            if (length < 0 || start + length + 2 > fileSize_) throw Exception(kReadRecord);
            band.lengths[i] = length;
        }
        end = band.headerOffset;
    }
    return h;
}

const uint8_t* DBInfo::readPayload(const BlockHeader& header, int band, int k, size_t* size) {
    return readPayload(header, band, k, buffer_, size);
}

void DBInfo::payloadExtent(const BlockHeader& header, int band, int k, int64_t& offset, int64_t& n) const {
    if (band < 0 || band >= header.bandCount() || k < 0 || k >= header.codeBlockCount(band))
        throw InvalidArgumentException("Code-block outside the block");
    offset = header.codeBlockOffset(band, k);
    n = header.codeBlockLength(band, k) + 2;
    if (offset < 0 || n < 2 || offset + n > fileSize_) throw Exception(kReadRecord);
}

size_t DBInfo::readSource(int64_t offset, void* into, size_t n) {
    if (sourceReadsAtOnce_) return readFrom(*source_, uint64_t(offset), into, n);
    const std::lock_guard<std::mutex> hold(readLock_);
    return readFrom(*source_, uint64_t(offset), into, n);
}

const uint8_t* DBInfo::readPayload(const BlockHeader& header, int band, int k, std::vector<uint8_t>& into,
                                   size_t* size) {
    int64_t offset = 0, n = 0;
    payloadExtent(header, band, k, offset, n);
    if (into.size() < size_t(n)) into.resize(size_t(n));
    if (readSource(offset, into.data(), size_t(n)) != size_t(n)) throw Exception(kReadRecord);
    if (size) *size = size_t(n);
    return into.data();
}

std::shared_ptr<const std::vector<uint8_t>> DBInfo::bandPayload(const BlockHeader& header, int band) {
    const int count = header.codeBlockCount(band);
    if (count < 1) return nullptr;
    // The header read checked that the code-blocks follow one another and
    // end inside the file.
    const int64_t first = header.codeBlockOffset(band, 0);
    const int64_t end = header.codeBlockOffset(band, count - 1) + header.codeBlockLength(band, count - 1) + 2;
    if (first < 0 || end <= first || end > fileSize_ || end - first > kBandPayloadBytes) return nullptr;
    const uint64_t key = uint64_t(first);
    if (std::shared_ptr<const std::vector<uint8_t>> kept = payloadCache_->find(key)) return kept;
    auto bytes = std::make_shared<std::vector<uint8_t>>(size_t(end - first));
    if (readSource(first, bytes->data(), bytes->size()) != bytes->size()) throw Exception(kReadRecord);
    std::shared_ptr<const std::vector<uint8_t>> payload(std::move(bytes));
    payloadCache_->keep(key, payload, payload->size() + 64);
    return payload;
}

const uint8_t* DBInfo::blk_hdr_iterator::readPayload(int band, int k, size_t* size) {
    const BlockHeader* h = current();
    if (!h) throw NullPointerException();
    int64_t offset = 0, n = 0;
    db_.payloadExtent(*h, band, k, offset, n);
    const int64_t first = h->codeBlockOffset(band, 0);
    if (band != band_ || first != bandFirst_) {
        band_ = band;
        bandFirst_ = first;
        bandPayload_ = db_.bandPayload(*h, band);
    }
    if (bandPayload_ && offset >= first && uint64_t(offset - first + n) <= bandPayload_->size()) {
        // The band's code-blocks, read whole once for every strip of a decode.
        if (size) *size = size_t(n);
        return bandPayload_->data() + (offset - first);
    }
    return db_.readPayload(*h, band, k, payload_, size);  // a band too large to keep
}

// ---------------------------------------------------------------- DBInfoMM

namespace {

void buildGrid(DBInfoMM::Grid& g, const std::vector<int32_t>& x0s, const std::vector<int32_t>& y0s,
               const std::vector<int32_t>& x1s, const std::vector<int32_t>& y1s,
               const std::vector<int32_t>& numbers, int64_t blockCount) {
    g.columns.assign(1, 0);
    g.rows.assign(1, 0);
    for (size_t i = 0; i < numbers.size(); ++i) {
        g.columns.push_back(x0s[i]);
        g.columns.push_back(x1s[i] + 1);
        g.rows.push_back(y0s[i]);
        g.rows.push_back(y1s[i] + 1);
    }
    std::sort(g.columns.begin(), g.columns.end());
    g.columns.erase(std::unique(g.columns.begin(), g.columns.end()), g.columns.end());
    std::sort(g.rows.begin(), g.rows.end());
    g.rows.erase(std::unique(g.rows.begin(), g.rows.end()), g.rows.end());
    g.columnCount = int32_t(g.columns.size()) - 1;
    g.rowCount = int32_t(g.rows.size()) - 1;
    g.widest = g.tallest = 0;
    for (size_t i = 1; i < g.columns.size(); ++i)
        g.widest = std::max(g.widest, g.columns[i] - g.columns[i - 1]);
    for (size_t i = 1; i < g.rows.size(); ++i) g.tallest = std::max(g.tallest, g.rows[i] - g.rows[i - 1]);
    // Blocks that tile a subband give one cell per block; a layout asking for
    // far more cells than blocks is not a block grid.
    const int64_t cells = int64_t(g.columnCount) * int64_t(g.rowCount);
    if (cells > 16 * blockCount + 16) throw Exception(kBadBlockTable);
    g.cells.assign(size_t(cells), DBInfo::kEmptyCell);
    for (size_t i = 0; i < numbers.size(); ++i) {
        const int32_t c =
            int32_t(std::lower_bound(g.columns.begin(), g.columns.end(), x0s[i]) - g.columns.begin());
        const int32_t r = int32_t(std::lower_bound(g.rows.begin(), g.rows.end(), y0s[i]) - g.rows.begin());
        g.cells[size_t(c) * size_t(g.rowCount) + size_t(r)] = numbers[i];
    }
}

}  // namespace

DBInfoMM::DBInfoMM(std::shared_ptr<wavra::ByteSource> source, const FileSpecification& name)
    : DBInfo(std::move(source), name) {
    const int n = subbandCount();
    grids_.resize(size_t(n));
    blockEnds_.resize(size_t(n));
    for (int i = 0; i < n; ++i) {
        const std::vector<TableEntry> table = readBlockTable(i);
        blockEnds_[size_t(i)] = endsOfBlocks(i, table);
        // Blocks without band data carry nothing and take no cell.
        std::vector<int32_t> x0s, y0s, x1s, y1s, numbers;
        for (size_t j = 0; j < table.size(); ++j) {
            const TableEntry& e = table[j];
            if (!e.hasData()) continue;
            if (!soundBounds(e.x0, e.y0, e.x1, e.y1)) throw Exception(kBadBlockTable);
            x0s.push_back(e.x0);
            y0s.push_back(e.y0);
            x1s.push_back(e.x1);
            y1s.push_back(e.y1);
            numbers.push_back(int32_t(j));
        }
        buildGrid(grids_[size_t(i)], x0s, y0s, x1s, y1s, numbers, int64_t(table.size()));
    }
}

int32_t DBInfoMM::findInterval(int32_t a, const std::vector<int32_t>& v, int32_t g) {
    const int32_t n = int32_t(v.size()) - 1;
    if (n <= 0 || a < v[0]) return 0;
    if (a >= v[size_t(n - 1)]) return n - 1;
    int32_t k = g > 0 ? std::min(a / g, n - 1) : 0;
    if (v[size_t(k)] < a) {
        while (k + 1 < n && a >= v[size_t(k) + 1]) ++k;
    } else {
        while (k > 0 && v[size_t(k)] > a) --k;
    }
    return k;
}

namespace {

// The walk over a rectangle of grid cells shared by the grid databases:
// columns first to last, rows first to last within each column.
struct CellWalk {
    int32_t c0 = 0, c1 = -1, r0 = 0, r1 = -1, c = 0, r = -1;

    CellWalk(const DBInfoMM::Grid& g, int32_t qx0, int32_t qx1, int32_t qy0, int32_t qy1) {
        if (g.columnCount <= 0 || g.rowCount <= 0 || qx0 > qx1 || qy0 > qy1) return;
        if (qx1 < g.columns.front() || qx0 >= g.columns.back() || qy1 < g.rows.front() ||
            qy0 >= g.rows.back())
            return;
        c0 = DBInfoMM::findInterval(qx0, g.columns, g.widest);
        c1 = DBInfoMM::findInterval(qx1, g.columns, g.widest);
        r0 = DBInfoMM::findInterval(qy0, g.rows, g.tallest);
        r1 = DBInfoMM::findInterval(qy1, g.rows, g.tallest);
        c = c0;
        r = r0 - 1;
    }

    // Advances to the next non-empty cell; false when none is left.
    bool advance(const DBInfoMM::Grid& g) {
        while (c <= c1) {
            if (++r > r1) {
                ++c;
                r = r0 - 1;
                continue;
            }
            if (g.at(c, r) != DBInfo::kEmptyCell) return true;
        }
        return false;
    }
};

class GridIterator : public DBInfo::blk_hdr_iterator {
public:
    GridIterator(DBInfoMM& db, int subband, int32_t qx0, int32_t qx1, int32_t qy0, int32_t qy1)
        : blk_hdr_iterator(db, subband), grid_(db.grid(subband)), walk_(grid_, qx0, qx1, qy0, qy1) {
        next();
    }
    void next() override {
        header_.reset();
        if (!walk_.advance(grid_)) return;
        blockNumber_ = grid_.at(walk_.c, walk_.r);
        header_ = db_.cachedBlockHeader(subband_, blockNumber_);
    }

private:
    const DBInfoMM::Grid& grid_;
    CellWalk walk_;
};

class HeldIterator : public DBInfo::blk_hdr_iterator {
public:
    HeldIterator(DBInfoLM& db, int subband, int32_t qx0, int32_t qx1, int32_t qy0, int32_t qy1)
        : blk_hdr_iterator(db, subband), lm_(db), grid_(db.grid(subband)), walk_(grid_, qx0, qx1, qy0, qy1) {
        next();
    }
    void next() override {
        held_ = nullptr;
        if (!walk_.advance(grid_)) return;
        blockNumber_ = walk_.c * grid_.rowCount + walk_.r + 1;
        held_ = lm_.heldHeader(subband_, walk_.c, walk_.r);
    }
    const DBInfo::BlockHeader* current() const override { return held_; }

private:
    DBInfoLM& lm_;
    const DBInfoMM::Grid& grid_;
    CellWalk walk_;
    const DBInfo::BlockHeader* held_ = nullptr;
};

class SequentialIterator : public DBInfo::blk_hdr_iterator {
public:
    SequentialIterator(DBInfo& db, int subband) : blk_hdr_iterator(db, subband) { next(); }
    void next() override {
        header_.reset();
        if (next_ >= db_.subband(subband_).blockCount) return;
        header_ = db_.readBlockHeader(subband_, next_);
        blockNumber_ = ++next_;
    }

private:
    int32_t next_ = 0;
};

}  // namespace

std::unique_ptr<DBInfo::blk_hdr_iterator> DBInfoMM::iterator(int subband, int32_t qx0, int32_t qx1,
                                                             int32_t qy0, int32_t qy1) {
    if (subband < 0 || subband >= subbandCount())
        throw InvalidArgumentException("Subband index outside the file");
    return std::unique_ptr<blk_hdr_iterator>(new GridIterator(*this, subband, qx0, qx1, qy0, qy1));
}

// ---------------------------------------------------------------- DBInfoLM

DBInfoLM::DBInfoLM(std::shared_ptr<wavra::ByteSource> source, const FileSpecification& name)
    : DBInfoMM(std::move(source), name) {
    headers_.resize(grids_.size());
    for (size_t i = 0; i < grids_.size(); ++i) {
        const Grid& g = grids_[i];
        headers_[i].resize(g.cells.size());
        for (size_t cell = 0; cell < g.cells.size(); ++cell)
            if (g.cells[cell] != kEmptyCell) headers_[i][cell] = readBlockHeader(int(i), g.cells[cell]);
    }
}

const DBInfo::BlockHeader* DBInfoLM::heldHeader(int subband, int32_t column, int32_t row) const {
    const Grid& g = grids_.at(size_t(subband));
    if (column < 0 || row < 0 || column >= g.columnCount || row >= g.rowCount) return nullptr;
    return headers_[size_t(subband)][size_t(column) * size_t(g.rowCount) + size_t(row)].get();
}

std::unique_ptr<DBInfo::blk_hdr_iterator> DBInfoLM::iterator(int subband, int32_t qx0, int32_t qx1,
                                                             int32_t qy0, int32_t qy1) {
    if (subband < 0 || subband >= subbandCount())
        throw InvalidArgumentException("Subband index outside the file");
    return std::unique_ptr<blk_hdr_iterator>(new HeldIterator(*this, subband, qx0, qx1, qy0, qy1));
}

// ---------------------------------------------------------------- DBInfoSM

DBInfoSM::DBInfoSM(std::shared_ptr<wavra::ByteSource> source, const FileSpecification& name)
    : DBInfo(std::move(source), name) {}

std::unique_ptr<DBInfo::blk_hdr_iterator> DBInfoSM::iterator(int subband, int32_t, int32_t, int32_t,
                                                             int32_t) {
    if (subband < 0 || subband >= subbandCount())
        throw InvalidArgumentException("Subband index outside the file");
    return std::unique_ptr<blk_hdr_iterator>(new SequentialIterator(*this, subband));
}

}  // namespace Lumetra
