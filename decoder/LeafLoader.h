#pragma once
// Fills the leaves of a subband tree with dequantised coefficients from the
// file's coded blocks, resuming each code-block where the previous strip
// stopped.

#include <cstdint>
#include <map>
#include <mutex>
#include <tuple>

#include "decoder/CodeBlockDecoder.h"
#include "decoder/Subband.h"

namespace Lumetra {

class DBInfo;

// The decoders' positions, keyed by (colour band, block number, leaf index,
// code-block index); lives for one decode. Loaders of different leaves or
// bands may use it at once.
class CodeBlockCursorCache {
public:
    using Key = std::tuple<int, int32_t, int, int>;
    // Copies the cursor stored for `key` into `cursor`; false when none is.
    bool find(const Key& key, CodeBlockCursor& cursor) const;
    // Stores `cursor`, or forgets the key when `cursor` is null.
    void update(const Key& key, const CodeBlockCursor* cursor);
    void clear();
    std::size_t size() const;

private:
    mutable std::mutex mutex_;
    std::map<Key, CodeBlockCursor> entries_;
};

// What the loader needs to know of the open file.
struct LeafSource {
    DBInfo* database = nullptr;
    int levels = 0;      // wavelet levels of the file
    bool dither = true;  // the file's dither flag (band 0 only)
};

// Allocates the leaf's planes for its support, zeroes them and loads every
// code-block of every block that meets the support. Leaves finer than full
// resolution stay zero. A leaf with planes already keeps them: they must be
// zero.
void loadLeaf(Subband& leaf, const LeafSource& source, int scale, CodeBlockCursorCache& cache,
              const InterruptHook& interrupt);

// True when the leaf takes coefficients from the file (its planes, once
// allocated, are to be loaded by loadLeafBand).
bool leafIsCoded(const Subband& leaf, const LeafSource& source);

// Loads colour band `band` of a coded leaf whose planes are allocated and
// whose plane `band` is zero. Loaders of different leaves, or of different
// bands of one leaf, may run at once.
void loadLeafBand(Subband& leaf, int band, const LeafSource& source, int scale, CodeBlockCursorCache& cache,
                  const InterruptHook& interrupt);

}  // namespace Lumetra
