#include "encoder/codec/ImageWriter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "core/Error.h"
#include "core/TemporaryName.h"
#include "encoder/rawimage/Image.h"
#include "format/BigEndian.h"
#include "format/FileLayout.h"
#include "format/TagStore.h"
#include "wavra/diagnostics.h"

const char* const kOutputTooLargeMessage =
    "Error: the output would exceed the 4 GiB limit of the Wavra format; try a lower -rate.";

namespace {

namespace layout = Lumetra::FileLayout;
using Lumetra::appendFloat;
using Lumetra::appendU32;
constexpr size_t kCopyChunk = 1048576;

// The output file with its current position. Writes are buffered by the C
// library; the block-level pieces are assembled in memory first.
class Output {
public:
    explicit Output(const Lumetra::FileSpecification& name) : name_(name) {
        file_ = name.open("wb");
        if (!file_) throw WriteError(name);
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    }
    ~Output() {
        if (file_) std::fclose(file_);
    }
    int64_t position() const { return position_; }
    // Writes `n` bytes; false on a short write (as fwrite2 reports it).
    bool write(const void* data, size_t n) {
        if (n && std::fwrite(data, 1, n, file_) != n) {
            wavra::diagnostic("Write error in subroutine fwrite2.\n");
            return false;
        }
        position_ += int64_t(n);
        return true;
    }
    bool write(const std::vector<uint8_t>& bytes) { return write(bytes.data(), bytes.size()); }
    bool writeInt(int32_t v) {
        std::vector<uint8_t> b;
        appendU32(b, uint32_t(v));
        return write(b);
    }
    bool marker(uint8_t code) {
        const uint8_t m[2] = {layout::kMarker, code};
        return write(m, 2);
    }
    bool seek(int64_t at) {
        if (fseeko(file_, at, SEEK_SET) != 0) return false;
        position_ = at;
        return true;
    }
    // Flushes and closes; false when either fails.
    bool close() {
        FILE* f = file_;
        file_ = nullptr;
        const bool flushed = std::fflush(f) == 0;
        return (std::fclose(f) == 0) && flushed;
    }
    FILE* file() { return file_; }
    // Takes the position from the stream after a write made through file().
    bool syncPosition() {
        const int64_t at = ftello(file_);
        if (at < 0) return false;
        position_ = at;
        return true;
    }

private:
    Lumetra::FileSpecification name_;
    FILE* file_ = nullptr;
    int64_t position_ = 0;
};

std::string creation_date() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    // The C library's asctime form: "Www Mmm dd hh:mm:ss yyyy\n".
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &local);
    return text;
}

Lumetra::TagStore build_metadata(const Image& image, const EncoderTags& tags) {
    Lumetra::TagStore md;
    md.copyFrom(&image.metadata());
    const int32_t version[3] = {1, 5, -1};
    md.addCompressionVersion(version);
    md.addTargetCompressionRatio(8.0f / tags.rate);
    md.addCompressionNlev(uint32_t(tags.nlev));
    md.addCompressionWeight(tags.weight);
    if (image.colorScheme() == kSchemeCMYK) md.addCompressionKWeight(tags.kweight);
    md.addCompressionGamma(tags.gamma);
    md.addCompressionBlockSize(uint32_t(tags.blockSize));
    md.addCreationDate(creation_date().c_str());
    if (!tags.dither) md.addNoDither();
    return md;
}

class Writer {
public:
    Writer(const Image& image, SubbandMap& map, const WriterSettings& settings, Output& out)
        : image_(image), map_(map), settings_(settings), out_(out), bands_(image.codedBands()) {}

    void run(Lumetra::TagStore& metadata) {
        const int L = settings_.levels;
        const int subbands = 3 * L + 1;
        if (L < 0 || size_t(subbands) != map_.size() || bands_ <= 0)
            throw Error("Error encountered in write_int.");
        for (const auto& entry : map_)
            if (!entry) throw Error("Error encountered in write_int.");
        // Header.
        if (!out_.write(layout::kMagic, 4)) throw Error("Error encountered in write_SOI.");
        if (!out_.write(layout::kWrittenVersion, 3)) throw Error("Error encountered in write_version.");
        std::vector<uint8_t> head;
        appendU32(head, uint32_t(bands_));
        appendU32(head, uint32_t(L));
        appendU32(head, uint32_t(image_.width()));
        appendU32(head, uint32_t(image_.height()));
        for (int s = 0; s < subbands; ++s) appendU32(head, 0);
        if (!out_.write(head)) throw Error("Error encountered in write_int.");
        if (!out_.marker(layout::kHeaderEnd)) throw WriteError(name());
        const int64_t metadataSlot = out_.position();
        if (!out_.writeInt(0)) throw Error("Error encountered in write_int.");

        double total = 0.0;
        for (auto& entry : map_)
            if (entry && entry->file) total += double(std::max<int64_t>(entry->file->size(), 0));
        double done = 0.0;

        for (int s = 0; s < subbands; ++s) {
            SubbandMapEntry& entry = *map_[size_t(s)];
            writeSubband(s, entry);
            if (entry.file) {
                done += double(std::max<int64_t>(entry.file->size(), 0));
                entry.file->discard();
                entry.file.reset();
            }
            entry.blocks.clear();
            entry.blocks.shrink_to_fit();
            if (settings_.progress && total > 0.0)
                settings_.progress(settings_.progressStart +
                                   float(done / total) * (settings_.progressEnd - settings_.progressStart));
        }

        // Metadata block and its offset.
        const int64_t metadataStart = out_.position();
        if (metadataStart > settings_.largestOffset) throw Error(kOutputTooLargeMessage);
        metadata.addEndOfMetadata();
        if (metadata.write(out_.file()) != 0) throw Error("Error writing metadata.");
        if (!out_.syncPosition()) throw Error("Error writing metadata.");
        if (!out_.marker(layout::kFileEnd)) throw Error("Error encountered in write_marker.");
        if (!out_.seek(metadataSlot) || !out_.writeInt(int32_t(metadataStart)) || !out_.close())
            throw WriteError(name());
    }

private:
    std::string name() const { return outputName; }

    void poll() {
        if (settings_.interrupt && settings_.interrupt()) throw Error("Program interrupt encountered.");
    }

    void writeSubband(int s, SubbandMapEntry& entry) {
        // record_offset(s)
        const int64_t sectionStart = out_.position();
        if (sectionStart > settings_.largestOffset) throw Error(kOutputTooLargeMessage);
        if (!out_.seek(layout::subbandSlotAt(s))) throw Error("Seek error in subroutine record_offset.");
        if (!out_.writeInt(int32_t(sectionStart))) throw Error("Error encountered in write_int.");
        if (!out_.seek(sectionStart)) throw Error("Seek error in subroutine record_offset.");

        if (!out_.marker(layout::kSubbandStart)) throw Error("Error encountered in write_marker.");
        const uint8_t dither[2] = {entry.dither.column, entry.dither.row};
        const int blocks = int(entry.blocks.size());
        std::vector<uint8_t> head(dither, dither + 2);
        appendU32(head, uint32_t(blocks));
        if (!out_.write(head)) throw Error("Error encountered in write_int.");
        const int64_t tableStart = out_.position();
        const size_t entryInts = size_t(bands_) + 4;
        std::vector<uint8_t> table(size_t(blocks) * entryInts * 4, 0);
        if (!out_.write(table)) throw Error("Error encountered in write_int.");

        for (int j = 0; j < blocks; ++j) {
            const SubbandBlockRecord& block = entry.blocks[size_t(j)];
            const size_t at = size_t(j) * entryInts * 4;
            // Every block's bounds, whether or not any band has data.
            Lumetra::putU32(&table[at + 4 * size_t(bands_)], uint32_t(block.x0));
            Lumetra::putU32(&table[at + 4 * size_t(bands_) + 4], uint32_t(block.y0));
            Lumetra::putU32(&table[at + 4 * size_t(bands_) + 8], uint32_t(block.x1));
            Lumetra::putU32(&table[at + 4 * size_t(bands_) + 12], uint32_t(block.y1));
            for (int k = 0; k < bands_ && size_t(k) < block.stored.size(); ++k) {
                if (block.stored[size_t(k)].offset < 0) continue;
                poll();
                if (!entry.file) throw Error("File offset error in subroutine decode_indices.\n");
                read_stored(*entry.file, block.stored[size_t(k)], band_);
                Lumetra::putU32(&table[at + 4 * size_t(k)], uint32_t(writeBand(block)));
            }
        }
        // record_hblk_offset: the block table, now complete.
        const int64_t end = out_.position();
        if (!out_.seek(tableStart) || !out_.write(table) || !out_.seek(end))
            throw Error("Error encountered in record_hblk_offset.");
    }

    // Writes the band read into band_ at the current position with its
    // record offsets made absolute; returns the header's position.
    int64_t writeBand(const SubbandBlockRecord& block) {
        const int64_t headerAt = out_.position();
        if (headerAt > settings_.largestOffset) throw Error(kOutputTooLargeMessage);
        read_band_header(band_, block.width(), block.height(), header_);
        for (size_t r = 0; r < header_.records.size(); ++r) {
            uint8_t* slot = &band_[header_.recordTable + 4 * r];
            const int64_t recordAt = headerAt + int64_t(Lumetra::getU32(slot));
            if (recordAt > settings_.largestOffset) throw Error(kOutputTooLargeMessage);
            Lumetra::putU32(slot, uint32_t(recordAt));
        }
        if (!out_.write(band_)) {
            wavra::diagnostic("File size: " + std::to_string(long(out_.position())) + "\n");
            throw Error("Error encountered in encode_block2.");
        }
        return headerAt;
    }

public:
    std::string outputName;

private:
    const Image& image_;
    SubbandMap& map_;
    const WriterSettings& settings_;
    Output& out_;
    int bands_;
    std::vector<uint8_t> band_;  // one band of a block, as the subband file holds it
    StoredBandHeader header_;
};

void copy_to_standard_output(const Lumetra::FileSpecification& name) {
    FILE* in = name.open("rb");
    if (!in) throw OpenError(name, "read");
    std::vector<char> chunk(kCopyChunk);
    size_t n;
    bool ok = true;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0)
        if (std::fwrite(chunk.data(), 1, n, stdout) != n) ok = false;
    std::fclose(in);
    if (std::fflush(stdout) != 0 || !ok) throw WriteError(std::string("stdout"));
}

}  // namespace

void write_image(const Image& image, SubbandMap& map, const Lumetra::FileSpecification& output,
                 const WriterSettings& settings) {
    Lumetra::TagStore metadata = build_metadata(image, settings.tags);
    // Standard output: write a temporary file first, then copy it.
    std::unique_ptr<Lumetra::TemporaryReservation> spool;
    Lumetra::FileSpecification target = output;
    if (!output.isInitialized()) {
        spool = std::make_unique<Lumetra::TemporaryReservation>(nullptr);
        target = spool->name();
    }
    auto out = std::make_unique<Output>(target);  // a file that cannot be opened is not ours to remove
    try {
        Writer writer(image, map, settings, *out);
        writer.outputName = target.str();
        writer.run(metadata);
    } catch (...) {
        out.reset();
        // Only a regular file is ours to remove (never a device such as /dev/stdout).
        struct stat st;
        if (::stat(target.path(), &st) == 0 && S_ISREG(st.st_mode)) target.removeQuietly();
        throw;
    }
    if (spool) copy_to_standard_output(target);
}
