#pragma once
// The conformance files kept in the repository (tests/data/conformance).

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

// How many files MANIFEST.txt lists; a loop over them checks it found all.
constexpr std::size_t kConformanceFileCount = 10;

// The folder of the conformance files, ending in "/".
std::string conformanceDir();

// The names (without ".wvr") that MANIFEST.txt lists, in its order.
std::vector<std::string> conformanceNames();

}  // namespace testsupport
