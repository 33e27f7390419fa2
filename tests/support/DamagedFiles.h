#pragma once
// Damaged versions of a well-formed Wavra file: truncated, with flipped bytes
// in the header, the tables, the Huffman descriptions and the payloads, with
// offsets past the end and absurd sizes. Readers of every kind run them.

#include <string>
#include <vector>

namespace testsupport {

struct DamagedFile {
    std::string what;   // which damage, for the failure message
    std::string bytes;  // the damaged file
};

// About two hundred damaged versions of `good`, a file of at least one
// subband block whose parts its own offsets locate.
std::vector<DamagedFile> damagedVersions(const std::string& good);

}  // namespace testsupport
