#include "WavraFileBuilder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "core/ByteSources.h"
#include "format/FileLayout.h"

namespace wavra_test {

namespace {

void put32(Bytes& b, uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}

}  // namespace

void putU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + size_t(i)) = uint8_t(v >> (8 * (3 - i)));
}

uint32_t getU32(const Bytes& b, size_t at) {
    return (uint32_t(b.at(at)) << 24) | (uint32_t(b.at(at + 1)) << 16) | (uint32_t(b.at(at + 2)) << 8) |
           uint32_t(b.at(at + 3));
}

WavraFileBuilder WavraFileBuilder::simple(int32_t bands, int32_t levels, int32_t width, int32_t height) {
    WavraFileBuilder b;
    b.bands = bands;
    b.levels = levels;
    b.width = width;
    b.height = height;
    b.subbands.resize(size_t(3 * levels + 1));
    for (int s = 0; s <= 3 * levels; ++s) {
        const Lumetra::FileLayout::Extent e = Lumetra::FileLayout::subbandExtent(width, height, levels, s);
        const int32_t w = int32_t(std::max<int64_t>(e.width, 1)), h = int32_t(std::max<int64_t>(e.height, 1));
        // One code-block per band, as large as the block.
        for (BandData& band : b.addBlock(s, 0, 0, w - 1, h - 1).bands) {
            band.codeBlockWidth = w;
            band.codeBlockHeight = h;
        }
    }
    return b;
}

BlockData& WavraFileBuilder::addBlock(int s, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    BlockData blk;
    blk.x0 = x0, blk.y0 = y0, blk.x1 = x1, blk.y1 = y1;
    blk.present.assign(size_t(bands), true);
    blk.bands.resize(size_t(bands));
    subbands.at(size_t(s)).blocks.push_back(blk);
    return subbands[size_t(s)].blocks.back();
}

BlockData& WavraFileBuilder::addEmptyBlock(int s, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    BlockData& blk = addBlock(s, x0, y0, x1, y1);
    blk.present.assign(size_t(bands), false);
    return blk;
}

Bytes WavraFileBuilder::build() {
    Bytes f = {'w', 'v', 'r', 'a', version[0], version[1], version[2]};
    put32(f, uint32_t(bands));
    put32(f, uint32_t(levels));
    put32(f, uint32_t(width));
    put32(f, uint32_t(height));
    const size_t table = f.size();
    for (size_t s = 0; s < subbands.size(); ++s) put32(f, 0);
    size_t metadataSlot = 0;
    if (withD0) {
        f.push_back(0xFF);
        f.push_back(0xD0);
        metadataSlot = f.size();
        put32(f, 0);
    }
    for (size_t s = 0; s < subbands.size(); ++s) {
        SubbandData& sub = subbands[s];
        sub.offset = int64_t(f.size());
        putU32(f, table + 4 * s, uint32_t(f.size()));
        f.push_back(0xFF);
        f.push_back(0xAC);
        f.push_back(sub.d0);
        f.push_back(sub.d1);
        put32(f, uint32_t(sub.blocks.size()));
        const size_t entries = f.size();
        for (const BlockData& blk : sub.blocks) {
            for (int b = 0; b < bands; ++b) put32(f, 0);
            put32(f, uint32_t(blk.x0));
            put32(f, uint32_t(blk.y0));
            put32(f, uint32_t(blk.x1));
            put32(f, uint32_t(blk.y1));
        }
        for (size_t j = 0; j < sub.blocks.size(); ++j) {
            BlockData& blk = sub.blocks[j];
            const size_t entry = entries + j * 4 * size_t(bands + 4);
            for (int b = 0; b < bands; ++b) {
                if (!blk.present[size_t(b)]) continue;
                BandData& band = blk.bands[size_t(b)];
                band.headerOffset = int64_t(f.size());
                putU32(f, entry + 4 * size_t(b), uint32_t(f.size()));
                f.push_back(0xFF);
                f.push_back(0xAA);
                f.insert(f.end(), band.bits, band.bits + 16);
                f.insert(f.end(), band.symbols.begin(), band.symbols.end());
                uint32_t stepBits;
                std::memcpy(&stepBits, &band.step, 4);
                put32(f, stepBits);
                put32(f, uint32_t(band.codeBlockWidth));
                put32(f, uint32_t(band.codeBlockHeight));
                const size_t offsets = f.size();
                for (size_t k = 0; k < band.codeBlocks.size(); ++k) put32(f, 0);
                band.writtenOffsets.clear();
                for (size_t k = 0; k < band.codeBlocks.size(); ++k) {
                    band.writtenOffsets.push_back(int64_t(f.size()));
                    putU32(f, offsets + 4 * k, uint32_t(f.size()));
                    f.insert(f.end(), band.codeBlocks[k].begin(), band.codeBlocks[k].end());
                }
            }
        }
    }
    if (withMetadata) {
        metadataOffset = int64_t(f.size());
        if (metadataSlot) putU32(f, metadataSlot, uint32_t(f.size()));
        if (!rawMetadata.empty()) {
            f.insert(f.end(), rawMetadata.begin(), rawMetadata.end());
        } else {
            Lumetra::TagStore copy = tags;
            copy.addEndOfMetadata();
            FILE* tmp = std::tmpfile();
            if (!tmp || copy.write(tmp) != 0) throw std::runtime_error("metadata write failed");
            const long n = std::ftell(tmp);
            std::rewind(tmp);
            Bytes block(static_cast<size_t>(n));
            if (std::fread(block.data(), 1, block.size(), tmp) != block.size())
                throw std::runtime_error("read");
            std::fclose(tmp);
            f.insert(f.end(), block.begin(), block.end());
        }
        f.push_back(0xFF);
        f.push_back(0xA1);
    }
    return f;
}

ScratchFiles::ScratchFiles() : reservation_(nullptr) {}

ScratchFiles::~ScratchFiles() {
    for (const std::string& p : written_) std::remove(p.c_str());
}

std::string ScratchFiles::path(const std::string& extension) const {
    return std::string(reservation_.name().path()) + "." + extension;
}

std::string ScratchFiles::write(const std::string& extension, const Bytes& bytes) {
    const std::string p = path(extension);
    FILE* f = std::fopen(p.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + p);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    written_.push_back(p);
    return p;
}

std::string ScratchFiles::writeText(const std::string& extension, const std::string& text) {
    return write(extension, Bytes(text.begin(), text.end()));
}


Bytes readFileBytes(const std::string& path) {
    Bytes out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    unsigned char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

std::shared_ptr<wavra::ByteSource> bytesSource(Bytes bytes) {
    struct Owned : wavra::ByteSource {
        explicit Owned(Bytes b) : bytes(std::move(b)), memory(bytes.data(), bytes.size()) {}
        uint64_t size() override { return memory.size(); }
        size_t readAt(uint64_t offset, void* buffer, size_t count) override {
            return memory.readAt(offset, buffer, count);
        }
        Bytes bytes;
        Lumetra::MemoryByteSource memory;
    };
    return std::make_shared<Owned>(std::move(bytes));
}

}  // namespace wavra_test
