#include "encoder/codec/SubbandFile.h"

#include <cstring>
#include <new>
#include <string>

#include "core/Error.h"
#include "core/Exception.h"
#include "format/CodedBlockSymbols.h"
#include "wavra/diagnostics.h"

namespace {

namespace cb = Lumetra::CodedBlock;

constexpr uint8_t kStoredBlockMarker = 0xA6;
constexpr uint8_t kEndMarker = 0xA9;
constexpr const char* kWriteFailure = "Write error. Check that temporary directory is not full.";

void put_float(std::vector<uint8_t>& out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(bits >> shift));
}

float get_float(const uint8_t* p) {
    const uint32_t bits = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

// Canonical decoding: a direct lookup on the next kLookBits bits for short
// codes, and the per-length code ranges for the longer ones.
class HuffmanLookup {
public:
    static constexpr int kLookBits = 9;

    bool build(const Lumetra::HuffmanTable& table) {
        std::vector<Lumetra::CanonicalCode> codes;
        if (!Lumetra::canonicalCodes(table, codes)) return false;
        std::memset(fast_, 0, sizeof fast_);
        int k = 0;
        for (int len = 1; len <= 16; ++len) {
            first_[len] = k;
            const int n = table.counts[len - 1];
            minCode_[len] = n ? codes[size_t(k)].bits : 0;
            maxCode_[len] = n ? int32_t(codes[size_t(k + n - 1)].bits) : -1;
            for (int i = 0; i < n; ++i, ++k) {
                values_[k] = table.symbols[size_t(k)];
                if (len <= kLookBits) {
                    const uint32_t base = uint32_t(codes[size_t(k)].bits) << (kLookBits - len);
                    const uint32_t span = 1u << (kLookBits - len);
                    for (uint32_t j = 0; j < span; ++j)
                        fast_[base + j] = uint16_t(len << 8 | table.symbols[size_t(k)]);
                }
            }
        }
        return true;
    }
    // Symbol of the code at the top of `window` (16 bits), its length in
    // `length`; -1 when no code matches.
    int decode(uint32_t window, int& length) const {
        const uint16_t f = fast_[window >> (16 - kLookBits)];
        if (f) {
            length = f >> 8;
            return f & 0xFF;
        }
        for (int len = kLookBits + 1; len <= 16; ++len) {
            const int32_t code = int32_t(window >> (16 - len));
            if (code <= maxCode_[len] && code >= int32_t(minCode_[len])) {
                length = len;
                return values_[first_[len] + code - int32_t(minCode_[len])];
            }
        }
        return -1;
    }

private:
    uint16_t fast_[1 << kLookBits];  // length << 8 | symbol, 0 when longer
    uint16_t minCode_[17] = {};
    int32_t maxCode_[17] = {};
    int first_[17] = {};
    uint8_t values_[256] = {};
};

// Reads bits most significant first, skipping the 0x00 after each 0xFF.
// Beyond the data it delivers 1 bits and counts them as overrun.
class BitSource {
public:
    BitSource(const uint8_t* p, const uint8_t* end) : p_(p), end_(end) { fill(); }
    uint32_t peek16() const { return uint32_t(buffer_ >> 48); }
    uint32_t take(int n) {
        const uint32_t v = uint32_t(buffer_ >> (64 - n));
        buffer_ <<= n;
        count_ -= n;
        if (count_ < 32) fill();
        return v;
    }
    // True when bits beyond the data have been used.
    bool overrun() const { return padding_ > count_; }

private:
    void fill() {
        while (count_ <= 56) {
            uint64_t b;
            if (p_ < end_) {
                b = *p_++;
                if (b == cb::kMarkerPrefix && p_ < end_ && *p_ == cb::kStuffedByte) ++p_;
            } else {
                b = 0xFF;
                padding_ += 8;
            }
            buffer_ |= b << (56 - count_);
            count_ += 8;
        }
    }
    const uint8_t* p_;
    const uint8_t* end_;
    uint64_t buffer_ = 0;
    int count_ = 0;        // valid bits in buffer_
    int64_t padding_ = 0;  // bits of padding loaded so far (only grows)
};

}  // namespace

SubbandFile::SubbandFile(const Lumetra::FileSpecification* directory) : reservation_(directory) {
    file_ = reservation_.name().open("w+b");
    if (!file_)
        throw Lumetra::Exception(
            std::string("Error opening ") + reservation_.name().path() +
            " for write. Check to see that the target drive is not full or write protected.");
}

SubbandFile::~SubbandFile() { discard(); }

void SubbandFile::discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    reservation_.release();
}

StoredBlock SubbandFile::append(const Lumetra::HuffmanTable& table, float step,
                                const std::vector<uint8_t>& coded) {
    std::vector<uint8_t> head;
    head.reserve(2 + 16 + table.symbols.size() + 4);
    head.push_back(cb::kMarkerPrefix);
    head.push_back(kStoredBlockMarker);
    head.insert(head.end(), table.counts, table.counts + 16);
    head.insert(head.end(), table.symbols.begin(), table.symbols.end());
    put_float(head, step);
    if (!file_ || fseeko(file_, end_, SEEK_SET) != 0 ||
        std::fwrite(head.data(), 1, head.size(), file_) != head.size() ||
        std::fwrite(coded.data(), 1, coded.size(), file_) != coded.size())
        throw Lumetra::Exception(kWriteFailure);
    StoredBlock stored;
    stored.offset = end_;
    stored.length = int64_t(head.size() + coded.size());
    end_ += stored.length;
    return stored;
}

int SubbandFile::write_eof() {
    if (!file_ || fseeko(file_, end_, SEEK_SET) != 0) return 1;
    const uint8_t marker[2] = {cb::kMarkerPrefix, kEndMarker};
    if (std::fwrite(marker, 1, 2, file_) != 2 || std::fflush(file_) != 0) return 1;
    std::rewind(file_);
    return 0;
}

int64_t SubbandFile::size() {
    if (!file_ || std::fflush(file_) != 0) return -1;
    const int64_t here = ftello(file_);
    if (fseeko(file_, 0, SEEK_END) != 0) return -1;
    const int64_t n = ftello(file_);
    fseeko(file_, here, SEEK_SET);
    return n;
}

int SubbandFile::read(const StoredBlock& stored, std::vector<uint8_t>& bytes) {
    if (!file_ || stored.offset < 0 || stored.length < 0 || stored.offset + stored.length > end_) return 1;
    if (fseeko(file_, stored.offset, SEEK_SET) != 0) return 1;
    bytes.resize(size_t(stored.length));
    if (std::fread(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        wavra::diagnostic("Read error in subroutine fread2.\n");
        return 2;
    }
    return 0;
}

long ReadHTDesc(const uint8_t* bytes, size_t size, Lumetra::HuffmanTable& table) {
    if (size < 18 || bytes[0] != cb::kMarkerPrefix || bytes[1] != kStoredBlockMarker) return -1;
    std::memcpy(table.counts, bytes + 2, 16);
    const size_t n = size_t(table.codeCount());
    if (size < 18 + n) return -1;
    table.symbols.assign(bytes + 18, bytes + 18 + n);
    if (!table.isValid()) return -1;
    return long(18 + n);
}

int expand_data(const uint8_t* bytes, size_t size, const Lumetra::HuffmanTable& table, int16_t* indices,
                size_t count) {
    if (size < 2 || bytes[0] != cb::kMarkerPrefix || bytes[1] != cb::kCodeBlockMarker) return 1;
    HuffmanLookup lookup;
    if (!lookup.build(table)) return 1;
    BitSource bits(bytes + 2, bytes + size);
    size_t position = 0;
    while (position < count) {
        int length = 0;
        const int symbol = lookup.decode(bits.peek16(), length);
        if (symbol < 0) return 1;
        bits.take(length);
        if (symbol <= cb::kMaxShortRun) {
            position += size_t(symbol);
        } else if (symbol >= cb::kFirstDirect) {
            indices[position++] = int16_t(symbol - cb::kDirectOffset);
        } else {
            switch (symbol) {
                case cb::kPositive8:
                    indices[position++] = int16_t(bits.take(8));
                    break;
                case cb::kNegative8:
                    indices[position++] = int16_t(-int(bits.take(8)));
                    break;
                case cb::kPositive16:
                    indices[position++] = int16_t(int16_t(bits.take(16)));
                    break;
                case cb::kNegative16:
                    indices[position++] = int16_t(-int(int16_t(bits.take(16))));
                    break;
                case cb::kRun8:
                    position += bits.take(8);
                    break;
                default:
                    position += bits.take(16);
                    break;  // kRun16
            }
        }
        if (bits.overrun()) return 1;
    }
    return position == count ? 0 : 2;
}

void decode_indices(SubbandFile& file, const StoredBlock& stored, int width, int height,
                    std::vector<int16_t>& indices, float& step) {
    std::vector<uint8_t> bytes;
    const int r = file.read(stored, bytes);
    if (r == 1) throw Error("File offset error in subroutine decode_indices.\n");
    if (r != 0) throw Error("Error encountered in ReadHTDesc.");
    if (width <= 0 || height <= 0 || int64_t(width) * int64_t(height) > (int64_t(1) << 30))
        throw Error("Memory allocation error.");
    const size_t count = size_t(width) * size_t(height);
    try {
        indices.assign(count, 0);
    } catch (const std::bad_alloc&) {
        throw Error("Memory allocation error.");
    }
    Lumetra::HuffmanTable table;
    const long used = ReadHTDesc(bytes.data(), bytes.size(), table);
    if (used < 0) throw Error("Error encountered in ReadHTDesc.");
    if (bytes.size() < size_t(used) + 4) throw Error("Error encountered in read_float.");
    step = get_float(bytes.data() + used);
    const int e =
        expand_data(bytes.data() + used + 4, bytes.size() - size_t(used) - 4, table, indices.data(), count);
    if (e == 1) throw Error("Error encountered in expand_data.");
    if (e != 0) throw Error("Incorrect number of symbols decoded.");
}
