#pragma once
// Test-only assembler of small Wavra files, byte by byte, and a scratch
// place on disk to put them. The builder lays out header, offset table, D0
// marker, subband sections (block tables, block headers, code-blocks) and
// the metadata block, and remembers where every code-block landed.

#include "support/Conformance.h"
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/TemporaryName.h"
#include "format/TagStore.h"
#include "wavra/byte_source.h"

namespace wavra_test {

using Bytes = std::vector<uint8_t>;

struct BandData {
    uint8_t bits[16] = {1};  // one code of length 1
    Bytes symbols = {0};
    float step = 1.0f;
    int32_t codeBlockWidth = 128, codeBlockHeight = 128;
    // One payload per code-block, written as given (normally FF A3 ...).
    std::vector<Bytes> codeBlocks = {{0xFF, 0xA3, 0x00}};
    // Written offsets per code-block (filled by build()).
    std::vector<int64_t> writtenOffsets;
    int64_t headerOffset = 0;  // filled by build()
};

struct BlockData {
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    // One entry per band; a band without data has `present` false.
    std::vector<bool> present;
    std::vector<BandData> bands;
};

struct SubbandData {
    uint8_t d0 = 0, d1 = 0;
    std::vector<BlockData> blocks;
    int64_t offset = 0;  // filled by build()
};

class WavraFileBuilder {
public:
    uint8_t version[3] = {1, 0, 1};
    int32_t bands = 1, levels = 0, width = 8, height = 8;
    bool withD0 = true;
    bool withMetadata = true;
    Lumetra::TagStore tags;  // written with IMAGE::EOM appended
    Bytes rawMetadata;       // when not empty, written instead of `tags`
    std::vector<SubbandData> subbands;
    int64_t metadataOffset = 0;  // filled by build()

    // A file with 3L + 1 subbands, each one block covering the whole subband with one
    // code-block per band.
    static WavraFileBuilder simple(int32_t bands, int32_t levels, int32_t width, int32_t height);

    // Adds a block to subband s with data in every band.
    BlockData& addBlock(int s, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    // Adds a block to subband s with no data in any band (bounds as given).
    BlockData& addEmptyBlock(int s, int32_t x0 = 0, int32_t y0 = 0, int32_t x1 = 0, int32_t y1 = 0);

    Bytes build();
};

// Big-endian helpers for patching built files.
void putU32(Bytes& b, size_t at, uint32_t v);
uint32_t getU32(const Bytes& b, size_t at);

// A reserved temporary base name; files derived from it are removed at the end.
class ScratchFiles {
public:
    ScratchFiles();
    ~ScratchFiles();
    // base + "." + extension, written with `bytes` (text when given as string).
    std::string write(const std::string& extension, const Bytes& bytes);
    std::string writeText(const std::string& extension, const std::string& text);
    std::string path(const std::string& extension) const;

private:
    Lumetra::TemporaryReservation reservation_;
    std::vector<std::string> written_;
};

// A byte source serving its own copy of `bytes`.
std::shared_ptr<wavra::ByteSource> bytesSource(Bytes bytes);

using testsupport::conformanceDir;
Bytes readFileBytes(const std::string& path);

}  // namespace wavra_test
