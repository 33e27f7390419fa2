// Files written by an independent implementation: each must open, list as
// its NAME.misinfo.txt, and show the structure its NAME.structure.txt dumps.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "WavraFileBuilder.h"
#include "core/ByteSources.h"
#include "core/Exception.h"
#include "format/InformationListing.h"
#include "format/WavraFile.h"

using namespace Lumetra;
using namespace wavra_test;

namespace {

// Every file of the manifest, checked to be all of them.
std::vector<std::string> conformanceNames() {
    std::vector<std::string> names = testsupport::conformanceNames();
    EXPECT_EQ(names.size(), testsupport::kConformanceFileCount);
    return names;
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct CodeBlockDump {
    int64_t offset = 0, length = 0;
};
struct BandDump {
    int64_t headerOffset = 0;
    double step = 0;
    int cw = 0, ch = 0, k = 0, symbols = 0;
    std::vector<CodeBlockDump> codeBlocks;
};
struct BlockDump {
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    std::vector<int64_t> headerOffsets;
    std::map<int, BandDump> bands;
    int lastBand = 0;  // the band the following code-block lines belong to
};
struct SubbandDump {
    int64_t offset = 0;
    int d0 = 0, d1 = 0;
    int blockCount = 0;
    std::vector<BlockDump> blocks;
};
struct StructureDump {
    std::vector<SubbandDump> subbands;
    std::vector<std::string> tagNames;
};

std::vector<int64_t> parseList(const std::string& s) {
    std::vector<int64_t> out;
    std::string inner = s.substr(s.find('[') + 1);
    inner = inner.substr(0, inner.find(']'));
    std::stringstream ss(inner);
    std::string item;
    while (std::getline(ss, item, ',')) out.push_back(std::stoll(item));
    return out;
}

StructureDump parseStructure(const std::string& path) {
    StructureDump d;
    std::ifstream in(path);
    std::string line;
    bool inMetadata = false;
    while (std::getline(in, line)) {
        const size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos) continue;
        const std::string t = line.substr(first);
        int a, b, c, e, f;
        long long o, l;
        double step;
        if (t.rfind("metadata:", 0) == 0) {
            inMetadata = true;
        } else if (inMetadata) {
            d.tagNames.push_back(t.substr(0, t.find(' ')));
        } else if (t.rfind("subband ", 0) == 0 && t.find("dither offsets") != std::string::npos) {
            SubbandDump s;
            const size_t at = t.find(" at ");
            std::sscanf(t.c_str() + at, " at %lld: dither offsets d0=%d d1=%d, %d blocks", &o, &s.d0, &s.d1,
                        &s.blockCount);
            s.offset = o;
            d.subbands.push_back(s);
        } else if (std::sscanf(t.c_str(), "block %d: x %d..%d y %d..%d", &a, &b, &c, &e, &f) == 5) {
            BlockDump blk;
            blk.x0 = b, blk.x1 = c, blk.y0 = e, blk.y1 = f;
            blk.headerOffsets = parseList(t.substr(t.find("header offsets")));
            d.subbands.back().blocks.push_back(blk);
        } else if (std::sscanf(t.c_str(), "band %d @%lld: step %lf", &a, &o, &step) == 3) {
            BandDump band;
            band.headerOffset = o;
            band.step = step;
            std::sscanf(t.c_str() + t.find(" CW "), " CW %d CH %d K %d symbols %d", &band.cw, &band.ch,
                        &band.k, &band.symbols);
            d.subbands.back().blocks.back().bands[a] = band;
            d.subbands.back().blocks.back().lastBand = a;
        } else if (std::sscanf(t.c_str(), "code-block %d: offset %lld length %lld", &a, &o, &l) == 3) {
            BlockDump& blk = d.subbands.back().blocks.back();
            blk.bands[blk.lastBand].codeBlocks.push_back({o, l});
        }
    }
    return d;
}

}  // namespace

TEST(ConformanceFilesTest, everyFileOpensAndListsAsItsMisinfoText) {
    const std::vector<std::string> names = conformanceNames();
    ASSERT_GE(names.size(), 10u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        try {
            printInformationListing(FileSpecification(conformanceDir() + name + ".wvr"), out);
        } catch (const Exception& e) {
            ADD_FAILURE() << e.what();
        }
        std::string listed(size_t(std::ftell(out)), '\0');
        std::rewind(out);
        ASSERT_EQ(std::fread(&listed[0], 1, listed.size(), out), listed.size());
        std::fclose(out);
        EXPECT_EQ(listed, readText(conformanceDir() + name + ".misinfo.txt"));
    }
}

TEST(ConformanceFilesTest, blockDatabaseReportsTheDumpedBlocksOffsetsAndLengths) {
    for (const std::string& name : conformanceNames()) {
        SCOPED_TRACE(name);
        const std::string structure = conformanceDir() + name + ".structure.txt";
        const StructureDump dump = parseStructure(structure);
        // The parser must have seen every code-block line of the dump.
        size_t dumpedCodeBlocks = 0, parsedCodeBlocks = 0;
        const std::string structureText = readText(structure);
        for (size_t at = 0; (at = structureText.find("code-block ", at)) != std::string::npos; ++at)
            ++dumpedCodeBlocks;
        for (const SubbandDump& sd : dump.subbands)
            for (const BlockDump& bd : sd.blocks)
                for (const auto& band : bd.bands) parsedCodeBlocks += band.second.codeBlocks.size();
        ASSERT_GT(parsedCodeBlocks, 0u);
        ASSERT_EQ(parsedCodeBlocks, dumpedCodeBlocks);
        const WavraFile file(FileSpecification(conformanceDir() + name + ".wvr"));
        DBInfo& db = file.blockDatabase();
        ASSERT_EQ(size_t(db.subbandCount()), dump.subbands.size());
        for (int s = 0; s < db.subbandCount(); ++s) {
            SCOPED_TRACE("subband " + std::to_string(s));
            const SubbandDump& sd = dump.subbands[size_t(s)];
            EXPECT_EQ(db.subband(s).offset, sd.offset);
            EXPECT_EQ(db.subband(s).dither[0], sd.d0);
            EXPECT_EQ(db.subband(s).dither[1], sd.d1);
            ASSERT_EQ(db.subband(s).blockCount, sd.blockCount);
            std::set<int32_t> withData;
            for (int j = 0; j < sd.blockCount; ++j) {
                SCOPED_TRACE("block " + std::to_string(j));
                const BlockDump& bd = sd.blocks[size_t(j)];
                const std::unique_ptr<DBInfo::BlockHeader> h = db.readBlockHeader(s, j);
                EXPECT_EQ(h->x0(), bd.x0);
                EXPECT_EQ(h->x1(), bd.x1);
                EXPECT_EQ(h->y0(), bd.y0);
                EXPECT_EQ(h->y1(), bd.y1);
                for (int b = 0; b < db.bands(); ++b) {
                    EXPECT_EQ(h->band(b).headerOffset, bd.headerOffsets.at(size_t(b)));
                    const auto it = bd.bands.find(b);
                    if (it == bd.bands.end()) {
                        EXPECT_FALSE(h->hasData(b));
                        continue;
                    }
                    withData.insert(j);
                    const BandDump& band = it->second;
                    EXPECT_NEAR(h->step(b), band.step, 1e-5 * (1 + band.step));
                    EXPECT_EQ(h->codeBlockWidth(b), band.cw);
                    EXPECT_EQ(h->codeBlockHeight(b), band.ch);
                    EXPECT_EQ(int(h->table(b).symbols.size()), band.symbols);
                    ASSERT_EQ(h->codeBlockCount(b), band.k);
                    ASSERT_EQ(band.codeBlocks.size(), size_t(band.k));
                    for (int k = 0; k < band.k; ++k) {
                        EXPECT_EQ(h->codeBlockOffset(b, k), band.codeBlocks[size_t(k)].offset)
                            << "code-block " << k;
                        EXPECT_EQ(h->codeBlockLength(b, k), band.codeBlocks[size_t(k)].length)
                            << "code-block " << k;
                    }
                }
            }
            // A query over the whole subband visits every block with data once.
            std::set<int32_t> visited;
            for (auto it = db.iterator(s, 0, db.width() - 1, 0, db.height() - 1); !it->done(); it->next()) {
                EXPECT_TRUE(visited.insert(it->blockNumber()).second);
                const DBInfo::BlockHeader* h = it->current();
                for (int b = 0; b < db.bands(); ++b)
                    for (int k = 0; k < h->codeBlockCount(b); ++k) {
                        size_t n = 0;
                        const uint8_t* p = it->readPayload(b, k, &n);
                        EXPECT_EQ(int64_t(n), h->codeBlockLength(b, k) + 2);
                        EXPECT_EQ(p[0], 0xFF);
                        EXPECT_EQ(p[1], 0xA3);
                    }
            }
            EXPECT_EQ(visited, withData);
        }
        std::vector<std::string> tags;
        for (const MetadataElement& e : file.metadata().elements()) tags.push_back(e.name());
        std::vector<std::string> dumped = dump.tagNames;
        if (!dumped.empty()) {
            EXPECT_EQ(dumped.front(), "IMAGE::SOM");
            EXPECT_EQ(dumped.back(), "IMAGE::EOM");
            dumped = std::vector<std::string>(dumped.begin() + 1, dumped.end() - 1);
        }
        EXPECT_EQ(tags, dumped);
    }
}

TEST(ConformanceFilesTest, everyKindOfDatabaseFindsTheSameBlocksAndLengths) {
    // Per subband, the code-block offsets and lengths of the blocks a full
    // query visits, keyed by the block's corner.
    using Blocks = std::map<std::pair<int32_t, int32_t>, std::vector<int64_t>>;
    auto collect = [](DBInfo& db, int s) {
        Blocks out;
        for (auto it = db.iterator(s, 0, db.width() - 1, 0, db.height() - 1); !it->done(); it->next()) {
            const DBInfo::BlockHeader* h = it->current();
            std::vector<int64_t> values;
            for (int b = 0; b < h->bandCount(); ++b)
                for (int k = 0; k < h->codeBlockCount(b); ++k) {
                    values.push_back(h->codeBlockOffset(b, k));
                    values.push_back(h->codeBlockLength(b, k));
                }
            if (!values.empty()) out[{h->x0(), h->y0()}] = values;
        }
        return out;
    };
    for (const std::string& name : conformanceNames()) {
        SCOPED_TRACE(name);
        const FileSpecification path(conformanceDir() + name + ".wvr");
        const auto source = std::make_shared<FileByteSource>(path);
        const std::unique_ptr<DBInfo> mm = DBInfo::create(source, path, 0);
        const std::unique_ptr<DBInfo> sm = DBInfo::create(source, path, 1);
        const std::unique_ptr<DBInfo> lm = DBInfo::create(source, path, 3);
        for (int s = 0; s < mm->subbandCount(); ++s) {
            const Blocks expected = collect(*mm, s);
            EXPECT_EQ(collect(*lm, s), expected);
            EXPECT_EQ(collect(*sm, s), expected);
        }
    }
}
