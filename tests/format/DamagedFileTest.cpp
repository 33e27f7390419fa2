// Damaged files: a valid file cut at every byte and with bytes of its header
// and tables altered must either open or throw a library exception, and
// everything reachable from an opened file must behave the same way. A byte
// source that fails its reads fails like a file that ends there.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "WavraFileBuilder.h"
#include "core/ByteSources.h"
#include "core/Exception.h"
#include "format/WavraFile.h"

using namespace Lumetra;
using namespace wavra_test;

namespace {

// Opens the file and walks every block and payload; the library exception's
// text, or "opened". Anything else escaping fails the test.
std::string openAndWalk(const std::function<WavraFile()>& open) {
    try {
        const WavraFile f = open();
        DBInfo& db = f.blockDatabase();
        for (int s = 0; s < db.subbandCount(); ++s)
            for (auto it = db.iterator(s, 0, db.width() - 1, 0, db.height() - 1); !it->done(); it->next()) {
                const DBInfo::BlockHeader* h = it->current();
                for (int b = 0; b < h->bandCount(); ++b)
                    for (int k = 0; k < h->codeBlockCount(b); ++k) it->readPayload(b, k);
            }
        for (const MetadataElement& e : f.metadata().elements()) (void)e.name();
        return "opened";
    } catch (const Exception& e) {
        return e.what();
    }
}

bool openAndWalk(const std::string& path, int mode) {
    return openAndWalk([&] { return WavraFile(path, mode); }) == "opened";
}

// Serves `bytes` as a file of `size` bytes that fails beyond `good` bytes:
// a read starting there throws (when `throws`) or delivers nothing, one
// reaching there delivers the bytes before it. A harsh source throws for
// any read reaching beyond `good`.
class FailingSource : public wavra::ByteSource {
public:
    FailingSource(const Bytes& bytes, uint64_t size, uint64_t good, bool throws, bool harsh = false)
        : bytes_(bytes), size_(size), good_(good), throws_(throws), harsh_(harsh) {}
    uint64_t size() override { return size_; }
    size_t readAt(uint64_t offset, void* buffer, size_t count) override {
        if (throws_ && (offset >= good_ || (harsh_ && offset + count > good_)))
            throw Exception("source failed");
        const uint64_t end = std::min<uint64_t>(offset + count, good_);
        if (offset >= end) return 0;
        std::copy(bytes_.begin() + long(offset), bytes_.begin() + long(end), static_cast<uint8_t*>(buffer));
        return size_t(end - offset);
    }

private:
    const Bytes& bytes_;
    uint64_t size_, good_;
    bool throws_, harsh_;
};

// Writes the bytes under a name not used before (rewriting one file in place
// makes some file systems flush on every close), opens and walks it, and
// removes it again.
bool openAndWalkFresh(ScratchFiles& scratch, const Bytes& bytes, int mode) {
    static int serial = 0;
    const std::string path = scratch.write(std::to_string(++serial) + ".wvr", bytes);
    const bool opened = openAndWalk(path, mode);
    std::remove(path.c_str());
    return opened;
}

// Positions of the header, the offset table and every section head with its
// block table: the bytes worth altering.
std::vector<size_t> tablePositions(const Bytes& file) {
    const uint32_t levels = getU32(file, 11);
    const uint32_t bands = getU32(file, 7);
    std::vector<size_t> at;
    for (size_t i = 0; i < 23 + 4 * (3 * levels + 1) + 6; ++i) at.push_back(i);
    for (uint32_t s = 0; s <= 3 * levels; ++s) {
        const uint32_t section = getU32(file, 23 + 4 * s);
        const size_t end = size_t(section) + 8 + size_t(getU32(file, section + 4)) * 4 * (bands + 4);
        for (size_t i = section; i < end && i < file.size(); ++i) at.push_back(i);
    }
    return at;
}

// A small file with metadata, several bands, a band without data, a block
// without data and a subband of several blocks.
Bytes smallFile() {
    WavraFileBuilder b = WavraFileBuilder::simple(3, 1, 8, 8);
    b.subbands[1].blocks.clear();
    b.addBlock(1, 0, 0, 1, 3).present[1] = false;
    b.addEmptyBlock(1);
    b.addBlock(1, 2, 0, 3, 3);
    b.tags.addXYOrigin(1, 2);
    b.tags.addXResolution(1);
    b.tags.addYResolution(1);
    const uint8_t noData[3] = {0, 0, 0};
    b.tags.addNoDataValue(noData, 3);
    return b.build();
}

}  // namespace

TEST(DamagedFileTest, aFileCutAtAnyByteOpensOrThrowsALibraryException) {
    const Bytes whole = smallFile();
    ScratchFiles scratch;
    ASSERT_TRUE(openAndWalk(scratch.write("wvr", whole), 0));
    int opened = 0;
    for (size_t n = 0; n < whole.size(); ++n) {
        opened += openAndWalkFresh(scratch, Bytes(whole.begin(), whole.begin() + long(n)), int(n % 4));
    }
    EXPECT_LT(opened, int(whole.size()));
}

TEST(DamagedFileTest, aSourceFailingItsReadsFailsLikeAFileEndingThere) {
    const Bytes whole = smallFile();
    ScratchFiles scratch;
    for (size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        const std::string path = scratch.write("wvr", Bytes(whole.begin(), whole.begin() + long(n)));
        const std::string cut = openAndWalk([&] { return WavraFile(path); });
        for (bool throws : {true, false}) {
            const auto source = std::make_shared<FailingSource>(whole, n, n, throws);
            EXPECT_EQ(openAndWalk([&] { return WavraFile(source, path); }), cut);
            // A source claiming the whole size but failing beyond n fails
            // through the library's exceptions too.
            const auto lying = std::make_shared<FailingSource>(whole, whole.size(), n, throws, true);
            openAndWalk([&] { return WavraFile(lying, path); });
        }
    }
}

TEST(DamagedFileTest, alteredHeaderAndTableBytesOpenOrThrow) {
    ScratchFiles scratch;
    const Bytes small = smallFile();
    // Every byte of the small file before its metadata, including the block headers.
    std::vector<size_t> smallPositions;
    for (size_t i = 0; i < size_t(small.size()) - 80; ++i) smallPositions.push_back(i);
    const Bytes conformance = readFileBytes(conformanceDir() + "c07_empty_blocks.wvr");
    ASSERT_FALSE(conformance.empty());
    for (const auto& file : {std::make_pair(&small, smallPositions),
                             std::make_pair(&conformance, tablePositions(conformance))}) {
        const Bytes& whole = *file.first;
        for (size_t at : file.second)
            for (uint8_t value : {uint8_t(whole[at] ^ 0xFF), uint8_t(whole[at] ^ 0x01), uint8_t(0x80)}) {
                Bytes altered = whole;
                altered[at] = value;
                openAndWalkFresh(scratch, altered, int(at % 4));
            }
    }
}
