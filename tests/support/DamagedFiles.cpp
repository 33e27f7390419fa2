#include "DamagedFiles.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace testsupport {

namespace {

uint32_t be32(const std::string& b, size_t at) {
    if (at + 4 > b.size()) return 0;
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
           uint32_t(uint8_t(b[at + 3]));
}

void put32(std::string& b, size_t at, uint32_t v) {
    if (at + 4 > b.size()) return;
    for (int k = 0; k < 4; ++k) b[at + size_t(k)] = char(uint8_t(v >> (24 - 8 * k)));
}

// Where the parts of a well-formed file lie, read along its own offsets.
struct Landmarks {
    size_t levels = 0, bands = 0, metadata = 0;
    std::vector<size_t> sections;  // of every subband
    size_t blockTable = 0;         // first entry of subband 0's table
    size_t blockHeader = 0;        // band 0 of that block
    size_t symbols = 0, step = 0;  // inside that header
    size_t codeBlock = 0;          // first payload of that header
};

Landmarks landmarksOf(const std::string& b) {
    Landmarks m;
    m.bands = be32(b, 7);
    m.levels = be32(b, 11);
    for (size_t i = 0; i < 3 * m.levels + 1; ++i) m.sections.push_back(be32(b, 23 + 4 * i));
    m.metadata = be32(b, 12 * m.levels + 29);
    m.blockTable = m.sections[0] + 8;
    m.blockHeader = be32(b, m.blockTable);
    m.symbols = m.blockHeader + 18;
    size_t count = 0;
    for (size_t n = 0; n < 16; ++n) count += uint8_t(b[m.blockHeader + 2 + n]);
    m.step = m.symbols + count;
    m.codeBlock = be32(b, m.step + 12);
    return m;
}

}  // namespace

std::vector<DamagedFile> damagedVersions(const std::string& good) {
    const Landmarks m = landmarksOf(good);
    std::vector<DamagedFile> out;
    auto with = [&](const std::string& what, size_t at, uint32_t value) {
        std::string b = good;
        put32(b, at, value);
        out.push_back({what + " @" + std::to_string(at) + " = " + std::to_string(value), b});
    };
    auto flipped = [&](const std::string& what, size_t at) {
        if (at >= good.size()) return;
        std::string b = good;
        b[at] = char(~uint8_t(b[at]));
        out.push_back({what + " flipped @" + std::to_string(at), b});
    };

    // Truncated: inside and at the edges of the header and tables, then
    // evenly through the coded data and the metadata.
    std::vector<size_t> cuts = {0,  2,  4,  6,  9,
                                13, 17, 21, 23, 12 * m.levels + 27,
                                12 * m.levels + 31, m.sections[0] + 1, m.sections[0] + 6, m.blockTable + 5,
                                m.blockHeader + 1, m.symbols + 3, m.step + 2, m.step + 9, m.codeBlock + 1,
                                m.metadata, m.metadata + 9, good.size() - 2};
    for (size_t k = 1; k < 16; ++k) cuts.push_back(good.size() * k / 16);
    for (size_t cut : cuts)
        if (cut < good.size()) out.push_back({"truncated to " + std::to_string(cut), good.substr(0, cut)});

    // Every byte of the fixed header and of the offset table, negated.
    for (size_t at = 0; at < 12 * m.levels + 33; ++at) flipped("header", at);

    const uint32_t past = uint32_t(good.size() + 1000);
    const uint32_t absurd[] = {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
    for (uint32_t v : absurd) {
        with("bands", 7, v);
        with("levels", 11, v);
        with("width", 15, v);
        with("height", 19, v);
        with("block count", m.sections[0] + 4, v);
        with("block count", m.sections.back() + 4, v);
        with("code-block width", m.step + 4, v);
        with("code-block height", m.step + 8, v);
        with("block x1", m.blockTable + 4 * m.bands + 8, v);
        with("block y0", m.blockTable + 4 * m.bands + 4, v);
    }
    with("levels", 11, 30);
    with("bands", 7, 200);
    with("width", 15, 1);
    with("code-block width", m.step + 4, 0);
    with("code-block height", m.step + 8, 1);
    with("step NaN", m.step, 0x7FC00000u);
    with("step inf", m.step, 0x7F800000u);
    with("block x0 negative", m.blockTable + 4 * m.bands, 0xFFFFFFF0u);
    for (size_t i = 0; i < m.sections.size(); ++i) with("section offset past the end", 23 + 4 * i, past);
    with("metadata offset past the end", 12 * m.levels + 29, past);
    with("metadata offset into the header", 12 * m.levels + 29, 3);
    with("block header past the end", m.blockTable, past);
    with("block header at the end", m.blockTable, uint32_t(good.size() - 3));
    with("code-block past the end", m.step + 12, past);
    with("code-block before its header", m.step + 12, 10);

    // Huffman descriptions: counts that overfill the code space or exceed
    // the symbols, a marker, and symbols.
    {
        std::string b = good;
        for (size_t n = 0; n < 16; ++n) b[m.blockHeader + 2 + n] = char(0xFF);
        out.push_back({"all code lengths 255", b});
        b = good;
        b[m.blockHeader + 2] = char(3);
        out.push_back({"three one-bit codes", b});
    }
    for (size_t at : {m.blockHeader, m.blockHeader + 1, m.blockHeader + 5, m.blockHeader + 17, m.symbols,
                      m.symbols + 1, m.sections[0], m.sections.back() + 1, m.sections[0] + 2})
        flipped("table", at);

    // Metadata records: types, counts, dimensions and values out of range.
    auto afterName = [&](const char* tag) {
        const size_t at = good.find(std::string(tag) + '\0', m.metadata);
        return at == std::string::npos ? good.size() : at + std::string(tag).size() + 1;
    };
    for (const char* tag : {"IMAGE::WIDTH", "IMAGE::XY_ORIGIN", "IMAGE::INPUT_NAME"}) {
        const size_t fields = afterName(tag);
        with(std::string(tag) + " type", fields, 99);
        with(std::string(tag) + " type none", fields, 11);
        with(std::string(tag) + " count", fields + 4, 0x7FFFFFFFu);
        with(std::string(tag) + " dimensions", fields + 8, 0xFFFFFFFFu);
        with(std::string(tag) + " extent", fields + 12, 0x40000000u);
    }
    with("colour scheme", afterName("IMAGE::COLOR_SCHEME") + 12, 99);
    with("bits per sample", afterName("IMAGE::BITS_PER_SAMPLE") + 12, 0x00400000u);
    with("bits per sample zero", afterName("IMAGE::BITS_PER_SAMPLE") + 12, 0);
    {
        std::string b = good;
        for (size_t at = afterName("IMAGE::INPUT_NAME"); at < b.size(); ++at)
            if (b[at] == '\0') b[at] = 'x';
        out.push_back({"no string terminators after the input name", b});
    }

    // Payloads and metadata: negated bytes spread through them.
    const size_t payloadEnd = std::min(m.metadata, good.size());
    for (size_t k = 0; k < 16; ++k) flipped("payload", m.codeBlock + (payloadEnd - m.codeBlock) * k / 16);
    for (size_t k = 0; k < 8; ++k) flipped("metadata", m.metadata + (good.size() - m.metadata) * k / 8);
    return out;
}

}  // namespace testsupport
